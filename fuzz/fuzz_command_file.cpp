// The command file read path: each input is dropped as a command file into
// the folder XML of a temporary program folder and one pass of the reader
// claims it, reads it and deletes it. The records it yields are then applied
// to an in-memory release cache the way a tick applies them (without saving).
#include "FuzzSupport.h"

#include "cache/table/ClientDataSet.h"
#include "cache/base/Exceptions.h"
#include "cache/table/Field.h"
#include "cache/base/Platform.h"
#include "cache/ReleaseCache.h"
#include "intake/uTXML.h"
#include "tests/support/PlatformSeams.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include <sys/time.h>

using namespace Catraca;

namespace {

const QString kReadFailurePrefix = QStringLiteral("Falha ao Tentar ler Arquivo XML formato incorreto Erro:");

struct Setup {
    Setup()
    {
        // Memory-backed when the machine has it: each input is a file.
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        folder = std::make_unique<QTemporaryDir>(base + QStringLiteral("/catraca-fuzz-XXXXXX"));
        if (!folder->isValid())
            FuzzSupport::Fail("cannot make a temporary program folder");
        Platform::SetProgramFolderForTests(folder->path());
        QDir(folder->path()).mkpath(QStringLiteral("XML"));
        reader.SetNome_XML(QStringLiteral("QuiboIntegração"));
        reader.SetTipoArquivo(QString(Platform::PathSeparator()) + QStringLiteral("*.xml"));
        reader.SetrFieldName01(QStringLiteral("ID_COMANDA"));
        reader.SetrFieldName02(QStringLiteral("EVENTO"));
    }
    QString CommandPath() const { return folder->path() + QStringLiteral("/XML/c.xml"); }
    QString WorkPath() const { return folder->path() + QStringLiteral("/XMLQuiboIntegração"); }

    std::unique_ptr<QTemporaryDir> folder;
    TXML reader;
    std::unique_ptr<ReleaseCache> cache = std::make_unique<ReleaseCache>();
};

Setup &TheSetup()
{
    static Setup setup;
    return setup;
}

// A command file that its writer finished a while ago.
void DropFinishedFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        FuzzSupport::Fail("cannot write the command file");
    file.close();
    const timeval old[2] = {{1000000000, 0}, {1000000000, 0}};
    ::utimes(QFile::encodeName(path).constData(), old);
}

void ApplyToCache(TClientDataSet &cache, const TGrava_XML &record)
{
    if (cache.Locate(QStringLiteral("COD_BARRA"), record.Field01, loCaseInsensitive | loPartialKey))
        cache.Edit();
    else
        cache.Insert();
    cache.FieldByName(QStringLiteral("COD_BARRA"))->SetAsString(record.Field01);
    cache.FieldByName(QStringLiteral("EVENTO"))->SetAsString(record.Field02);
    cache.Post();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Setup &setup = TheSetup();
    DropFinishedFile(setup.CommandPath(), FuzzSupport::Bytes(data, size));
    if (!setup.reader.Executa_Carga())
        FuzzSupport::Fail("a finished command file was not claimed");
    if (QFile::exists(setup.CommandPath()) || QFile::exists(setup.WorkPath()))
        FuzzSupport::Fail("a command file or the work file was left behind");
    const QString log = setup.reader.GetLog();
    if (!log.isEmpty() && !log.startsWith(kReadFailurePrefix))
        FuzzSupport::Fail("a read failed outside the read step", log);
    if (setup.cache->Table().RecordCount() > 2000)
        setup.cache = std::make_unique<ReleaseCache>();
    for (int index = 0; index < setup.reader.CountLista(); ++index)
        ApplyToCache(setup.cache->Table(), *setup.reader.GetItemLista(index));
    return 0;
}
