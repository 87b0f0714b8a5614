// How far a work file was applied is read back from the progress record: a
// record must send the collector to the right command whatever state
// data.cds and the record itself are in, and must say when it cannot tell.
#include "intake/IntakeProgress.h"
#include "tests/support/TestSupport.h"

#include <QtTest>

#define XXH_INLINE_ALL
#include <xxhash.h>

using namespace Catraca;

namespace {

const QByteArray WorkFile = QByteArrayLiteral("0123abcd-1700000000000");
const QByteArray OtherWorkFile = QByteArrayLiteral("4567ef01-1700000000000");

enum class CacheAfter { Unchanged, Saved, ChangedElsewhere, Removed };
enum class Tear { InPlace, Cut };

struct Expected {
    int next;
    bool nextUncertain;
    bool allUncertain;
};

IntakeProgress::Resume ResumeOf(IntakeProgress progress, const QByteArray &identity, const QString &cacheFile)
{
    return progress.ResumeAt(identity, cacheFile);
}

}  // namespace

Q_DECLARE_METATYPE(CacheAfter)
Q_DECLARE_METATYPE(Tear)

class IntakeProgressTest : public QObject {
    Q_OBJECT

private slots:
    void resumesAtTheRightCommand_data();
    void resumesAtTheRightCommand();
    void tornSlotFallsBackToTheOther_data();
    void tornSlotFallsBackToTheOther();
    void laterRecordReplacesEarlierWhole();
    void batchIsAppliedAgainOnlyWhenDataCdsLacksIt_data();
    void batchIsAppliedAgainOnlyWhenDataCdsLacksIt();
    void recordWithoutBatchLinesIsRead();
};

void IntakeProgressTest::resumesAtTheRightCommand_data()
{
    QTest::addColumn<bool>("recorded");
    QTest::addColumn<bool>("cacheExistedAtRecord");
    QTest::addColumn<CacheAfter>("cacheAfter");
    QTest::addColumn<QByteArray>("askedFor");
    QTest::addColumn<bool>("bothSlotsSpoiled");
    QTest::addColumn<int>("next");
    QTest::addColumn<bool>("nextUncertain");
    QTest::addColumn<bool>("allUncertain");

    // Every claim writes a record first: without its own, a work file is in doubt.
    QTest::newRow("no record") << false << true << CacheAfter::Unchanged << WorkFile << false << 0 << false << true;
    QTest::newRow("record of another work file")
        << true << true << CacheAfter::Unchanged << OtherWorkFile << false << 0 << false << true;
    QTest::newRow("command not saved yet") << true << true << CacheAfter::Unchanged << WorkFile << false << 7 << false << false;
    QTest::newRow("command saved") << true << true << CacheAfter::Saved << WorkFile << false << 8 << false << false;
    QTest::newRow("no cache, none saved") << true << false << CacheAfter::Removed << WorkFile << false << 7 << false << false;
    QTest::newRow("no cache, first save made it") << true << false << CacheAfter::Saved << WorkFile << false << 8 << false << false;
    QTest::newRow("data.cds written by something else")
        << true << true << CacheAfter::ChangedElsewhere << WorkFile << false << 7 << true << false;
    QTest::newRow("data.cds removed after the save")
        << true << true << CacheAfter::Removed << WorkFile << false << 7 << true << false;
    QTest::newRow("both slots spoiled") << true << true << CacheAfter::Unchanged << WorkFile << true << 0 << false << true;
}

void IntakeProgressTest::resumesAtTheRightCommand()
{
    QFETCH(bool, recorded);
    QFETCH(bool, cacheExistedAtRecord);
    QFETCH(CacheAfter, cacheAfter);
    QFETCH(QByteArray, askedFor);
    QFETCH(bool, bothSlotsSpoiled);
    QFETCH(int, next);
    QFETCH(bool, nextUncertain);
    QFETCH(bool, allUncertain);

    ProgramFolderFixture folder;
    const QString cacheFile = folder.file(QStringLiteral("data.cds"));
    const QByteArray before = QByteArray(3000, 'a') + "before";
    const QByteArray saved = QByteArray(3000, 'a') + "saved!";
    if (cacheExistedAtRecord)
        folder.write(QStringLiteral("data.cds"), before);

    IntakeProgress progress(folder.file(QStringLiteral("XMLwork.progress")));
    if (recorded) {
        progress.Record(WorkFile, 6, 7, QByteArrayLiteral("older"), IntakeProgress::CacheDigest(cacheFile));
        progress.Record(WorkFile, 7, 8, IntakeProgress::CacheDigest(cacheFile), IntakeProgress::DigestOf(saved));
    }
    if (bothSlotsSpoiled) {
        for (int slot = 0; slot < 2; ++slot) {
            QByteArray bytes = folder.read(QFileInfo(progress.SlotFile(slot)).fileName());
            bytes[WorkFile.size() + 3] = '9';
            folder.write(QFileInfo(progress.SlotFile(slot)).fileName(), bytes);
        }
    }
    switch (cacheAfter) {
    case CacheAfter::Unchanged:
        break;
    case CacheAfter::Saved:
        folder.write(QStringLiteral("data.cds"), saved);
        break;
    case CacheAfter::ChangedElsewhere:
        folder.write(QStringLiteral("data.cds"), QByteArray(3000, 'a') + "other!");
        break;
    case CacheAfter::Removed:
        QFile::remove(cacheFile);
        break;
    }
    const IntakeProgress::Resume resume = ResumeOf(IntakeProgress(folder.file(QStringLiteral("XMLwork.progress"))),
                                                   askedFor, cacheFile);
    QCOMPARE(resume.next, next);
    QCOMPARE(resume.nextUncertain, nextUncertain);
    QCOMPARE(resume.allUncertain, allUncertain);
}

void IntakeProgressTest::tornSlotFallsBackToTheOther_data()
{
    QTest::addColumn<Tear>("tear");
    QTest::addColumn<bool>("firstRecord");
    QTest::newRow("written over in place") << Tear::InPlace << false;
    QTest::newRow("cut short") << Tear::Cut << false;
    QTest::newRow("first record after the claim's, cut short") << Tear::Cut << true;
}

// A crash while command 40 is being recorded leaves its slot holding any
// prefix of the new record, over the rest of the old one or cut there. The
// save of command 40 had not begun, so the resume must start at 40, sure of
// it, at every length; and once command 40 is saved, at 41.
void IntakeProgressTest::tornSlotFallsBackToTheOther()
{
    QFETCH(Tear, tear);
    QFETCH(bool, firstRecord);
    ProgramFolderFixture folder;
    const QString cacheFile = folder.file(QStringLiteral("data.cds"));
    const QString progressFile = folder.file(QStringLiteral("XMLwork.progress"));
    const int index = firstRecord ? 0 : 40;
    if (firstRecord) {
        IntakeProgress(progressFile).Record(WorkFile, 0, 0, "settled", "settled");  // the claim's
    } else {
        IntakeProgress earlier(progressFile);
        earlier.Record(OtherWorkFile, 3, 4, "x", "y");  // left by an earlier work file, outnumbered
        earlier.Record(WorkFile, 38, 39, "d38", "d39");
        IntakeProgress(progressFile).Record(WorkFile, 39, 40, "d39", IntakeProgress::DigestOf("d40 as a table"));
    }
    folder.write(QStringLiteral("data.cds"), "d40 as a table");
    const QByteArray before = IntakeProgress::CacheDigest(cacheFile);
    QList<QByteArray> slotsBefore;
    for (int slot = 0; slot < 2; ++slot)
        slotsBefore.append(folder.read(QFileInfo(IntakeProgress(progressFile).SlotFile(slot)).fileName()));
    IntakeProgress(progressFile).Record(WorkFile, index, index + 1, before, IntakeProgress::DigestOf("d41 as a table"));
    // The slot the record went to: the one that changed.
    const QString firstSlot = QFileInfo(IntakeProgress(progressFile).SlotFile(0)).fileName();
    const int written = folder.read(firstSlot) != slotsBefore.at(0) ? 0 : 1;
    const QString slotName = QFileInfo(IntakeProgress(progressFile).SlotFile(written)).fileName();
    const QByteArray old = slotsBefore.at(written);
    const QByteArray record = folder.read(slotName);

    for (qsizetype length = 0; length <= record.size(); ++length) {
        const QByteArray torn = tear == Tear::Cut ? record.left(length) : record.left(length) + old.mid(length);
        folder.write(slotName, torn);
        const IntakeProgress::Resume resume = ResumeOf(IntakeProgress(progressFile), WorkFile, cacheFile);
        QVERIFY2(resume.next == index && !resume.nextUncertain && !resume.allUncertain,
                 qPrintable(QStringLiteral("torn at %1: resumes at %2").arg(length).arg(resume.next)));
    }
    folder.write(QStringLiteral("data.cds"), "d41 as a table");
    QCOMPARE(ResumeOf(IntakeProgress(progressFile), WorkFile, cacheFile).next, index + 1);
}

// Slots are rewritten in place: a short record written over a long one must
// not read as a mix of the two, and the newest record wins.
void IntakeProgressTest::laterRecordReplacesEarlierWhole()
{
    ProgramFolderFixture folder;
    const QString cacheFile = folder.file(QStringLiteral("data.cds"));
    folder.write(QStringLiteral("data.cds"), "cache");
    const QByteArray now = IntakeProgress::CacheDigest(cacheFile);
    IntakeProgress progress(folder.file(QStringLiteral("XMLwork.progress")));
    const QByteArray longIdentity = QByteArray(300, 'f') + "-1700000000000";
    progress.Record(longIdentity, 123456, 123457, now, "after");
    progress.Record(WorkFile, 1, 2, "before", now);
    progress.Record(WorkFile, 2, 3, now, "after");
    QCOMPARE(progress.ResumeAt(WorkFile, cacheFile).next, 2);
    QCOMPARE(progress.ResumeAt(longIdentity, cacheFile).next, 0);
    progress.Clear();
    QVERIFY(!QFile::exists(progress.SlotFile(0)) && !QFile::exists(progress.SlotFile(1)));
    QCOMPARE(progress.ResumeAt(WorkFile, cacheFile).next, 0);
}

void IntakeProgressTest::batchIsAppliedAgainOnlyWhenDataCdsLacksIt_data()
{
    QTest::addColumn<bool>("batchSaveRecord");  // false: a claim's record in the middle of the batch
    QTest::addColumn<CacheAfter>("cacheAfter");
    QTest::addColumn<bool>("appliedAgain");
    QTest::addColumn<bool>("uncertain");
    QTest::newRow("claim's record, data.cds as the batch found it") << false << CacheAfter::Unchanged << true << false;
    QTest::newRow("claim's record, data.cds written by something else")
        << false << CacheAfter::ChangedElsewhere << true << true;
    QTest::newRow("batch's save record, save not made") << true << CacheAfter::Unchanged << true << false;
    QTest::newRow("batch's save record, save made") << true << CacheAfter::Saved << false << false;
}

// The record carries the commands of a batch whose work files are gone: they
// come back exactly, whatever their text, and only while data.cds lacks them.
// The batch's last work file is known as one of the batch's, and a record
// torn at any length gives the one before it.
void IntakeProgressTest::batchIsAppliedAgainOnlyWhenDataCdsLacksIt()
{
    QFETCH(bool, batchSaveRecord);
    QFETCH(CacheAfter, cacheAfter);
    QFETCH(bool, appliedAgain);
    QFETCH(bool, uncertain);
    ProgramFolderFixture folder;
    const QString cacheFile = folder.file(QStringLiteral("data.cds"));
    const QString progressFile = folder.file(QStringLiteral("XMLwork.progress"));
    folder.write(QStringLiteral("data.cds"), "the batch's start");
    const std::vector<IntakeProgress::BatchedCommand> commands{
        {QStringLiteral("T 1%20"), QStringLiteral("C"), QStringLiteral("a b.xml")},
        {QStringLiteral("line\nbreak\u00e7"), QStringLiteral("L"), QStringLiteral("c%.xml")},
        {QString(), QString(), QStringLiteral("empty.xml")}};
    IntakeProgress::Entry entry;
    entry.workFile = batchSaveRecord ? IntakeProgress::kNoWorkFile : WorkFile;
    entry.first = entry.end = 0;
    entry.before = IntakeProgress::CacheDigest(cacheFile);
    entry.after = batchSaveRecord ? IntakeProgress::DigestOf("saved") : QByteArrayLiteral("unsaved");
    entry.batchWorkFile = OtherWorkFile;
    entry.batch = commands;
    IntakeProgress(progressFile).Record(WorkFile, 0, 0, "settled", "settled");
    IntakeProgress(progressFile).Record(entry);
    if (cacheAfter == CacheAfter::Saved)
        folder.write(QStringLiteral("data.cds"), "saved");
    else if (cacheAfter == CacheAfter::ChangedElsewhere)
        folder.write(QStringLiteral("data.cds"), "other");

    const IntakeProgress::BatchResume resume = IntakeProgress(progressFile).BatchAt(cacheFile);
    QVERIFY(resume.commands == (appliedAgain ? commands : std::vector<IntakeProgress::BatchedCommand>{}));
    QCOMPARE(resume.uncertain, uncertain);
    QVERIFY(IntakeProgress(progressFile).ResumeAt(OtherWorkFile, cacheFile).inBatch);
    const IntakeProgress::Resume claimed = IntakeProgress(progressFile).ResumeAt(WorkFile, cacheFile);
    QCOMPARE(claimed.allUncertain, batchSaveRecord);
    QVERIFY(!claimed.inBatch && !claimed.nextUncertain && claimed.next == 0);

    const QString slotName = QFileInfo(IntakeProgress(progressFile).SlotFile(1)).fileName();
    const QByteArray record = folder.read(slotName);
    for (qsizetype length = 0; length < record.indexOf("\n\n"); ++length) {
        folder.write(slotName, record.left(length));
        IntakeProgress torn(progressFile);
        QVERIFY2(torn.BatchAt(cacheFile).commands.empty() && torn.ResumeAt(WorkFile, cacheFile).next == 0
                     && !torn.ResumeAt(WorkFile, cacheFile).allUncertain,
                 qPrintable(QStringLiteral("torn at %1").arg(length)));
    }
}

// A work file left by a run of the version whose records had no batch lines
// resumes where that record says.
void IntakeProgressTest::recordWithoutBatchLinesIsRead()
{
    ProgramFolderFixture folder;
    const QString cacheFile = folder.file(QStringLiteral("data.cds"));
    folder.write(QStringLiteral("data.cds"), "cache");
    const QByteArray lines = "7\n" + WorkFile + "\n3\n4\nolder\n" + IntakeProgress::CacheDigest(cacheFile) + "\n";
    const QByteArray check = QByteArray::number(quint64(XXH3_64bits(lines.constData(), size_t(lines.size()))), 16);
    folder.write(QStringLiteral("XMLwork.progress.a"), (lines + check + "\n").leftJustified(512, '\n'));
    IntakeProgress progress(folder.file(QStringLiteral("XMLwork.progress")));
    const IntakeProgress::Resume resume = progress.ResumeAt(WorkFile, cacheFile);
    QVERIFY(!resume.allUncertain && !resume.nextUncertain);
    QCOMPARE(resume.next, 4);
    QVERIFY(progress.BatchAt(cacheFile).commands.empty());
}

QTEST_GUILESS_MAIN(IntakeProgressTest)
#include "test_intake_progress.moc"
