// The real program, run from a folder of its own, takes a command file.
#include "tests/support/CacheRows.h"
#include "tests/support/CommandFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#ifndef EMULADOR_EXECUTABLE
#error "EMULADOR_EXECUTABLE must name the built program"
#endif

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void commandFileReachesDataCds();
};

void TestEndToEnd::commandFileReachesDataCds()
{
    QTemporaryDir programFolder;
    QTemporaryDir elsewhere;  // the working folder must not matter
    QVERIFY(programFolder.isValid() && elsewhere.isValid());
    const QString executable = programFolder.filePath(QFileInfo(QStringLiteral(EMULADOR_EXECUTABLE)).fileName());
    QVERIFY(QFile::copy(QStringLiteral(EMULADOR_EXECUTABLE), executable));
    const QString cacheFile = programFolder.filePath(QStringLiteral("data.cds"));
    {
        QFile empty(cacheFile);
        QVERIFY(empty.open(QIODevice::WriteOnly));
    }
    QVERIFY(QDir(programFolder.path()).mkdir(QStringLiteral("XML")));

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(elsewhere.path());
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(executable, {});
    QVERIFY2(program.waitForStarted(10000), qPrintable(program.errorString()));

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
    QVERIFY(CacheRows::InFile(cacheFile).contains(QStringLiteral("0001/L")));
    QVERIFY(CacheRows::InFile(cacheFile).contains(QStringLiteral("0002/C")));
    QVERIFY(QDir(programFolder.filePath(QStringLiteral("XML"))).isEmpty());
    QCOMPARE(program.state(), QProcess::Running);

    program.kill();
    QVERIFY(program.waitForFinished(10000));
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "test_end_to_end.moc"
