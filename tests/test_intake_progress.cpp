// How far a work file was applied is read back from the progress record: a
// record must send the collector to the right command whatever state
// data.cds and the record itself are in, including records left by an
// earlier version and records torn by a power cut.
#include "intake/IntakeProgress.h"
#include "tests/support/TestSupport.h"

#include <QCryptographicHash>
#include <QtTest>

namespace {

const QByteArray WorkFile = QByteArrayLiteral("0123abcd-1700000000000");
const QByteArray OtherWorkFile = QByteArrayLiteral("4567ef01-1700000000000");

enum class Record {
    None,
    Current,             // written by Record
    CurrentTorn,         // written by Record, then one byte of its lines changed
    CurrentCut,          // written by Record, then cut after its digest
    EarlierVersion,      // three lines with a SHA-256 digest, as earlier versions wrote
};

enum class CacheAfter { Unchanged, Changed, Removed };

}  // namespace

Q_DECLARE_METATYPE(Record)
Q_DECLARE_METATYPE(CacheAfter)

class IntakeProgressTest : public QObject {
    Q_OBJECT

private slots:
    void resumesAtTheRightCommand_data();
    void resumesAtTheRightCommand();
    void laterRecordReplacesEarlierWhole();
};

void IntakeProgressTest::resumesAtTheRightCommand_data()
{
    QTest::addColumn<Record>("record");
    QTest::addColumn<bool>("cacheExistedAtRecord");
    QTest::addColumn<CacheAfter>("cacheAfter");
    QTest::addColumn<QByteArray>("askedFor");
    QTest::addColumn<int>("expected");

    QTest::newRow("no record") << Record::None << true << CacheAfter::Unchanged << WorkFile << 0;
    QTest::newRow("record of another work file") << Record::Current << true << CacheAfter::Unchanged << OtherWorkFile << 0;
    QTest::newRow("command not saved yet") << Record::Current << true << CacheAfter::Unchanged << WorkFile << 7;
    QTest::newRow("command saved") << Record::Current << true << CacheAfter::Changed << WorkFile << 8;
    QTest::newRow("no cache, none saved") << Record::Current << false << CacheAfter::Removed << WorkFile << 7;
    QTest::newRow("no cache, first save made it") << Record::Current << false << CacheAfter::Changed << WorkFile << 8;
    QTest::newRow("torn record starts over") << Record::CurrentTorn << true << CacheAfter::Unchanged << WorkFile << 0;
    QTest::newRow("cut record starts over") << Record::CurrentCut << true << CacheAfter::Changed << WorkFile << 0;
    QTest::newRow("earlier version, not saved") << Record::EarlierVersion << true << CacheAfter::Unchanged << WorkFile << 7;
    QTest::newRow("earlier version, saved") << Record::EarlierVersion << true << CacheAfter::Changed << WorkFile << 8;
}

void IntakeProgressTest::resumesAtTheRightCommand()
{
    QFETCH(Record, record);
    QFETCH(bool, cacheExistedAtRecord);
    QFETCH(CacheAfter, cacheAfter);
    QFETCH(QByteArray, askedFor);
    QFETCH(int, expected);

    ProgramFolderFixture folder;
    const QString cacheFile = folder.file(QStringLiteral("data.cds"));
    const QString progressFile = folder.file(QStringLiteral("XMLwork.progress"));
    const QByteArray before = QByteArray(3000, 'a') + "before";
    if (cacheExistedAtRecord)
        folder.write(QStringLiteral("data.cds"), before);

    IntakeProgress progress(progressFile);
    switch (record) {
    case Record::None:
        break;
    case Record::Current:
    case Record::CurrentTorn:
    case Record::CurrentCut:
        progress.Record(WorkFile, 7, cacheFile);
        break;
    case Record::EarlierVersion:
        folder.write(QStringLiteral("XMLwork.progress"),
                     WorkFile + "\n7\n" + QCryptographicHash::hash(before, QCryptographicHash::Sha256).toHex() + '\n');
        break;
    }
    if (record == Record::CurrentTorn) {
        QByteArray bytes = folder.read(QStringLiteral("XMLwork.progress"));
        bytes[WorkFile.size() + 1] = '9';  // the index now reads 9
        folder.write(QStringLiteral("XMLwork.progress"), bytes);
    }
    if (record == Record::CurrentCut) {
        const QByteArray bytes = folder.read(QStringLiteral("XMLwork.progress"));
        const qsizetype endOfDigest = bytes.indexOf('\n', bytes.indexOf('\n', WorkFile.size() + 1) + 1);
        folder.write(QStringLiteral("XMLwork.progress"), bytes.left(endOfDigest + 1));
    }

    switch (cacheAfter) {
    case CacheAfter::Unchanged:
        break;
    case CacheAfter::Changed:
        folder.write(QStringLiteral("data.cds"), QByteArray(3000, 'a') + "after!");
        break;
    case CacheAfter::Removed:
        QFile::remove(cacheFile);
        break;
    }
    QCOMPARE(progress.ResumeIndex(askedFor, cacheFile), expected);
}

// The record is rewritten in place: a short record written over a long one
// must not read as a mix of the two.
void IntakeProgressTest::laterRecordReplacesEarlierWhole()
{
    ProgramFolderFixture folder;
    const QString cacheFile = folder.file(QStringLiteral("data.cds"));
    folder.write(QStringLiteral("data.cds"), "cache");
    IntakeProgress progress(folder.file(QStringLiteral("XMLwork.progress")));
    const QByteArray longIdentity = QByteArray(300, 'f') + "-1700000000000";
    progress.Record(longIdentity, 123456, cacheFile);
    progress.Record(WorkFile, 2, cacheFile);
    QCOMPARE(progress.ResumeIndex(WorkFile, cacheFile), 2);
    QCOMPARE(progress.ResumeIndex(longIdentity, cacheFile), 0);
    progress.Clear();
    QCOMPARE(progress.ResumeIndex(WorkFile, cacheFile), 0);
}

QTEST_GUILESS_MAIN(IntakeProgressTest)
#include "test_intake_progress.moc"
