#include "intake/uThreadsXML.h"

#include "cache/ClientDataSet.h"
#include "cache/Exceptions.h"
#include "cache/Field.h"
#include "cache/HandlerGuard.h"
#include "cache/Platform.h"

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
    if (!FoXML)
        FoXML = std::make_unique<TXML>();
}

void ProcessoXML::IniciarColeta()
{
    FoXML->SetNome_XML(QStringLiteral("QuiboIntegração"));
    FoXML->SetTipoArquivo(QString(Platform::PathSeparator()) + QStringLiteral("*.xml"));
    FoXML->SetrFieldName01(QStringLiteral("ID_COMANDA"));
    FoXML->SetrFieldName02(QStringLiteral("EVENTO"));
}

// Records that an earlier tick could not apply are applied first, so a failed
// save delays commands but never loses or reorders them.
void ProcessoXML::ThisOnTimer(QObject * /*Sender*/)
{
    const QString cacheFile = Platform::ProgramFolder() + QStringLiteral("data.cds");
    if (FoXML->Executa_Carga())
        TakeReaderRecords();
    ApplyPending(cacheFile);
    if (FMemoLog)
        FMemoLog->Add(FoXML->GetLog());
}

void ProcessoXML::TakeReaderRecords()
{
    for (int index = 0; index < FoXML->CountLista(); ++index) {
        if (const PGravaXML record = FoXML->GetItemLista(index))
            pending_.push_back(*record);
    }
}

void ProcessoXML::ApplyPending(const QString &cacheFile)
{
    if (!pending_.empty() && !FFonte_Dados)
        throw Exception(QStringLiteral("No release cache to apply the commands to"));
    while (!pending_.empty()) {
        ApplyRecord(pending_.front(), cacheFile);
        pending_.pop_front();
    }
}

void ProcessoXML::ApplyRecord(const TGrava_XML &record, const QString &cacheFile)
{
    TClientDataSet &cache = *FFonte_Dados;
    if (cache.Locate(QStringLiteral("COD_BARRA"), record.Field01, loCaseInsensitive | loPartialKey))
        cache.Edit();
    else
        cache.Insert();
    cache.FieldByName(QStringLiteral("COD_BARRA"))->SetAsString(record.Field01);
    cache.FieldByName(QStringLiteral("EVENTO"))->SetAsString(record.Field02);
    cache.Post();
    cache.SaveToFile(cacheFile, dfBinary);
}
