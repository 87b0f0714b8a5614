#pragma once

#include "intake/CommandJournal.h"
#include "intake/LogLines.h"
#include "intake/uTXML.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

namespace Catraca {

class IntakeProgress;
class TClientDataSet;

// The collector: on every tick of its one-second timer it runs a pass of the
// reader and applies each command record to the release cache, saving
// data.cds after every record, then appends the reader's log text to the log.
// It runs on the thread that creates it and starts no thread of its own.
class ProcessoXML : public QObject {
    Q_OBJECT
public:
    static constexpr int kTimerIntervalMs = 1000;

    ProcessoXML();
    ~ProcessoXML() override;

    // Makes the timer (disabled) and the reader when they do not exist yet.
    void Execute();
    // Gives the reader its fixed names.
    void IniciarColeta();
    QTimer *get_Timmer() const { return FoTimer.get(); }
    // One tick. Exceptions leave it; the timer's own call runs it guarded.
    void ThisOnTimer(QObject *Sender);
    // Applies the work file a stopped run left, if any, without claiming new
    // command files; start-up calls it before the window takes any input.
    void RetomaTrabalho();

    TClientDataSet *Fonte_Dados() const { return FFonte_Dados; }
    void SetFonte_Dados(TClientDataSet *value) { FFonte_Dados = value; }
    QString PathXML() const { return FPathXML; }
    void SetPathXML(const QString &value) { FPathXML = value; }
    LogLines *MemoLog() const { return FMemoLog; }
    void SetMemoLog(LogLines *value) { FMemoLog = value; }
    CommandJournal *Journal() const { return FJournal; }
    void SetJournal(CommandJournal *value);

    TXML *Reader() const { return FoXML.get(); }
    // Commands of the work file read but not yet applied and saved.
    int PendingCount() const { return pendingCount_; }

    // Told the failure's message when the timer's ticks start failing, and
    // an empty text when they work again.
    using IntakeStateHandler = std::function<void(const QString &failure)>;
    void SetIntakeStateHandler(IntakeStateHandler handler) { FOnIntakeState = std::move(handler); }

private:
    // A command posted into the cache whose save failed.
    struct UnsavedCommand {
        QByteArray workFile;
        int index = 0;
    };

    static QString CacheFile();
    void ApplyWorkFile(const QString &workFile, int first, int count);
    void ApplyRecord(const TGrava_XML &record, IntakeProgress &progress, const QString &cacheFile,
                     const UnsavedCommand &command);
    void SaveCommand(IntakeProgress &progress, const UnsavedCommand &command, const QString &cacheFile);
    // Tells the operator which commands were applied or withheld without
    // knowing whether an earlier run had applied them.
    void LogUncertainCommands(int first, int from, int to);
    // The reader's lines about files left in the folder or set aside.
    void AddNotices();
    void QueueTick();
    void RunQueuedTick();
    void ReportedTick();
    void SetIntakeFailure(const QString &failure);

    std::unique_ptr<QTimer> FoTimer;
    std::unique_ptr<TXML> FoXML;
    TClientDataSet *FFonte_Dados = nullptr;
    QString FPathXML;
    LogLines *FMemoLog = nullptr;
    CommandJournal *FJournal = nullptr;
    std::optional<UnsavedCommand> unsaved_;
    int pendingCount_ = 0;
    bool tickQueued_ = false;
    QString lastTickFailure_;
    IntakeStateHandler FOnIntakeState;
};

}  // namespace Catraca
