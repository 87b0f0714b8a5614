#include "intake/uThreadsXML.h"

#include "cache/table/ClientDataSet.h"
#include "cache/base/Exceptions.h"
#include "cache/table/Field.h"
#include "cache/base/HandlerGuard.h"
#include "cache/base/Platform.h"
#include "cache/ReleaseCache.h"
#include "intake/IntakeProgress.h"

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
        FoTimer->setInterval(TimerIntervalMs);
        connect(FoTimer.get(), &QTimer::timeout, this, [this] {
            HandlerGuard::Run([this] { ThisOnTimer(FoTimer.get()); }, HandlerGuard::Source::Tick);
        });
        FoTimer->stop();
    }
    if (!FoXML) {
        FoXML = std::make_unique<TXML>();
        FoXML->SetRecordsReadHandler([this](const QString &workFile, int first, int count) {
            ApplyWorkFile(workFile, first, count);
        });
    }
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
    // Whatever the pass reported reaches the journal, even when it failed.
    struct FlushAtEnd {
        CommandJournal *journal;
        ~FlushAtEnd()
        {
            if (journal)
                journal->Flush();
        }
    } flushAtEnd{FJournal};
    FoXML->Executa_Carga();
    if (FMemoLog)
        FMemoLog->Add(FoXML->GetLog());
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

void ProcessoXML::ApplyWorkFile(const QString &workFile, int first, int count)
{
    pendingCount_ = count;
    if (count > 0 && !FFonte_Dados)
        throw Exception(QStringLiteral("No release cache to apply the commands to"));
    IntakeProgress progress(workFile + QStringLiteral(".progress"));
    const QString cacheFile = CacheFile();
    const QByteArray identity = IntakeProgress::WorkFileIdentity(workFile);
    int next = progress.ResumeIndex(identity, cacheFile);
    pendingCount_ = count - next;
    // The command whose save failed is in the table already: only its save
    // is still owed. Its row becomes current again, as applying it would
    // have made it, since the cursor decides where the next new row goes.
    if (unsaved_ && unsaved_->workFile == identity && unsaved_->index == next) {
        FFonte_Dados->Locate(QStringLiteral("COD_BARRA"), FoXML->GetItemLista(first + next)->Field01,
                             loCaseInsensitive | loPartialKey);
        FFonte_Dados->SaveToFile(cacheFile, dfBinary);
        unsaved_.reset();
        --pendingCount_;
        ++next;
    }
    unsaved_.reset();
    for (int index = next; index < count; ++index) {
        progress.Record(identity, index, cacheFile);
        ApplyRecord(*FoXML->GetItemLista(first + index), cacheFile, UnsavedCommand{identity, index});
        --pendingCount_;
    }
    // The progress stays until the work file is gone, so that a work file
    // left by a failed deletion is known to be applied already.
    if (FJournal)
        FJournal->Flush();
    if (Platform::DeleteFileOrLink(workFile))
        progress.Clear();
}

void ProcessoXML::ApplyRecord(const TGrava_XML &record, const QString &cacheFile, const UnsavedCommand &command)
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
    cache.SaveToFile(cacheFile, dfBinary);
    unsaved_.reset();
    if (FJournal)
        FJournal->CommandApplied(FoXML->SourceFileName(), record.Field01, record.Field02);
}
