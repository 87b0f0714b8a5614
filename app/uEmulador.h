#pragma once

#include "app/MemoLines.h"
#include "app/journal/GateJournal.h"
#include "cache/table/DataSource.h"
#include "cache/ReleaseCache.h"

#include <QLabel>
#include <QString>
#include <QWidget>
#include <memory>

namespace Ui {
class T_FrmEmulador;
}

namespace Catraca {

class ProcessoXML;
class TSobre;


// The operator's console of the gate: barcode check, lamp, output memo, the
// log of command files and the release cache. Building it opens the cache on
// its empty content and runs FormCreate, which loads data.cds and starts the
// collector; showing it runs FormShow.
class T_FrmEmulador : public QWidget {
    Q_OBJECT
public:
    explicit T_FrmEmulador(QWidget *parent = nullptr);
    ~T_FrmEmulador() override;

private:
    // Declared first: the members below refer into it.
    ReleaseCache FoReleaseCache;

public:
    TClientDataSet &cdsEmulador;
    TAutoIncField *const cdsEmuladorID;
    TStringField *const cdsEmuladorCOD_BARRA;
    TStringField *const cdsEmuladorEVENTO;
    TDataSource dsEmulador;
    TSobre *SobreAutor;

    void FormCreate(QObject *Sender);
    void FormShow(QObject *Sender);
    void _editCodigoBarraKeyDown(QObject *Sender, int &Key, Qt::KeyboardModifiers Shift);
    void _btnSobreClick(QObject *Sender);
    void Button1Click(QObject *Sender);
    void Button2Click(QObject *Sender);

    // Read-only views for the tests: the cache file's full name and the
    // collector (null when start-up could not load the cache).
    const QString &Path() const { return path; }
    ProcessoXML *Collector() const { return EmuladorFoXML.get(); }
    GateJournal &Journal() { return FoJournal; }
    // Shown only while the journal cannot be written.
    QLabel *JournalStatus() const { return journalStatus_; }
    QLabel *IntakeStatus() const { return intakeStatus_; }

private:
    void ConfigureAuthor();
    void ConfigureCachePage();
    void WireHandlers();
    void PlaceAtDesktopCentre();
    void AddCheckLines(const QString &messageLine);
    QLabel *AddStatusLabel(const QString &name);
    static void ShowStatus(QLabel *label, const QString &text);
    void ShowJournalState(const QString &error);
    void ShowIntakeState(const QString &failure);

    // The components the layout file builds; only this window's source sees
    // their types, so including this header does not need the generated code.
    std::unique_ptr<Ui::T_FrmEmulador> ui;
    MemoLogLines FoMemoLog;
    GateJournal FoJournal;
    QLabel *journalStatus_ = nullptr;
    QLabel *intakeStatus_ = nullptr;
    QString path;
    // Declared last so that it goes first: no tick may reach the cache or the
    // log memo once they are gone.
    std::unique_ptr<ProcessoXML> EmuladorFoXML;
};

}  // namespace Catraca
