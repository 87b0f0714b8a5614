#include "intake/uThreadsXML.h"

#include "cache/table/ClientDataSet.h"
#include "cache/base/Exceptions.h"
#include "cache/table/Field.h"
#include "cache/base/HandlerGuard.h"
#include "cache/base/Platform.h"
#include "cache/ReleaseCache.h"
#include "intake/IntakeProgress.h"

#include <QStringList>
#include <algorithm>

namespace Catraca {

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
        FoXML->SetRecordsReadHandler([this](const QString &workFile, int first, int count) {
            ApplyWorkFile(workFile, first, count);
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
    HandlerGuard::Run([this] { ReportedTick(); }, HandlerGuard::Source::Tick);
}

// A failure that comes back tick after tick opens one box; while it lasts,
// the intake state says so instead, and says when the intake works again.
void ProcessoXML::ReportedTick()
{
    try {
        ThisOnTimer(FoTimer.get());
    } catch (...) {
        const QString failure = HandlerGuard::MessageOf(std::current_exception());
        const bool repeated = failure == lastTickFailure_;
        SetIntakeFailure(failure);
        if (!repeated)
            throw;
        return;
    }
    SetIntakeFailure(QString());
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
    FoXML->Executa_Carga();
    if (FMemoLog)
        FMemoLog->Add(FoXML->GetLog());
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
void ProcessoXML::RetomaTrabalho()
{
    const bool resumed = FoXML->Retoma_Trabalho();
    AddNotices();
    if (resumed && FMemoLog)
        FMemoLog->Add(FoXML->GetLog());
}

void ProcessoXML::ApplyWorkFile(const QString &workFile, int first, int count)
{
    pendingCount_ = count;
    if (count > 0 && !FFonte_Dados)
        throw Exception(QStringLiteral("No release cache to apply the commands to"));
    IntakeProgress progress(workFile + QStringLiteral(".progress"));
    const QString cacheFile = CacheFile();
    const QByteArray identity = IntakeProgress::WorkFileIdentity(workFile);
    const IntakeProgress::Resume resume = progress.ResumeAt(identity, cacheFile);
    int next = std::min(resume.next, count);
    pendingCount_ = count - next;
    // The command whose save failed is in the table already: only its save
    // is still owed. Its row becomes current again, as applying it would
    // have made it, since the cursor decides where the next new row goes.
    if (unsaved_ && unsaved_->workFile == identity && unsaved_->index == next && !resume.nextUncertain
        && !resume.allUncertain) {
        FFonte_Dados->Locate(QStringLiteral("COD_BARRA"), FoXML->GetItemLista(first + next)->Field01,
                             loCaseInsensitive | loPartialKey);
        SaveCommand(progress, *unsaved_, cacheFile);
        unsaved_.reset();
        --pendingCount_;
        ++next;
    }
    unsaved_.reset();
    const int uncertainEnd = resume.allUncertain ? count : resume.nextUncertain ? next + 1 : next;
    LogUncertainCommands(first, next, uncertainEnd);
    for (int index = next; index < count; ++index) {
        const TGrava_XML &record = *FoXML->GetItemLista(first + index);
        // Whether this command reached data.cds is unknown: a block set twice
        // only blocks, a release applied twice would let a tab out again.
        if (index < uncertainEnd && record.Field02 == QLatin1String("L")) {
            --pendingCount_;
            continue;
        }
        ApplyRecord(record, progress, cacheFile, UnsavedCommand{identity, index});
        --pendingCount_;
    }
    // The progress stays until the work file is gone, so that a work file
    // left by a failed deletion is known to be applied already.
    if (FJournal)
        FJournal->Flush();
    if (Platform::DeleteFileOrLink(workFile))
        progress.Clear();
}

void ProcessoXML::LogUncertainCommands(int first, int from, int to)
{
    QStringList blocked;
    QStringList released;
    for (int index = from; index < to; ++index) {
        const TGrava_XML &record = *FoXML->GetItemLista(first + index);
        if (record.Field02 == QLatin1String("L"))
            released.append(record.Field01);
        else if (record.Field02 == QLatin1String("C"))
            blocked.append(record.Field01);
    }
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

void ProcessoXML::ApplyRecord(const TGrava_XML &record, IntakeProgress &progress, const QString &cacheFile,
                              const UnsavedCommand &command)
{
    TClientDataSet &cache = *FFonte_Dados;
    if (cache.Locate(QStringLiteral("COD_BARRA"), record.Field01, loCaseInsensitive | loPartialKey))
        cache.Edit();
    else
        cache.Insert();
    cache.FieldByName(QStringLiteral("COD_BARRA"))->SetAsString(record.Field01);
    cache.FieldByName(QStringLiteral("EVENTO"))->SetAsString(record.Field02);
    cache.Post();
    unsaved_ = command;
    SaveCommand(progress, command, cacheFile);
    unsaved_.reset();
    if (FJournal)
        FJournal->CommandApplied(FoXML->SourceFileName(), record.Field01, record.Field02);
}

// The record names the table about to be written, so that after a crash
// data.cds tells by its digest whether this save happened.
void ProcessoXML::SaveCommand(IntakeProgress &progress, const UnsavedCommand &command, const QString &cacheFile)
{
    const QByteArray table = FFonte_Dados->SaveToBytes(dfBinary);
    progress.Record(command.workFile, command.index, IntakeProgress::CacheDigest(cacheFile),
                    IntakeProgress::DigestOf(table));
    Platform::WriteFileDurably(cacheFile, table);
}

}  // namespace Catraca
