#pragma once

#include "intake/LogLines.h"
#include "intake/uTXML.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <memory>

class TClientDataSet;

// The collector: on every tick of its one-second timer it runs a pass of the
// reader and applies each command record to the release cache, saving
// data.cds after every record, then appends the reader's log text to the log.
class ProcessoXML : public QObject {
    Q_OBJECT
public:
    ProcessoXML();
    ~ProcessoXML() override;

    void Execute();
    void IniciarColeta();
    QTimer *get_Timmer() const { return FoTimer.get(); }
    void ThisOnTimer(QObject *Sender);

    TClientDataSet *Fonte_Dados() const { return FFonte_Dados; }
    void SetFonte_Dados(TClientDataSet *value) { FFonte_Dados = value; }
    QString PathXML() const { return FPathXML; }
    void SetPathXML(const QString &value) { FPathXML = value; }
    LogLines *MemoLog() const { return FMemoLog; }
    void SetMemoLog(LogLines *value) { FMemoLog = value; }

    TXML *Reader() const { return FoXML.get(); }
    int PendingCount() const { return static_cast<int>(pending_.size()); }

private:
    std::unique_ptr<QTimer> FoTimer;
    std::unique_ptr<TXML> FoXML;
    TClientDataSet *FFonte_Dados = nullptr;
    QString FPathXML;
    LogLines *FMemoLog = nullptr;
    std::deque<TGrava_XML> pending_;  // read but not yet applied and saved
};
