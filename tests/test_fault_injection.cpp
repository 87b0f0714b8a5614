// Every file operation of a save, of a tick that applies three commands and of
// a pass that claims two command files is made to fail in turn. After each
// failure the error must reach the caller as the right exception, data.cds
// must hold a whole table (the one before or one after a command), and every
// command must be either applied or still waiting; further ticks without
// faults must then reach exactly the table a run without faults reaches.
#include "cache/table/ClientDataSet.h"
#include "cache/base/Exceptions.h"
#include "cache/table/Field.h"
#include "cache/base/Platform.h"
#include "cache/ReleaseCache.h"
#include "intake/LogLines.h"
#include "intake/uThreadsXML.h"
#include "tests/support/CacheRows.h"
#include "tests/support/CommandFiles.h"
#include "tests/support/RecordingLog.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

#include <memory>
#include <optional>

using namespace Catraca;

using namespace CommandFiles;

namespace {


enum class Scenario { Save, TickOfThree, PassOfTwoFiles };

QString OperationName(Platform::FileOperation operation)
{
    switch (operation) {
    case Platform::FileOperation::Open: return QStringLiteral("open");
    case Platform::FileOperation::Write: return QStringLiteral("write");
    case Platform::FileOperation::Flush: return QStringLiteral("flush");
    case Platform::FileOperation::Rename: return QStringLiteral("rename");
    case Platform::FileOperation::Delete: return QStringLiteral("delete");
    }
    return QStringLiteral("?");
}

// Counts file operations and makes the one numbered failAt fail (0: none).
class FaultPlan {
public:
    explicit FaultPlan(int failAt) : failAt_(failAt)
    {
        Platform::SetFaultHookForTests([this](Platform::FileOperation operation, const QString &path) {
            ++count_;
            operations_.append(OperationName(operation) + QLatin1Char(' ') + QFileInfo(path).fileName());
            if (count_ == failAt_)
                failedOn_ = path;
            return count_ == failAt_;
        });
    }
    ~FaultPlan() { Platform::SetFaultHookForTests(nullptr); }
    FaultPlan(const FaultPlan &) = delete;
    FaultPlan &operator=(const FaultPlan &) = delete;

    int Count() const { return count_; }
    const QStringList &Operations() const { return operations_; }
    bool Fired() const { return failedOn_.has_value(); }
    QString FailedOn() const { return failedOn_.value_or(QString()); }

private:
    int failAt_;
    int count_ = 0;
    QStringList operations_;
    std::optional<QString> failedOn_;
};

void PutRow(TClientDataSet &table, const QString &barcode, const QString &event)
{
    if (table.Locate(QStringLiteral("COD_BARRA"), barcode, loCaseInsensitive | loPartialKey))
        table.Edit();
    else
        table.Insert();
    table.FieldByName(QStringLiteral("COD_BARRA"))->SetAsString(barcode);
    table.FieldByName(QStringLiteral("EVENTO"))->SetAsString(event);
    table.Post();
}

// The commands of the tick and pass scenarios. The last one's barcode is
// longer than the column, so it never matches its own row: applying it twice
// would leave two rows, and a command applied twice shows in the table.
const QList<Command> FirstFile{{"A1", "L"}, {"B2", "C"}, {"LONGBARCODE-13", "L"}};
const QList<Command> SecondFile{{"C3", "C"}, {"A1", "C"}};

// The program folder, the release cache loaded from data.cds as at start-up,
// and the collector as the main window sets it up.
struct Rig {
    Rig()
    {
        ReleaseCache seed;
        PutRow(seed.Table(), QStringLiteral("A1"), QStringLiteral("C"));
        PutRow(seed.Table(), QStringLiteral("Z9"), QStringLiteral("L"));
        seed.Table().SaveToFile(cacheFile(), dfBinary);
        cache.Table().Close();
        cache.Table().LoadFromFile(cacheFile());
        collector.SetFonte_Dados(&cache.Table());
        collector.SetPathXML(folder.file(QStringLiteral("XML")) + Platform::PathSeparator());
        collector.IniciarColeta();
        collector.SetMemoLog(&memo);
    }
    QString cacheFile() const { return folder.file(QStringLiteral("data.cds")); }

    ProgramFolderFixture folder;
    ReleaseCache cache;
    RecordingLog memo;
    ProcessoXML collector;
};

void Prepare(Rig &rig, Scenario scenario)
{
    if (scenario == Scenario::Save) {
        PutRow(rig.cache.Table(), QStringLiteral("N1"), QStringLiteral("C"));
        return;
    }
    Drop(rig.folder, QStringLiteral("a.xml"), Commands(FirstFile));
    if (scenario == Scenario::PassOfTwoFiles)
        Drop(rig.folder, QStringLiteral("b.xml"), Commands(SecondFile));
}

void Run(Rig &rig, Scenario scenario)
{
    if (scenario == Scenario::Save)
        rig.cache.Table().SaveToFile(rig.cacheFile(), dfBinary);
    else
        rig.collector.ThisOnTimer(nullptr);
}

// The whole tables data.cds may hold after the scenario, from none of its
// changes to all of them, each as the release cache loads it. Each is built
// afresh: reading a table's rows moves its cursor, and the cursor decides
// where the next new row goes. A file whose claim failed stays for a later
// pass while the pass moves on, so the second file then comes first.
QList<QStringList> AllowedTables(Scenario scenario, bool firstClaimFailed)
{
    QList<Command> commands;
    if (scenario == Scenario::Save)
        commands = {{"N1", "C"}};
    else if (scenario == Scenario::TickOfThree)
        commands = FirstFile;
    else if (firstClaimFailed)
        commands = SecondFile + FirstFile;
    else
        commands = FirstFile + SecondFile;
    QList<QStringList> tables;
    for (qsizetype applied = 0; applied <= commands.size(); ++applied) {
        ReleaseCache cache;
        PutRow(cache.Table(), QStringLiteral("A1"), QStringLiteral("C"));
        PutRow(cache.Table(), QStringLiteral("Z9"), QStringLiteral("L"));
        cache.Table().First();  // where a load leaves the cursor
        for (qsizetype index = 0; index < applied; ++index)
            PutRow(cache.Table(), commands.at(index).first, commands.at(index).second);
        tables.append(CacheRows::Of(cache.Table(), CacheRows::kWithIds));
    }
    return tables;
}

int CommandCount(Scenario scenario)
{
    switch (scenario) {
    case Scenario::Save: return 1;
    case Scenario::TickOfThree: return int(FirstFile.size());
    case Scenario::PassOfTwoFiles: return int(FirstFile.size() + SecondFile.size());
    }
    return 0;
}

// Commands still held somewhere for a later tick: in the folder XML, in the
// work file, or in the collector's queue.
int WaitingCommands(const Rig &rig)
{
    int waiting = rig.collector.PendingCount();
    QStringList files;
    const QDir xml(CommandFolder(rig.folder));
    for (const QString &name : xml.entryList(QDir::Files | QDir::Hidden))
        files.append(xml.filePath(name));
    if (QFileInfo::exists(WorkFilePath(rig.folder)))
        files.append(WorkFilePath(rig.folder));
    for (const QString &file : files) {
        TClientDataSet table;
        table.LoadFromFile(file);
        waiting += table.RecordCount();
    }
    return waiting;
}

// A durable save writes a temporary file beside its target, renames it over
// the target and syncs the folder.
bool IsPartOfDurableSave(const QString &path, const Rig &rig)
{
    return QFileInfo(path).fileName().contains(QStringLiteral(".tmp-")) || QDir(path) == QDir(rig.folder.path());
}

// The files a failure raised out of a tick or a save may name: data.cds, and
// the reader's work file and the two slots of the note of how far it was
// applied.
bool NamesOneOfOurFiles(const QString &message, const Rig &rig)
{
    const QString workFile = WorkFilePath(rig.folder);
    for (const QString &file : {rig.cacheFile(), workFile, workFile + QStringLiteral(".progress.a"),
                                workFile + QStringLiteral(".progress.b")}) {
        for (const QString &start : {QStringLiteral("Cannot create file \"%1\". "), QStringLiteral("Cannot open file \"%1\". ")}) {
            const QString expected = start.arg(file);
            if (message.startsWith(expected) && message.size() > expected.size())
                return true;
        }
    }
    return false;
}

QString ScenarioName(Scenario scenario)
{
    switch (scenario) {
    case Scenario::Save: return QStringLiteral("save");
    case Scenario::TickOfThree: return QStringLiteral("tick of three");
    case Scenario::PassOfTwoFiles: return QStringLiteral("pass of two files");
    }
    return {};
}

}  // namespace

Q_DECLARE_METATYPE(Scenario)

class FaultInjectionTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { Platform::SetFaultHookForTests(nullptr); }

    void everyOperationFailsInTurn_data();
    void everyOperationFailsInTurn();
};

void FaultInjectionTest::everyOperationFailsInTurn_data()
{
    QTest::addColumn<Scenario>("scenario");
    QTest::addColumn<int>("failAt");

    for (Scenario scenario : {Scenario::Save, Scenario::TickOfThree, Scenario::PassOfTwoFiles}) {
        QStringList operations;
        {
            Rig rig;
            Prepare(rig, scenario);
            FaultPlan counting(0);
            Run(rig, scenario);
            operations = counting.Operations();
        }
        QVERIFY2(!operations.isEmpty(), qPrintable(ScenarioName(scenario)));
        QTest::addRow("%s: no fault", qPrintable(ScenarioName(scenario))) << scenario << 0;
        for (int index = 0; index < operations.size(); ++index)
            QTest::addRow("%s: %d of %d, %s", qPrintable(ScenarioName(scenario)), index + 1, int(operations.size()),
                          qPrintable(operations.at(index)))
                << scenario << index + 1;
    }
}

void FaultInjectionTest::everyOperationFailsInTurn()
{
    QFETCH(Scenario, scenario);
    QFETCH(int, failAt);
    Rig rig;
    Prepare(rig, scenario);

    std::optional<QString> raised;
    bool fired = false;
    QString failedOn;
    {
        FaultPlan plan(failAt);
        try {
            Run(rig, scenario);
        } catch (const EFCreateError &error) {
            raised = error.Message();
        } catch (const EFOpenError &error) {
            raised = error.Message();
        }
        fired = plan.Fired();
        failedOn = plan.FailedOn();
    }
    QCOMPARE(fired, failAt != 0);
    const bool firstClaimFailed = fired && failedOn == CommandFolder(rig.folder) + Platform::PathSeparator() + "a.xml";
    const QList<QStringList> allowed = AllowedTables(scenario, firstClaimFailed);

    // A failure reaches the caller as a file error naming the file; only a
    // failure the reader handles itself (a claim, the read or the deletion
    // of a command file) may end without one, and a failed save never does.
    if (raised)
        QVERIFY2(fired && NamesOneOfOurFiles(*raised, rig), qPrintable(*raised));
    if (fired && IsPartOfDurableSave(failedOn, rig))
        QVERIFY2(raised.has_value(), qPrintable(QStringLiteral("a failed save on %1 was reported as success").arg(failedOn)));

    // data.cds holds one whole table: before, between or after the commands.
    const QStringList saved = CacheRows::InFile(rig.cacheFile(), CacheRows::kWithIds);
    // A command that changes nothing leaves the same table: count the furthest.
    const int savedIndex = int(allowed.lastIndexOf(saved));
    QVERIFY2(savedIndex >= 0, qPrintable(saved.join(QLatin1Char(' ')) + QStringLiteral(" is none of: ")
                                         + [&] { QStringList all; for (const QStringList &table : allowed) all.append(table.join(QLatin1Char(' '))); return all.join(QStringLiteral(" / ")); }()));
    const QStringList leftBeside = QDir(rig.folder.path()).entryList(QDir::Files | QDir::Hidden);
    QVERIFY2(!leftBeside.join(QLatin1Char(' ')).contains(QStringLiteral(".tmp")), qPrintable(leftBeside.join(QLatin1Char(' '))));

    // A save that reported success wrote the new table; one that failed may
    // have failed after the new table was in place (the folder sync).
    if (scenario == Scenario::Save) {
        if (!raised)
            QCOMPARE(savedIndex, 1);
        return;
    }

    // Every command not in data.cds is still waiting somewhere.
    QVERIFY2(savedIndex + WaitingCommands(rig) >= CommandCount(scenario),
             qPrintable(QStringLiteral("%1 saved, %2 waiting").arg(savedIndex).arg(WaitingCommands(rig))));

    for (int tick = 0; tick < 3; ++tick)
        rig.collector.ThisOnTimer(nullptr);
    QCOMPARE(CacheRows::Of(rig.cache.Table(), CacheRows::kWithIds), allowed.last());
    QCOMPARE(CacheRows::InFile(rig.cacheFile(), CacheRows::kWithIds), allowed.last());
    QCOMPARE(WaitingCommands(rig), 0);
}

QTEST_GUILESS_MAIN(FaultInjectionTest)
#include "test_fault_injection.moc"
