#include "cache/table/ClientDataSet.h"
#include "cache/base/Exceptions.h"
#include "cache/table/Field.h"
#include "cache/base/HandlerGuard.h"
#include "cache/base/Platform.h"
#include "cache/ReleaseCache.h"
#include "intake/IntakeProgress.h"
#include "intake/LogLines.h"
#include "intake/uThreadsXML.h"
#include "tests/support/CacheRows.h"
#include "tests/support/CommandFiles.h"
#include "tests/support/RecordingLog.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QtTest>
#include <stdexcept>

using namespace Catraca;

using namespace CommandFiles;

namespace {

// The identity the reader gives a work file, from the file on disk.
QByteArray IdentityOfFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read a work file");
    return IntakeProgress::IdentityOf(file.readAll(), QFileInfo(path).lastModified().toMSecsSinceEpoch());
}


// Fills the table with these rows, in this order. Insert places a row before
// the current one, so the rows go in last first, each at the top.
void SeedRows(TClientDataSet &table, const QList<std::pair<QString, QString>> &rows)
{
    for (auto row = rows.crbegin(); row != rows.crend(); ++row) {
        table.First();
        table.Insert();
        table.FieldByName(QStringLiteral("COD_BARRA"))->SetAsString(row->first);
        table.FieldByName(QStringLiteral("EVENTO"))->SetAsString(row->second);
        table.Post();
    }
}

QList<Command> CommandsFrom(const QStringList &pairs)
{
    QList<Command> commands;
    for (const QString &pair : pairs)
        commands.append({pair.section(QLatin1Char('|'), 0, 0), pair.section(QLatin1Char('|'), 1)});
    return commands;
}

// A save of data.cds writes a temporary file beside it and renames it over.
bool IsCacheSave(const QString &path)
{
    return QFileInfo(path).fileName().startsWith(QStringLiteral(".data.cds."));
}

// A collector set up as the main window sets it up, over a fresh release cache
// in a fresh program folder; the timer stays disabled.
struct Rig {
    explicit Rig(bool withMemo = true)
    {
        collector.SetFonte_Dados(&cache.Table());
        collector.SetPathXML(folder.file(QStringLiteral("XML")) + Platform::PathSeparator());
        collector.IniciarColeta();
        if (withMemo)
            collector.SetMemoLog(&memo);
    }
    QString cacheFile() const { return folder.file(QStringLiteral("data.cds")); }

    ProgramFolderFixture folder;
    ReleaseCache cache;
    RecordingLog memo;
    ProcessoXML collector;
};

}  // namespace

Q_DECLARE_METATYPE(Catraca::Platform::FileOperation)

class CollectorTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup()
    {
        Platform::SetFaultHookForTests(nullptr);
        HandlerGuard::SetReporter(nullptr);
    }

    void givesReaderItsNames();
    void appliesCommands_data();
    void appliesCommands();
    void tickWithoutCommandsTouchesNothing_data();
    void tickWithoutCommandsTouchesNothing();
    void logLines_data();
    void logLines();
    void releasedTabDoesNotComeBack();
    void failedSaveLosesNothing_data();
    void failedSaveLosesNothing();
    void leftoverWorkFileIsApplied_data();
    void leftoverWorkFileIsApplied();
    void recordWithoutWorkFileIsForgottenAtStart();
    void resumeAfterAStop_data();
    void resumeAfterAStop();
    void backlogStoppedMidBatchIsAppliedOnce_data();
    void backlogStoppedMidBatchIsAppliedOnce();
    void drainsInTurnsOfTheEventLoop_data();
    void drainsInTurnsOfTheEventLoop();
    void pendingWithoutCacheIsAnError();
    void timerTicksOnlyOnceEnabled();
    void failingTickIsReportedOnceAndTicksGoOnUnderItsBox();
};

void CollectorTest::givesReaderItsNames()
{
    Rig rig;
    const TXML &reader = *rig.collector.Reader();
    QCOMPARE(reader.Nome_XML(), QStringLiteral("QuiboIntegração"));
    QCOMPARE(reader.TipoArquivo(), QString(Platform::PathSeparator()) + QStringLiteral("*.xml"));
    QCOMPARE(reader.rFieldName01(), QStringLiteral("ID_COMANDA"));
    QCOMPARE(reader.rFieldName02(), QStringLiteral("EVENTO"));
    QCOMPARE(rig.collector.get_Timmer()->interval(), 1000);
    QVERIFY(!rig.collector.get_Timmer()->isActive());
    QVERIFY(!rig.collector.get_Timmer()->isSingleShot());
}

void CollectorTest::appliesCommands_data()
{
    QTest::addColumn<QStringList>("cacheBefore");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QStringList>("cacheAfter");
    QTest::addColumn<bool>("withMemo");

    QTest::newRow("new barcode") << QStringList{} << QStringList{"A1|L"} << QStringList{"A1|L"} << true;
    QTest::newRow("event updated in place")
        << QStringList{"K7|L", "X9|C"} << QStringList{"X9|L"} << QStringList{"K7|L", "X9|L"} << true;
    QTest::newRow("prefix match rewrites the barcode")
        << QStringList{"AB123|C"} << QStringList{"ab1|L"} << QStringList{"ab1|L"} << true;
    QTest::newRow("three rows, inserted before the current row")
        << QStringList{} << QStringList{"1|L", "2|C", "3|L"} << QStringList{"3|L", "2|C", "1|L"} << true;
    QTest::newRow("later record for a barcode wins")
        << QStringList{} << QStringList{"Q1|C", "Q1|L"} << QStringList{"Q1|L"} << true;
    QTest::newRow("values cut to the columns")
        << QStringList{} << QStringList{"ABCDEFGHIJKL|LIBERADO"} << QStringList{"ABCDEFGHIJ|L"} << true;
    QTest::newRow("without a memo") << QStringList{"Z|C"} << QStringList{"Z|L", "Y|C"}
                                    << QStringList{"Y|C", "Z|L"} << false;
}

void CollectorTest::appliesCommands()
{
    QFETCH(QStringList, cacheBefore);
    QFETCH(QStringList, commands);
    QFETCH(QStringList, cacheAfter);
    QFETCH(bool, withMemo);
    Rig rig(withMemo);
    SeedRows(rig.cache.Table(), CommandsFrom(cacheBefore));
    Drop(rig.folder, QStringLiteral("c.xml"), Commands(CommandsFrom(commands)));
    int saves = 0;
    Platform::SetFaultHookForTests([&saves](Platform::FileOperation operation, const QString &path) {
        saves += operation == Platform::FileOperation::Rename && IsCacheSave(path);
        return false;
    });

    rig.collector.ThisOnTimer(nullptr);

    QCOMPARE(saves, 1);  // a work file's rows reach data.cds in one save
    QCOMPARE(CacheRows::Of(rig.cache.Table()), cacheAfter);
    QCOMPARE(CacheRows::InFile(rig.cacheFile()), cacheAfter);
    QCOMPARE(rig.collector.PendingCount(), 0);
    QCOMPARE(rig.memo.lines, withMemo ? QStringList{QString()} : QStringList{});
    QCOMPARE(EntriesLeft(rig.folder), QStringList());
    QVERIFY(!QFile::exists(WorkFilePath(rig.folder)));
}

void CollectorTest::tickWithoutCommandsTouchesNothing_data()
{
    QTest::addColumn<bool>("operatorEditing");
    QTest::newRow("cache at rest") << false;
    QTest::newRow("operator editing a row") << true;
}

// Without commands the tick neither searches nor saves the cache, so an edit
// the operator has begun stays pending.
void CollectorTest::tickWithoutCommandsTouchesNothing()
{
    QFETCH(bool, operatorEditing);
    Rig rig;
    SeedRows(rig.cache.Table(), {{QStringLiteral("P1"), QStringLiteral("C")}});
    if (operatorEditing) {
        rig.cache.Table().Edit();
        rig.cache.Table().FieldByName(QStringLiteral("EVENTO"))->SetAsString(QStringLiteral("L"));
    }
    const TDataSetState state = rig.cache.Table().State();

    rig.collector.ThisOnTimer(nullptr);

    QCOMPARE(rig.cache.Table().State(), state);
    QVERIFY(!QFile::exists(rig.cacheFile()));
    QCOMPARE(rig.memo.lines, QStringList{QString()});
}

void CollectorTest::logLines_data()
{
    QTest::addColumn<QList<QByteArray>>("ticks");  // a null entry: no file on that tick
    QTest::addColumn<QStringList>("lines");

    const QByteArray good = Commands({{"G", "L"}});
    const QByteArray noEvent = XmlPacket({{"ID_COMANDA", "string", 20}}, {Row{{"N"}}});
    const QString failure = kReadFailure + QStringLiteral("Field 'EVENTO' not found");
    QTest::newRow("nothing to read") << QList<QByteArray>{QByteArray()} << QStringList{QString()};
    QTest::newRow("failure stays until a good read")
        << QList<QByteArray>{noEvent, QByteArray(), QByteArray(), good, QByteArray()}
        << QStringList{failure, failure, failure, QString(), QString()};
    QTest::newRow("empty file after a good one")
        << QList<QByteArray>{good, QByteArray("")}
        << QStringList{QString(), kReadFailure + QStringLiteral("Missing data provider or data packet")};
}

void CollectorTest::logLines()
{
    QFETCH(QList<QByteArray>, ticks);
    QFETCH(QStringList, lines);
    Rig rig;
    for (const QByteArray &file : ticks) {
        if (!file.isNull())
            Drop(rig.folder, QStringLiteral("t.xml"), file);
        rig.collector.ThisOnTimer(nullptr);
    }
    QCOMPARE(rig.memo.lines, lines);
}

// A tab released at the gate is deleted from the cache; a later command file
// for other tabs must not bring it back.
void CollectorTest::releasedTabDoesNotComeBack()
{
    Rig rig;
    TClientDataSet &cache = rig.cache.Table();
    Drop(rig.folder, QStringLiteral("1.xml"), Commands({{"T1", "L"}, {"T2", "C"}}));
    rig.collector.ThisOnTimer(nullptr);
    QVERIFY(cache.Locate(QStringLiteral("COD_BARRA"), QStringLiteral("T1"), loCaseInsensitive | loPartialKey));
    cache.Delete();

    Drop(rig.folder, QStringLiteral("2.xml"), Commands({{"T3", "C"}}));
    rig.collector.ThisOnTimer(nullptr);

    QCOMPARE(CacheRows::Of(cache), (QStringList{"T3|C", "T2|C"}));
    QCOMPARE(CacheRows::InFile(rig.cacheFile()), (QStringList{"T3|C", "T2|C"}));
}

void CollectorTest::failedSaveLosesNothing_data()
{
    QTest::addColumn<int>("sliceRows");    // 0: the whole file in one slice
    QTest::addColumn<int>("failingSave");
    QTest::addColumn<QStringList>("savedAfterFailure");
    QTest::addColumn<QStringList>("nextFile");  // empty: no file on the next tick
    QTest::addColumn<QStringList>("cacheAfter");

    const QStringList allThree{"3|L", "2|C", "1|L"};
    QTest::newRow("first save") << 1 << 1 << QStringList{} << QStringList{} << allThree;
    QTest::newRow("second save") << 1 << 2 << QStringList{"1|L"} << QStringList{} << allThree;
    QTest::newRow("third save") << 1 << 3 << QStringList{"2|C", "1|L"} << QStringList{} << allThree;
    QTest::newRow("next tick brings a newer command")
        << 1 << 2 << QStringList{"1|L"} << QStringList{"2|L", "4|C"} << QStringList{"3|L", "4|C", "2|L", "1|L"};
    QTest::newRow("slice of two, second save") << 2 << 2 << QStringList{"2|C", "1|L"} << QStringList{} << allThree;
    QTest::newRow("whole file, its one save") << 0 << 1 << QStringList{} << QStringList{"3|C"}
                                              << QStringList{"3|C", "2|C", "1|L"};
}

// While data.cds cannot be written the tick stops at the failing slice; the
// slice whose save failed and those after it are applied first on the next
// tick, before anything newer, so nothing is lost and order still holds.
void CollectorTest::failedSaveLosesNothing()
{
    QFETCH(int, sliceRows);
    QFETCH(int, failingSave);
    QFETCH(QStringList, savedAfterFailure);
    QFETCH(QStringList, nextFile);
    QFETCH(QStringList, cacheAfter);
    Rig rig;
    rig.collector.SetSliceRowLimit(sliceRows);
    rig.cache.Table().SaveToFile(rig.cacheFile(), dfBinary);  // the cache file the program starts with
    Drop(rig.folder, QStringLiteral("a.xml"), Commands({{"1", "L"}, {"2", "C"}, {"3", "L"}}));
    int saves = 0;
    Platform::SetFaultHookForTests([&saves, failingSave](Platform::FileOperation operation, const QString &path) {
        return operation == Platform::FileOperation::Open && IsCacheSave(path) && ++saves == failingSave;
    });

    try {
        rig.collector.ThisOnTimer(nullptr);
        QFAIL("the failed save did not raise");
    } catch (const EFCreateError &error) {
        QVERIFY2(error.Message().startsWith(QStringLiteral("Cannot create file \"%1\". ").arg(rig.cacheFile())),
                 qPrintable(error.Message()));
    }

    const int posted = sliceRows == 0 ? 3 : std::min(3, failingSave * sliceRows);  // the failing slice's rows too
    QCOMPARE(CacheRows::Of(rig.cache.Table()).size(), posted);
    QCOMPARE(CacheRows::InFile(rig.cacheFile()), savedAfterFailure);
    QCOMPARE(rig.collector.PendingCount(), 3 - int(savedAfterFailure.size()));
    QCOMPARE(rig.memo.lines, QStringList{});  // the log step did not run

    Platform::SetFaultHookForTests(nullptr);
    if (!nextFile.isEmpty())
        Drop(rig.folder, QStringLiteral("b.xml"), Commands(CommandsFrom(nextFile)));
    rig.collector.ThisOnTimer(nullptr);

    QCOMPARE(rig.collector.PendingCount(), 0);
    QCOMPARE(CacheRows::Of(rig.cache.Table()), cacheAfter);
    QCOMPARE(CacheRows::InFile(rig.cacheFile()), cacheAfter);
    QCOMPARE(rig.memo.lines, QStringList{QString()});
}

void CollectorTest::leftoverWorkFileIsApplied_data()
{
    QTest::addColumn<bool>("withItsRecord");
    QTest::addColumn<QStringList>("cacheAfter");
    QTest::addColumn<QString>("logged");  // a line the log must hold; empty: none of its own

    QTest::newRow("with the record its claim wrote") << true << QStringList{"N1|C", "W1|L"} << QString();
    // The record deleted by hand: whether the release reached data.cds nobody
    // can tell, so it is not applied again but named for the gate.
    QTest::newRow("its record deleted") << false << QStringList{"N1|C"}
                                        << QStringLiteral("Liberação não aplicada de novo, conferir na catraca: W1.");
}

void CollectorTest::leftoverWorkFileIsApplied()
{
    QFETCH(bool, withItsRecord);
    QFETCH(QStringList, cacheAfter);
    QFETCH(QString, logged);
    Rig rig;
    rig.folder.write(QStringLiteral("XMLQuiboIntegração"), Commands({{"W1", "L"}}));
    const QString workFile = WorkFilePath(rig.folder);
    if (withItsRecord)
        IntakeProgress(workFile + QStringLiteral(".progress"))
            .Record(IdentityOfFile(workFile), 0, 0, "settled", "settled");
    Drop(rig.folder, QStringLiteral("n.xml"), Commands({{"N1", "C"}}));

    rig.collector.ThisOnTimer(nullptr);

    QCOMPARE(CacheRows::InFile(rig.cacheFile()), cacheAfter);
    QVERIFY(!QFile::exists(workFile));
    QCOMPARE(EntriesLeft(rig.folder), QStringList());
    QCOMPARE(rig.memo.lines.filter(QStringLiteral("Retomada")).size(), logged.isEmpty() ? 0 : 1);
    if (!logged.isEmpty())
        QVERIFY2(rig.memo.lines.filter(QStringLiteral("Retomada")).first().endsWith(logged),
                 qPrintable(rig.memo.lines.join(QLatin1Char('\n'))));
}

namespace {

// Command i of a work file: a barcode longer than the column, whose first ten
// bytes are its own, so that a second application leaves a second row.
Command LongCommand(int index)
{
    return {QStringLiteral("%1-TAB").arg(index, 10, 10, QLatin1Char('0')), index % 2 ? QStringLiteral("L") : QStringLiteral("C")};
}

// In place of the bytes left of a torn slot: both slots deleted by hand.
constexpr int kRecordDeleted = -2;

QString CutBarcode(int index)
{
    return LongCommand(index).first.left(10);
}

// A fresh cache and collector on what a stopped run left on disk, with the
// start-up's resume made.
struct Restarted {
    explicit Restarted(const QString &cacheFile)
    {
        cache.Table().LoadFromFile(cacheFile);
        collector.SetFonte_Dados(&cache.Table());
        collector.IniciarColeta();
        collector.SetMemoLog(&memo);
        collector.RetomaTrabalho();
    }
    ReleaseCache cache;
    RecordingLog memo;
    ProcessoXML collector;
};

}  // namespace

void CollectorTest::resumeAfterAStop_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("sliceRows");    // commands per save
    QTest::addColumn<int>("failingSave");  // counted from 1; the run stops there
    QTest::addColumn<int>("tornTo");       // bytes left of the newest progress slot; -1 whole
    QTest::addColumn<bool>("cacheRestoredByHand");
    QTest::addColumn<QList<int>>("inCache");  // commands whose rows data.cds ends with, once each
    QTest::addColumn<QString>("logged");

    QList<int> all;
    for (int index = 0; index < 60; ++index)
        all.append(index);
    const QString uncertain = QStringLiteral("Retomada do arquivo XML sem saber se os comandos chegaram ao data.cds.");
    const QString blocked = QStringLiteral(" Bloqueio aplicado de novo: %1.");
    const QString released = QStringLiteral(" Liberação não aplicada de novo, conferir na catraca: %1.");
    QTest::newRow("disk full while saving command 0") << 3 << 1 << 1 << -1 << false << QList<int>{0, 1, 2} << QString();
    for (int tornTo : {0, 1, 100, 300, 511})
        QTest::addRow("stopped 40 commands in, record torn to %d bytes", tornTo)
            << 60 << 1 << 41 << tornTo << false << all << QString();
    QTest::newRow("slices of 7, stopped in the fourth, record torn") << 60 << 7 << 4 << 100 << false << all << QString();
    QTest::newRow("slices of 7, stopped in the fourth") << 60 << 7 << 4 << -1 << false << all << QString();
    QTest::newRow("data.cds restored by hand, next command a block")
        << 3 << 1 << 3 << -1 << true << QList<int>{2} << uncertain + blocked.arg(LongCommand(2).first);
    QTest::newRow("data.cds restored by hand, next command a release")
        << 3 << 1 << 2 << -1 << true << QList<int>{2} << uncertain + released.arg(LongCommand(1).first);
    QTest::newRow("data.cds restored by hand, a slice of both")
        << 5 << 2 << 2 << -1 << true << QList<int>{2, 4}
        << uncertain + blocked.arg(LongCommand(2).first) + released.arg(LongCommand(3).first);
    // Blocks applied again find their rows, long barcodes and all.
    QTest::newRow("record deleted by hand, stopped at command 3")
        << 5 << 1 << 4 << kRecordDeleted << false << QList<int>{0, 1, 2, 4}
        << uncertain
            + blocked.arg(QStringList{LongCommand(0).first, LongCommand(2).first, LongCommand(4).first}.join(", "))
            + released.arg(LongCommand(1).first + ", " + LongCommand(3).first);
}

// A run stopped by a failed save, as a kill right after the progress record
// leaves it; the program then starts again on what is on disk and resumes the
// work file before anything else. No command may be lost or applied twice,
// and what the record cannot tell is decided safely and logged.
void CollectorTest::resumeAfterAStop()
{
    QFETCH(int, count);
    QFETCH(int, sliceRows);
    QFETCH(int, failingSave);
    QFETCH(int, tornTo);
    QFETCH(bool, cacheRestoredByHand);
    QFETCH(QList<int>, inCache);
    QFETCH(QString, logged);
    QList<Command> commands;
    for (int index = 0; index < count; ++index)
        commands.append(LongCommand(index));
    Rig stopped;
    stopped.collector.SetSliceRowLimit(sliceRows);
    stopped.cache.Table().SaveToFile(stopped.cacheFile(), dfBinary);
    Drop(stopped.folder, QStringLiteral("a.xml"), Commands(commands));
    int saves = 0;
    Platform::SetFaultHookForTests([&saves, failingSave](Platform::FileOperation operation, const QString &path) {
        return operation == Platform::FileOperation::Open && IsCacheSave(path) && ++saves == failingSave;
    });
    QVERIFY_THROWS_EXCEPTION(EFCreateError, stopped.collector.ThisOnTimer(nullptr));
    Platform::SetFaultHookForTests(nullptr);
    QVERIFY(QFile::exists(WorkFilePath(stopped.folder)));
    if (cacheRestoredByHand)
        ReleaseCache().Table().SaveToFile(stopped.cacheFile(), dfBinary);
    if (tornTo == kRecordDeleted) {
        for (const QString &slot : {WorkFilePath(stopped.folder) + QStringLiteral(".progress.a"),
                                    WorkFilePath(stopped.folder) + QStringLiteral(".progress.b")})
            QVERIFY(QFile::remove(slot));
    } else if (tornTo >= 0) {
        for (const QString &slot : {WorkFilePath(stopped.folder) + QStringLiteral(".progress.a"),
                                    WorkFilePath(stopped.folder) + QStringLiteral(".progress.b")}) {
            QFile file(slot);
            QVERIFY(file.open(QIODevice::ReadWrite));
            const int first = (failingSave - 1) * sliceRows;
            const QByteArray range = "\n" + QByteArray::number(first) + "\n" + QByteArray::number(first + sliceRows) + "\n";
            if (file.readAll().contains(range))
                QVERIFY(file.resize(tornTo));
        }
    }

    const Restarted restarted(stopped.cacheFile());

    QStringList expected;
    for (int index : inCache)
        expected.append(CutBarcode(index) + QLatin1Char('|') + LongCommand(index).second);
    QStringList rows = CacheRows::InFile(stopped.cacheFile());
    rows.sort();
    expected.sort();
    QCOMPARE(rows, expected);
    QCOMPARE(restarted.memo.lines.filter(QStringLiteral("Retomada")), logged.isEmpty() ? QStringList{} : QStringList{logged});
    QVERIFY(QDir(stopped.folder.path()).entryList({QStringLiteral("XML*")}, QDir::Files | QDir::Hidden).isEmpty());
}

void CollectorTest::backlogStoppedMidBatchIsAppliedOnce_data()
{
    QTest::addColumn<Platform::FileOperation>("operation");
    QTest::addColumn<QString>("pathEnd");
    QTest::addColumn<int>("occurrence");
    QTest::newRow("claim's record of the fourth file") << Platform::FileOperation::Flush << ".progress.b" << 2;
    QTest::newRow("the batch's save") << Platform::FileOperation::Open << "" << 1;
    QTest::newRow("work file of the second file left") << Platform::FileOperation::Delete << "Integração" << 2;
}

// Six small command files make one batch. The run stops where a file
// operation fails, as a kill there would leave the disk, and the program
// starts again on it: every command reaches data.cds once, without doubt.
void CollectorTest::backlogStoppedMidBatchIsAppliedOnce()
{
    QFETCH(Platform::FileOperation, operation);
    QFETCH(QString, pathEnd);
    QFETCH(int, occurrence);
    QStringList expected;
    Rig stopped;
    stopped.cache.Table().SaveToFile(stopped.cacheFile(), dfBinary);
    for (int file = 0; file < 6; ++file) {
        Drop(stopped.folder, QStringLiteral("f%1.xml").arg(file), Commands({LongCommand(file * 2), LongCommand(file * 2 + 1)}));
        for (int index : {file * 2, file * 2 + 1})
            expected.append(CutBarcode(index) + QLatin1Char('|') + LongCommand(index).second);
    }
    int seen = 0;
    Platform::SetFaultHookForTests([&](Platform::FileOperation happening, const QString &path) {
        const bool matches = happening == operation && (pathEnd.isEmpty() ? IsCacheSave(path) : path.endsWith(pathEnd));
        return matches && ++seen == occurrence;
    });
    try {
        stopped.collector.ThisOnTimer(nullptr);
    } catch (const Exception &) {
        // The stop itself: what matters is what it left on disk.
    }
    Platform::SetFaultHookForTests(nullptr);
    QVERIFY(seen >= occurrence);

    Restarted restarted(stopped.cacheFile());
    restarted.collector.ThisOnTimer(nullptr);

    QStringList rows = CacheRows::InFile(stopped.cacheFile());
    rows.sort();
    expected.sort();
    QCOMPARE(rows, expected);
    QCOMPARE(restarted.memo.lines.filter(QStringLiteral("Retomada")), QStringList{});
    QVERIFY(EntriesLeft(stopped.folder).isEmpty());
    QVERIFY(QDir(stopped.folder.path()).entryList({QStringLiteral("XML*")}, QDir::Files | QDir::Hidden).isEmpty());
}

// A stop between the work file's deletion and its record's leaves a record
// naming a work file that is gone; a command file of the same content and
// time dropped later must still be applied whole.
void CollectorTest::recordWithoutWorkFileIsForgottenAtStart()
{
    Rig rig;
    const QString dropped = Drop(rig.folder, QStringLiteral("a.xml"), Commands({{"R1", "C"}, {"R2", "L"}}));
    IntakeProgress(WorkFilePath(rig.folder) + QStringLiteral(".progress"))
        .Record(IdentityOfFile(dropped), 2, 2, "settled", "settled");

    rig.collector.RetomaTrabalho();
    rig.collector.ThisOnTimer(nullptr);

    QCOMPARE(CacheRows::InFile(rig.cacheFile()), (QStringList{"R2|L", "R1|C"}));
    QVERIFY(QDir(rig.folder.path()).entryList({QStringLiteral("XML*")}, QDir::Files | QDir::Hidden).isEmpty());
}

void CollectorTest::drainsInTurnsOfTheEventLoop_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("rowsPerFile");
    QTest::newRow("a backlog of one-row files") << 120 << 1;
    QTest::newRow("one large file") << 1 << 3000;
    QTest::newRow("a backlog of large files") << 3 << 700;
}

// Driven by its timer with turns that end after every slice, the collector
// leaves the event loop free between slices and between command files, and
// every command still reaches data.cds exactly once, in order.
void CollectorTest::drainsInTurnsOfTheEventLoop()
{
    QFETCH(int, files);
    QFETCH(int, rowsPerFile);
    Rig rig;
    rig.collector.SetTurnBudgetMs(0);
    QStringList expected;
    for (int file = 0; file < files; ++file) {
        QList<Command> commands;
        for (int row = 0; row < rowsPerFile; ++row) {
            const int index = file * rowsPerFile + row;
            commands.append({QStringLiteral("T%1").arg(index, 6, 10, QLatin1Char('0')), index % 3 ? "C" : "L"});
            expected.append(commands.last().first + QLatin1Char('|') + commands.last().second);
        }
        Drop(rig.folder, QStringLiteral("f%1.xml").arg(file, 4, 10, QLatin1Char('0')), Commands(commands));
    }
    int turnsWhileDraining = 0;
    QTimer probe;
    connect(&probe, &QTimer::timeout, [&] {
        const int applied = rig.cache.Table().RecordCount();
        turnsWhileDraining += applied > 0 && applied < files * rowsPerFile;
    });
    probe.start(0);
    rig.collector.get_Timmer()->start();

    QTRY_VERIFY_WITH_TIMEOUT(EntriesLeft(rig.folder).isEmpty() && !QFile::exists(WorkFilePath(rig.folder)), 120000);
    QVERIFY(turnsWhileDraining > 0);
    QStringList rows = CacheRows::InFile(rig.cacheFile());
    rows.sort();
    QCOMPARE(rows, expected);
    QCOMPARE(rig.collector.PendingCount(), 0);
    QVERIFY(QDir(rig.folder.path()).entryList({QStringLiteral("XML*")}, QDir::Files | QDir::Hidden).isEmpty());
}

void CollectorTest::pendingWithoutCacheIsAnError()
{
    Rig rig;
    rig.collector.SetFonte_Dados(nullptr);
    Drop(rig.folder, QStringLiteral("a.xml"), Commands({{"A", "L"}}));

    QVERIFY_THROWS_EXCEPTION(Exception, rig.collector.ThisOnTimer(nullptr));
    QCOMPARE(rig.collector.PendingCount(), 1);

    rig.collector.SetFonte_Dados(&rig.cache.Table());
    rig.collector.ThisOnTimer(nullptr);
    QCOMPARE(CacheRows::InFile(rig.cacheFile()), QStringList{"A|L"});
}

void CollectorTest::timerTicksOnlyOnceEnabled()
{
    Rig rig;
    Drop(rig.folder, QStringLiteral("a.xml"), Commands({{"A", "L"}}));

    QTest::qWait(1300);
    QCOMPARE(rig.memo.lines, QStringList{});
    QCOMPARE(EntriesLeft(rig.folder), QStringList{"a.xml"});

    rig.collector.get_Timmer()->start();
    QTRY_COMPARE_WITH_TIMEOUT(rig.memo.lines.size(), 1, 5000);
    QCOMPARE(CacheRows::InFile(rig.cacheFile()), QStringList{"A|L"});
    QCOMPARE(EntriesLeft(rig.folder), QStringList{});
}

// The failing tick's report stays open, as its error box would, through
// several more failing ticks; the disk then recovers while it is still open.
void CollectorTest::failingTickIsReportedOnceAndTicksGoOnUnderItsBox()
{
    Rig rig;
    QStringList reported;
    QList<HandlerGuard::Source> sources;
    QStringList states;
    bool appliedUnderTheBox = false;
    rig.collector.SetIntakeStateHandler([&](const QString &failure) { states.append(failure); });
    HandlerGuard::SetReporter([&](const QString &message, HandlerGuard::Source source) {
        reported.append(message);
        sources.append(source);
        if (reported.size() > 1)
            return;
        QTest::qWait(2500);
        Platform::SetFaultHookForTests(nullptr);
        appliedUnderTheBox = QTest::qWaitFor(
            [&] { return rig.collector.PendingCount() == 0 && EntriesLeft(rig.folder).isEmpty(); }, 5000);
    });
    Platform::SetFaultHookForTests([](Platform::FileOperation operation, const QString &path) {
        return operation == Platform::FileOperation::Open && IsCacheSave(path);
    });
    Drop(rig.folder, QStringLiteral("a.xml"), Commands({{"A", "L"}}));
    rig.collector.get_Timmer()->start();

    QTRY_VERIFY_WITH_TIMEOUT(appliedUnderTheBox, 15000);
    QCOMPARE(reported.size(), 1);
    QVERIFY(reported.first().startsWith(QStringLiteral("Cannot create file \"%1\".").arg(rig.cacheFile())));
    QCOMPARE(sources.first(), HandlerGuard::Source::Tick);
    QCOMPARE(states.size(), 2);
    QCOMPARE(states.first(), reported.first());
    QCOMPARE(states.last(), QString());
    QVERIFY(rig.collector.get_Timmer()->isActive());
    QCOMPARE(CacheRows::InFile(rig.cacheFile()), QStringList{"A|L"});
}

QTEST_MAIN(CollectorTest)
#include "test_collector.moc"
