// The real program, run from a folder of its own, takes a command file, and
// resumes a work file that a stopped run left.
#include "cache/base/Exceptions.h"
#include "cache/base/Platform.h"
#include "cache/ReleaseCache.h"
#include "intake/uThreadsXML.h"
#include "tests/support/CacheRows.h"
#include "tests/support/CommandFiles.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#ifndef EMULADOR_EXECUTABLE
#error "EMULADOR_EXECUTABLE must name the built program"
#endif

using namespace Catraca;

namespace {

// Starts a copy of the program in the folder, from another working folder.
void Start(QProcess &program, const QString &programFolder, const QString &workingFolder)
{
    const QString executable = QDir(programFolder).filePath(QFileInfo(QStringLiteral(EMULADOR_EXECUTABLE)).fileName());
    if (!QFileInfo::exists(executable))
        QVERIFY(QFile::copy(QStringLiteral(EMULADOR_EXECUTABLE), executable));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(workingFolder);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(executable, {});
    QVERIFY2(program.waitForStarted(10000), qPrintable(program.errorString()));
}

}  // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void commandFileReachesDataCds();
    void resumesAStoppedWorkFile_data();
    void resumesAStoppedWorkFile();
};

void TestEndToEnd::commandFileReachesDataCds()
{
    QTemporaryDir programFolder;
    QTemporaryDir elsewhere;  // the working folder must not matter
    QVERIFY(programFolder.isValid() && elsewhere.isValid());
    const QString cacheFile = programFolder.filePath(QStringLiteral("data.cds"));
    {
        QFile empty(cacheFile);
        QVERIFY(empty.open(QIODevice::WriteOnly));
    }
    QVERIFY(QDir(programFolder.path()).mkdir(QStringLiteral("XML")));

    QProcess program;
    Start(program, programFolder.path(), elsewhere.path());

    // Written under another name and renamed in, as a well-behaved sender does.
    const QString staging = programFolder.filePath(QStringLiteral("staging.tmp"));
    {
        QFile command(staging);
        QVERIFY(command.open(QIODevice::WriteOnly));
        command.write(CommandFiles::Commands({{QStringLiteral("0001"), QStringLiteral("L")},
                                              {QStringLiteral("0002"), QStringLiteral("C")}}));
    }
    QVERIFY(QFile::rename(staging, programFolder.filePath(QStringLiteral("XML/comanda.xml"))));

    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(cacheFile).size() > 0 && CacheRows::InFile(cacheFile).size() == 2, 10000);
    QCOMPARE(CacheRows::InFile(cacheFile).size(), 2);
    QVERIFY(CacheRows::InFile(cacheFile).contains(QStringLiteral("0001|L")));
    QVERIFY(CacheRows::InFile(cacheFile).contains(QStringLiteral("0002|C")));
    QVERIFY(QDir(programFolder.filePath(QStringLiteral("XML"))).isEmpty());
    QCOMPARE(program.state(), QProcess::Running);

    program.kill();
    QVERIFY(program.waitForFinished(10000));
}

void TestEndToEnd::resumesAStoppedWorkFile_data()
{
    QTest::addColumn<int>("sliceRows");    // commands per save of the stopped run
    QTest::addColumn<int>("failingSave");  // counted from 1: the run stops while saving that slice
    QTest::addColumn<int>("tornTo");       // bytes left of the newest progress slot; -1 whole
    QTest::newRow("disk full while saving the whole file") << 0 << 1 << -1;
    QTest::newRow("stopped 35 commands in, record torn") << 7 << 6 << 211;
}

// A run of 300 commands stops as a kill right after a progress record leaves
// it; the real program then starts on that folder. Every barcode is longer
// than the column, so a command applied twice would leave a second row.
void TestEndToEnd::resumesAStoppedWorkFile()
{
    QFETCH(int, sliceRows);
    QFETCH(int, failingSave);
    QFETCH(int, tornTo);
    ProgramFolderFixture folder;
    QTemporaryDir elsewhere;
    QList<CommandFiles::Command> commands;
    QStringList expected;
    for (int index = 0; index < 300; ++index) {
        const QString barcode = QStringLiteral("%1-TAB").arg(index, 10, 10, QLatin1Char('0'));
        const QString event = index % 2 ? QStringLiteral("L") : QStringLiteral("C");
        commands.append({barcode, event});
        expected.append(barcode.left(10) + QLatin1Char('|') + event);
    }
    CacheRows::Write(folder, {});
    {
        ReleaseCache cache;
        cache.Table().LoadFromFile(folder.file(QStringLiteral("data.cds")));
        ProcessoXML stopped;
        stopped.SetSliceRowLimit(sliceRows);
        stopped.SetFonte_Dados(&cache.Table());
        stopped.IniciarColeta();
        CommandFiles::Drop(folder, QStringLiteral("a.xml"), CommandFiles::Commands(commands));
        int saves = 0;
        Platform::SetFaultHookForTests([&saves, failingSave](Platform::FileOperation operation, const QString &path) {
            return operation == Platform::FileOperation::Open
                && QFileInfo(path).fileName().startsWith(QStringLiteral(".data.cds.")) && ++saves == failingSave;
        });
        QVERIFY_THROWS_EXCEPTION(Exception, stopped.ThisOnTimer(nullptr));
        Platform::SetFaultHookForTests(nullptr);
    }
    const QString workFile = CommandFiles::WorkFilePath(folder);
    QVERIFY(QFileInfo::exists(workFile));
    if (tornTo >= 0) {
        for (const QString &slot : {workFile + QStringLiteral(".progress.a"), workFile + QStringLiteral(".progress.b")}) {
            QFile file(slot);
            QVERIFY(file.open(QIODevice::ReadWrite));
            const int first = (failingSave - 1) * sliceRows;
            if (file.readAll().contains("\n" + QByteArray::number(first) + "\n" + QByteArray::number(first + sliceRows) + "\n"))
                QVERIFY(file.resize(tornTo));
        }
    }

    QProcess program;
    Start(program, folder.path(), elsewhere.path());
    QTRY_COMPARE_WITH_TIMEOUT(QDir(folder.path()).entryList({QStringLiteral("XML*")}, QDir::Files | QDir::Hidden),
                              QStringList(), 60000);
    QStringList rows = CacheRows::InFile(folder.file(QStringLiteral("data.cds")));
    rows.sort();
    expected.sort();
    QCOMPARE(rows, expected);
    program.kill();
    QVERIFY(program.waitForFinished(10000));
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "test_end_to_end.moc"
