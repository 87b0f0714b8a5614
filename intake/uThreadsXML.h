#pragma once

#include "intake/CommandBatch.h"
#include "intake/CommandJournal.h"
#include "intake/LogLines.h"
#include "intake/TurnBudget.h"
#include "intake/uTXML.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace Catraca {

class TClientDataSet;
struct WorkFileRun;

// The collector: on every tick of its one-second timer it runs a pass of the
// reader and applies each command record to the release cache, then appends
// the reader's log text to the log. The commands of a work file reach
// data.cds in slices, one durable save each. A tick the timer started keeps
// the event loop for about kDefaultTurnBudgetMs: what is left of a large work file
// or of a backlog of command files goes on in later turns, queued at once,
// so that the gate answers in between.
// It runs on the thread that creates it and starts no thread of its own.
class ProcessoXML : public QObject {
    Q_OBJECT
public:
    static constexpr int kTimerIntervalMs = 1000;
    static constexpr int kDefaultTurnBudgetMs = 20;

    ProcessoXML();
    ~ProcessoXML() override;

    // Makes the timer (disabled) and the reader when they do not exist yet.
    void Execute();
    // Gives the reader its fixed names.
    void IniciarColeta();
    QTimer *get_Timmer() const { return FoTimer.get(); }
    // One tick. Exceptions leave it; the timer's own call runs it guarded.
    // Called directly it finishes every command file it finds.
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

    // At most this many commands reach data.cds in one save; 0, the default,
    // leaves a slice to the turn's time alone.
    void SetSliceRowLimit(int rows) { sliceRowLimit_ = rows; }
    // How long a turn of the event loop may apply commands; a turn always
    // makes some progress, at least one slice or one command file.
    void SetTurnBudgetMs(int milliseconds) { turnBudgetMs_ = milliseconds; }

    TXML *Reader() const { return FoXML.get(); }
    // Commands read but not yet in data.cds: those of the work file not yet
    // applied and saved, and those of a batch whose save failed.
    int PendingCount() const { return pendingCount_ + (batch_ ? int(batch_->commands.size()) : 0); }

    // Told the failure's message when the timer's ticks start failing, and
    // an empty text when they work again.
    using IntakeStateHandler = std::function<void(const QString &failure)>;
    void SetIntakeStateHandler(IntakeStateHandler handler) { FOnIntakeState = std::move(handler); }

private:
    // Commands [first, end) of a work file, posted into the cache, whose
    // save failed.
    struct UnsavedSlice {
        QByteArray workFile;
        int first = 0;
        int end = 0;
    };

    static QString CacheFile();
    // The claim handler: records the claim, and drops the work file of the
    // batch's last file, whose commands the record now carries.
    bool StartClaim(const QString &workFile, const QByteArray &content, qint64 modifiedMs, int count);
    bool RecordClaimInBatch(const QString &workFile, const QByteArray &identity, qsizetype size);
    void TakeIntoBatch(const QByteArray &identity, int first, int count);
    // Brings the batch to data.cds and removes its last work file.
    void SaveBatch();
    // Applies the commands of a batch a stopped run recorded but may not
    // have saved.
    void ReplayRecordedBatch();
    // Tells the journal of a batch's commands once they are in data.cds.
    void JournalBatch(const std::vector<IntakeProgress::BatchedCommand> &commands, bool releasesWithheld);
    void ApplyWorkFile(const QString &workFile, const QByteArray &identity, int first, int count);
    void StartWorkFile(const QString &workFile, const QByteArray &identity, int first, int count);
    void SaveUnsavedSlice();
    // Applies slices until the work file is done or the turn is spent, then
    // deletes a finished work file. Drops the run when a slice fails.
    void ContinueWorkFile();
    void ApplySlice();
    bool ApplyRecord(const TGrava_XML &record, bool uncertain);
    void SaveSlice(int first, int end);
    void FinishWorkFile();
    // Tells the operator which commands were applied or withheld without
    // knowing whether an earlier run had applied them.
    void LogUncertainCommands(int from, int to);
    void LogUncertainCommands(const QStringList &blocked, const QStringList &released);
    // The reader's lines about files left in the folder or set aside.
    void AddNotices();
    void QueueTick();
    void RunQueuedTick();
    void QueueContinuation();
    void RunContinuation();
    void ContinueIntake();
    void ReportedTick(bool continuation);
    bool IntakeUnfinished() const;
    void SetIntakeFailure(const QString &failure);

    std::unique_ptr<QTimer> FoTimer;
    std::unique_ptr<TXML> FoXML;
    TClientDataSet *FFonte_Dados = nullptr;
    QString FPathXML;
    LogLines *FMemoLog = nullptr;
    CommandJournal *FJournal = nullptr;
    std::optional<UnsavedSlice> unsaved_;
    std::unique_ptr<WorkFileRun> work_;
    std::optional<CommandBatch> batch_;
    TurnBudget turn_;
    int pendingCount_ = 0;
    int sliceRowLimit_ = 0;
    int turnBudgetMs_ = kDefaultTurnBudgetMs;
    int filesThisPass_ = 0;
    bool passStarted_ = false;
    QElapsedTimer passClock_;
    bool tickQueued_ = false;
    bool continuationQueued_ = false;
    bool passStopped_ = false;  // the last pass left names for the next one
    QString lastTickFailure_;
    IntakeStateHandler FOnIntakeState;
};

}  // namespace Catraca
