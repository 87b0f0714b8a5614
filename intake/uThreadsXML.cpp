#include "intake/uThreadsXML.h"

#include "cache/table/ClientDataSet.h"
#include "cache/base/AnsiText.h"
#include "cache/base/Exceptions.h"
#include "cache/table/Field.h"
#include "cache/base/HandlerGuard.h"
#include "cache/base/Platform.h"
#include "cache/ReleaseCache.h"
#include "intake/IntakeProgress.h"
#include "intake/WorkFileRun.h"

#include <QStringList>
#include <algorithm>

namespace Catraca {

namespace {

// A batch's claim records are written before its save: no data.cds has this
// digest.
const QByteArray kUnsaved = QByteArrayLiteral("unsaved");

// A record that names no range of a work file: a batch's, or a settled one.
IntakeProgress::Entry BatchEntry(const QByteArray &workFile, const QByteArray &before, const QByteArray &after,
                                 const QByteArray &batchWorkFile,
                                 const std::vector<IntakeProgress::BatchedCommand> &commands = {})
{
    IntakeProgress::Entry entry;
    entry.workFile = workFile;
    entry.first = entry.end = 0;
    entry.before = before;
    entry.after = after;
    entry.batchWorkFile = batchWorkFile;
    entry.batch = commands;
    return entry;
}

// Adds a command's barcode to the list of its kind: blocks or releases.
void ListByEvent(const QString &barcode, const QString &event, QStringList &blocked, QStringList &released)
{
    if (event == QLatin1String("L"))
        released.append(barcode);
    else if (event == QLatin1String("C"))
        blocked.append(barcode);
}

// The grid and the edits catch up once for many commands, not after each.
struct ControlsOff {
    TClientDataSet &table;
    explicit ControlsOff(TClientDataSet &table) : table(table) { table.DisableControls(); }
    ~ControlsOff() { table.EnableControls(); }
};

}  // namespace

ProcessoXML::ProcessoXML()
{
    Execute();
}

ProcessoXML::~ProcessoXML() = default;

void ProcessoXML::Execute()
{
    if (!FoTimer) {
        FoTimer = std::make_unique<QTimer>();
        // Qt's default period is 0, which would tick on every pass of the
        // event loop.
        FoTimer->setInterval(kTimerIntervalMs);
        connect(FoTimer.get(), &QTimer::timeout, this, &ProcessoXML::QueueTick);
        FoTimer->stop();
    }
    if (!FoXML) {
        FoXML = std::make_unique<TXML>();
        FoXML->SetRecordsReadHandler([this](const QString &workFile, const QByteArray &content, qint64 modifiedMs,
                                            int first, int count) {
            ApplyWorkFile(workFile, IntakeProgress::IdentityOf(content, modifiedMs), first, count);
        });
        FoXML->SetClaimHandler([this](const QString &workFile, const QByteArray &content, qint64 modifiedMs, int count) {
            return StartClaim(workFile, content, modifiedMs, count);
        });
        // A work file still being applied holds the work file's name, so no
        // claim could succeed; a spent turn leaves the rest of the folder for
        // the continuation.
        // The pass's time counts from its first name and is at least what
        // the listing took, so that listing a large backlog costs at most as
        // much as the command files taken after it.
        FoXML->SetPassStopCheck([this] {
            if (!passStarted_) {
                passStarted_ = true;
                if (!turn_.Unlimited())
                    turn_.Start(std::max(turnBudgetMs_, int(passClock_.elapsed())));
            }
            passStopped_ = work_ || (turn_.Spent() && filesThisPass_ > 0);
            return passStopped_;
        });
    }
}

// The timer's own call only queues the tick and returns: a timer does not
// fire again while its call runs, and the error box of a failing tick runs a
// loop of its own inside the call that raised it. So ticks go on under every
// box, the tick's own included.
void ProcessoXML::QueueTick()
{
    if (tickQueued_)
        return;
    tickQueued_ = true;
    QMetaObject::invokeMethod(this, &ProcessoXML::RunQueuedTick, Qt::QueuedConnection);
}

void ProcessoXML::RunQueuedTick()
{
    tickQueued_ = false;
    // A timer stopped since the tick was queued is held on purpose (the
    // grid's question about a row): the tick waits for it to run again.
    if (!FoTimer->isActive())
        return;
    HandlerGuard::Run([this] { ReportedTick(false); }, HandlerGuard::Source::Tick);
}

// Work a tick left goes on as soon as the event loop has handled what came
// in meanwhile, a key at the gate or a click, rather than a second later.
void ProcessoXML::QueueContinuation()
{
    if (continuationQueued_)
        return;
    continuationQueued_ = true;
    QMetaObject::invokeMethod(this, &ProcessoXML::RunContinuation, Qt::QueuedConnection);
}

void ProcessoXML::RunContinuation()
{
    continuationQueued_ = false;
    // A held timer holds the continuation too; its next tick takes it up.
    if (!FoTimer->isActive())
        return;
    HandlerGuard::Run([this] { ReportedTick(true); }, HandlerGuard::Source::Tick);
}

// A failure that comes back tick after tick opens one box; while it lasts,
// the intake state says so instead, and says when the intake works again.
// A failed turn queues no continuation: the next tick tries again.
void ProcessoXML::ReportedTick(bool continuation)
{
    turn_.Start(turnBudgetMs_);
    try {
        if (continuation)
            ContinueIntake();
        else
            ThisOnTimer(FoTimer.get());
    } catch (...) {
        turn_.SetUnlimited();
        const QString failure = HandlerGuard::MessageOf(std::current_exception());
        const bool repeated = failure == lastTickFailure_;
        SetIntakeFailure(failure);
        if (!repeated)
            throw;
        return;
    }
    turn_.SetUnlimited();
    SetIntakeFailure(QString());
    if (IntakeUnfinished())
        QueueContinuation();
}

bool ProcessoXML::IntakeUnfinished() const
{
    return work_ || passStopped_;
}

void ProcessoXML::SetIntakeFailure(const QString &failure)
{
    if (failure == lastTickFailure_)
        return;
    lastTickFailure_ = failure;
    if (FOnIntakeState)
        FOnIntakeState(failure);
}

void ProcessoXML::IniciarColeta()
{
    FoXML->SetNome_XML(QStringLiteral("QuiboIntegração"));
    FoXML->SetTipoArquivo(QString(Platform::PathSeparator()) + QStringLiteral("*.xml"));
    FoXML->SetrFieldName01(QStringLiteral("ID_COMANDA"));
    FoXML->SetrFieldName02(QStringLiteral("EVENTO"));
}

// The records of each command file are applied as soon as it is read, while
// its work file still exists: the work file goes only after every one of its
// commands is in data.cds. A tick that fails half-way leaves the work file,
// and the next pass (or the next start) resumes it at its first command that
// data.cds lacks.
void ProcessoXML::ThisOnTimer(QObject * /*Sender*/)
{
    ContinueIntake();
    if (FMemoLog)
        FMemoLog->Add(FoXML->GetLog());
}

// A work file left by the last turn comes first; a pass claims new command
// files only once it is done and while the turn lasts.
void ProcessoXML::ContinueIntake()
{
    // Whatever the pass reported reaches the journal and the log, even when
    // it failed.
    struct ReportAtEnd {
        ProcessoXML &collector;
        ~ReportAtEnd()
        {
            collector.AddNotices();
            if (collector.FJournal)
                collector.FJournal->Flush();
        }
    } reportAtEnd{*this};
    // A batch whose save failed is saved before anything else changes data.cds.
    SaveBatch();
    if (work_) {
        ContinueWorkFile();
        if (work_ || turn_.Spent())
            return;
    }
    passStopped_ = false;
    passStarted_ = false;
    passClock_.start();
    filesThisPass_ = 0;
    FoXML->Executa_Carga();
    SaveBatch();
}

void ProcessoXML::AddNotices()
{
    for (const QString &notice : FoXML->TakeNotices()) {
        if (FMemoLog)
            FMemoLog->Add(notice);
        else
            qWarning("%s", qPrintable(notice));
    }
}

void ProcessoXML::SetJournal(CommandJournal *value)
{
    FJournal = value;
    FoXML->SetJournal(value);
}

QString ProcessoXML::CacheFile()
{
    return ReleaseCache::FilePath();
}

// A leftover work file is applied before the window takes a key or a click,
// so nothing but the collector writes data.cds between a crash and the
// resume, and the progress record can tell where the work file stopped.
// A progress record without its work file was left by a stop between the
// work file's deletion and the record's: it describes nothing any more, and
// a later command file of the same content and time must not resume by it.
void ProcessoXML::RetomaTrabalho()
{
    ReplayRecordedBatch();
    const bool resumed = FoXML->Retoma_Trabalho();
    AddNotices();
    if (resumed) {
        if (FMemoLog)
            FMemoLog->Add(FoXML->GetLog());
        return;
    }
    const QString workFile = FoXML->WorkFilePath();
    if (!Platform::FileExists(workFile))
        IntakeProgress(workFile + QStringLiteral(".progress")).Clear();
}

void ProcessoXML::ApplyWorkFile(const QString &workFile, const QByteArray &identity, int first, int count)
{
    pendingCount_ = count;
    ++filesThisPass_;
    if (count > 0 && !FFonte_Dados)
        throw Exception(QStringLiteral("No release cache to apply the commands to"));
    if (batch_ && batch_->claimed == identity) {
        TakeIntoBatch(identity, first, count);
        return;
    }
    // A run that fails to start is read again by the next pass: its commands
    // must not be applied from a state the failure left half made.
    try {
        StartWorkFile(workFile, identity, first, count);
    } catch (...) {
        work_.reset();
        throw;
    }
    ContinueWorkFile();
}

void ProcessoXML::StartWorkFile(const QString &workFile, const QByteArray &identity, int first, int count)
{
    auto run = std::make_unique<WorkFileRun>(workFile, identity, FoXML->SourceFileName());
    run->records.reserve(std::size_t(count));
    for (int index = 0; index < count; ++index)
        run->records.push_back(*FoXML->GetItemLista(first + index));
    const IntakeProgress::Resume resume = run->progress.ResumeAt(run->identity, CacheFile());
    // A batch's last work file, left by a stop after the batch's record:
    // its commands are the record's, applied or replayed from there.
    run->next = resume.inBatch ? count : std::min(resume.next, count);
    run->uncertainEnd = resume.allUncertain ? count : resume.nextUncertain ? std::min(resume.uncertainEnd, count)
                                                                            : run->next;
    work_ = std::move(run);
    pendingCount_ = count - work_->next;
    // The slice whose save failed is in the table already: only its save is
    // still owed.
    if (unsaved_ && unsaved_->workFile == work_->identity && unsaved_->first == work_->next
        && !resume.nextUncertain && !resume.allUncertain)
        SaveUnsavedSlice();
    unsaved_.reset();
    LogUncertainCommands(work_->next, work_->uncertainEnd);
}

// The row of the slice's last command becomes current again, as applying it
// would have made it, since the cursor decides where the next new row goes.
void ProcessoXML::SaveUnsavedSlice()
{
    WorkFileRun &work = *work_;
    const int end = std::min(unsaved_->end, work.Count());
    FFonte_Dados->Locate(QStringLiteral("COD_BARRA"), work.records[std::size_t(end - 1)].Field01,
                         loCaseInsensitive | loPartialKey);
    SaveSlice(work.next, end);
    work.next = end;
    pendingCount_ = work.Count() - end;
}

void ProcessoXML::ContinueWorkFile()
{
    try {
        do {
            if (!work_->Done())
                ApplySlice();
        } while (!work_->Done() && !turn_.Spent());
        if (work_->Done()) {
            FinishWorkFile();
            return;
        }
        // The gate may rewrite data.cds before the next slice: the record
        // then says where the work file stands without asking data.cds.
        work_->progress.Record(work_->identity, work_->next, work_->next, "settled", "settled");
    } catch (...) {
        work_.reset();
        throw;
    }
}

// Commands from `next` on, until the turn is spent or the work file ends,
// reach data.cds in one save. A slice never mixes commands an earlier run may
// have applied with the others, so that its record can say which they were.
void ProcessoXML::ApplySlice()
{
    // Reading the clock after every row would cost more than a row.
    constexpr int kRowsBetweenClockReads = 64;
    WorkFileRun &work = *work_;
    const int first = work.next;
    const bool uncertain = work.Uncertain(first);
    int limit = uncertain ? work.uncertainEnd : work.Count();
    if (sliceRowLimit_ > 0)
        limit = std::min(limit, first + sliceRowLimit_);
    int end = first;
    bool changed = false;
    const ControlsOff controlsOff(*FFonte_Dados);
    do {
        changed = ApplyRecord(work.records[std::size_t(end)], uncertain) || changed;
        ++end;
    } while (end < limit && ((end - first) % kRowsBetweenClockReads != 0 || !turn_.Spent()));
    if (changed) {
        unsaved_ = UnsavedSlice{work.identity, first, end};
        SaveSlice(first, end);
        unsaved_.reset();
    }
    for (int index = first; index < end && FJournal; ++index) {
        const TGrava_XML &record = work.records[std::size_t(index)];
        if (!(uncertain && record.Field02 == QLatin1String("L")))
            FJournal->CommandApplied(work.sourceName, record.Field01, record.Field02);
    }
    work.next = end;
    pendingCount_ = work.Count() - end;
}

// The progress stays until the work file is gone, so that a work file left
// by a failed deletion is known to be applied already.
void ProcessoXML::FinishWorkFile()
{
    if (Platform::DeleteFileOrLink(work_->workFile))
        work_->progress.Clear();
    work_.reset();
}

void ProcessoXML::LogUncertainCommands(int from, int to)
{
    QStringList blocked;
    QStringList released;
    for (int index = from; index < to; ++index) {
        const TGrava_XML &record = work_->records[std::size_t(index)];
        ListByEvent(record.Field01, record.Field02, blocked, released);
    }
    LogUncertainCommands(blocked, released);
}

void ProcessoXML::LogUncertainCommands(const QStringList &blocked, const QStringList &released)
{
    if (blocked.isEmpty() && released.isEmpty())
        return;
    QString line = QStringLiteral("Retomada do arquivo XML sem saber se os comandos chegaram ao data.cds.");
    if (!blocked.isEmpty())
        line += QStringLiteral(" Bloqueio aplicado de novo: ") + blocked.join(QStringLiteral(", ")) + QLatin1Char('.');
    if (!released.isEmpty())
        line += QStringLiteral(" Liberação não aplicada de novo, conferir na catraca: ")
            + released.join(QStringLiteral(", ")) + QLatin1Char('.');
    if (FMemoLog)
        FMemoLog->Add(line);
    else
        qWarning("%s", qPrintable(line));
}

// Whether a command reached data.cds is unknown: a block set twice only
// blocks, a release applied twice would let a tab out again. False when the
// command was withheld.
bool ProcessoXML::ApplyRecord(const TGrava_XML &record, bool uncertain)
{
    if (uncertain && record.Field02 == QLatin1String("L"))
        return false;
    TClientDataSet &cache = *FFonte_Dados;
    // A block applied again finds the row its first application left, which
    // holds the barcode as the column keeps it: cut to its width.
    const QString key = uncertain ? AnsiText::ToUnicode(AnsiText::FromUnicode(
                                        record.Field01, cache.FieldByName(QStringLiteral("COD_BARRA"))->Size()))
                                  : record.Field01;
    if (cache.Locate(QStringLiteral("COD_BARRA"), key, loCaseInsensitive | loPartialKey))
        cache.Edit();
    else
        cache.Insert();
    cache.FieldByName(QStringLiteral("COD_BARRA"))->SetAsString(record.Field01);
    cache.FieldByName(QStringLiteral("EVENTO"))->SetAsString(record.Field02);
    cache.Post();
    return true;
}

// The record names the table about to be written, so that after a crash
// data.cds tells by its digest whether this save happened. A slice of
// commands an earlier run may have applied is recorded with a digest no
// data.cds has, so that until its save is done it stays uncertain.
void ProcessoXML::SaveSlice(int first, int end)
{
    const QString cacheFile = CacheFile();
    const QByteArray table = FFonte_Dados->SaveToBytes(dfBinary);
    const QByteArray before = work_->Uncertain(first) ? QByteArrayLiteral("unknown")
                                                      : IntakeProgress::CacheDigest(cacheFile);
    work_->progress.Record(work_->identity, first, end, before, IntakeProgress::DigestOf(table));
    Platform::WriteFileDurably(cacheFile, table);
}

// A command file joins the batch when it is small; any other claim ends the
// batch first, so that its commands are in data.cds before the claim's own
// record replaces the batch's. The record names the file claimed, and carries
// the batch's commands so far, before the work file of the batch's last file
// goes: at any stop, each command is in data.cds, in the record, or in a
// work file the record names.
bool ProcessoXML::StartClaim(const QString &workFile, const QByteArray &content, qint64 modifiedMs, int count)
{
    // A batch is one save: the limit of a slice's rows, when set, holds for it too.
    const auto withinSliceLimit = [this](int commands) { return sliceRowLimit_ == 0 || commands <= sliceRowLimit_; };
    const bool joins = CommandBatch::Small(count, content.size()) && withinSliceLimit(count);
    const bool fits = batch_ && batch_->Takes(count, content.size())
        && withinSliceLimit(int(batch_->commands.size()) + count);
    if (batch_ && !(joins && fits))
        SaveBatch();
    const bool batchHoldsWorkFile = batch_ && batch_->HoldsWorkFile();
    if (!batchHoldsWorkFile && Platform::FileExists(workFile))
        return false;
    const QByteArray identity = IntakeProgress::IdentityOf(content, modifiedMs);
    if (!joins) {
        IntakeProgress(workFile + QStringLiteral(".progress")).Record(identity, 0, 0, "settled", "settled");
        return true;
    }
    if (!batch_)
        batch_.emplace(workFile + QStringLiteral(".progress"), IntakeProgress::CacheDigest(CacheFile()));
    return RecordClaimInBatch(workFile, identity, content.size());
}

bool ProcessoXML::RecordClaimInBatch(const QString &workFile, const QByteArray &identity, qsizetype size)
{
    CommandBatch &batch = *batch_;
    batch.progress.Record(BatchEntry(identity, batch.before, kUnsaved, batch.workFile, batch.commands));
    if (batch.HoldsWorkFile()) {
        if (!Platform::DeleteFileOrLink(workFile))
            return false;
        batch.workFile = IntakeProgress::kNoWorkFile;
    }
    batch.claimed = identity;
    batch.bytes += size;
    return true;
}

// The work file stays until the next claim's record, or the batch's save,
// makes it redundant.
void ProcessoXML::TakeIntoBatch(const QByteArray &identity, int first, int count)
{
    CommandBatch &batch = *batch_;
    batch.claimed.clear();
    {
        const ControlsOff controlsOff(*FFonte_Dados);
        for (int index = 0; index < count; ++index) {
            const TGrava_XML &record = *FoXML->GetItemLista(first + index);
            ApplyRecord(record, false);
            batch.commands.push_back({record.Field01, record.Field02, FoXML->SourceFileName()});
        }
    }
    batch.workFile = identity;
    pendingCount_ = 0;
}

// A batch whose save fails stays, with its commands in the table, and the
// next turn saves it first. A work file that fails to go is known from the
// record as one whose commands are in data.cds.
void ProcessoXML::SaveBatch()
{
    if (!batch_)
        return;
    CommandBatch &batch = *batch_;
    if (!batch.commands.empty()) {
        const QByteArray table = FFonte_Dados->SaveToBytes(dfBinary);
        batch.progress.Record(BatchEntry(IntakeProgress::kNoWorkFile, batch.before, IntakeProgress::DigestOf(table),
                                         batch.workFile, batch.commands));
        Platform::WriteFileDurably(CacheFile(), table);
        JournalBatch(batch.commands, false);
        batch.commands.clear();
    }
    const bool workFileLeft = batch.HoldsWorkFile() && !Platform::DeleteFileOrLink(FoXML->WorkFilePath());
    if (workFileLeft || !batch.claimed.isEmpty()) {
        // The record must still name a work file: one claimed but not taken
        // into the batch (its commands failed), or the batch's last, which
        // failed to go.
        batch.progress.Record(BatchEntry(batch.claimed.isEmpty() ? IntakeProgress::kNoWorkFile : batch.claimed,
                                         "settled", "settled",
                                         workFileLeft ? batch.workFile : IntakeProgress::kNoWorkFile));
    } else {
        batch.progress.Clear();
    }
    batch_.reset();
}

// Start-up, before the work file: the commands a stopped run's batch put into
// its table are applied again unless data.cds holds them. Not knowing, a
// block is applied again and a release withheld, as for a work file.
void ProcessoXML::ReplayRecordedBatch()
{
    IntakeProgress progress(FoXML->WorkFilePath() + QStringLiteral(".progress"));
    const IntakeProgress::BatchResume resume = progress.BatchAt(CacheFile());
    if (resume.commands.empty())
        return;
    if (!FFonte_Dados)
        throw Exception(QStringLiteral("No release cache to apply the commands to"));
    QStringList blocked;
    QStringList released;
    {
        const ControlsOff controlsOff(*FFonte_Dados);
        for (const IntakeProgress::BatchedCommand &command : resume.commands) {
            ApplyRecord(TGrava_XML{command.barcode, command.event}, resume.uncertain);
            ListByEvent(command.barcode, command.event, blocked, released);
        }
    }
    if (resume.uncertain)
        LogUncertainCommands(blocked, released);
    const QByteArray table = FFonte_Dados->SaveToBytes(dfBinary);
    IntakeProgress::Entry entry = *progress.Newest();
    if (resume.uncertain)
        entry.before = QByteArrayLiteral("unknown");
    entry.after = IntakeProgress::DigestOf(table);
    progress.Record(std::move(entry));
    Platform::WriteFileDurably(CacheFile(), table);
    JournalBatch(resume.commands, resume.uncertain);
}

void ProcessoXML::JournalBatch(const std::vector<IntakeProgress::BatchedCommand> &commands, bool releasesWithheld)
{
    for (const IntakeProgress::BatchedCommand &command : commands) {
        if (FJournal && !(releasesWithheld && command.event == QLatin1String("L")))
            FJournal->CommandApplied(command.source, command.barcode, command.event);
    }
}

}  // namespace Catraca
