// The journal on disk of gate decisions and applied commands.
#include "app/MemoLines.h"
#include "app/journal/GateJournal.h"
#include "app/uEmulador.h"
#include "cache/base/Platform.h"
#include "intake/uThreadsXML.h"
#include "tests/support/CacheRows.h"
#include "tests/support/Child.h"
#include "tests/support/CommandFiles.h"
#include "tests/support/ModalBoxCatcher.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

using namespace Catraca;

using Outcome = GateJournal::Outcome;

namespace {

const QDateTime Night(QDate(2026, 12, 10), QTime(2, 14, 5, 123));
const QString ChildMode = QStringLiteral("--append-forever");

QString JournalFolder(const ProgramFolderFixture &folder)
{
    return folder.file(GateJournal::FolderName);
}

QByteArray ReadOrEmpty(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Appends released lines until killed: the other side of the kill test.
[[noreturn]] void AppendForever(const QString &folder)
{
    GateJournal journal(folder, [] { return Night; });
    for (int count = 0;; ++count)
        journal.Decision(Outcome::Released, QStringLiteral("B%1").arg(count) + QString(200, QLatin1Char('x')),
                         QStringLiteral("L"));
}

}  // namespace

class GateJournalTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { Platform::SetFaultHookForTests(nullptr); }
    void lines_data();
    void lines();
    void dayChangesAtMidnight();
    void tornTailIsCutOff_data();
    void tornTailIsCutOff();
    void killLeavesOnlyWholeLines();
    void failingJournalKeepsLinesAndResumes_data();
    void failingJournalKeepsLinesAndResumes();
    void gateDecisionIsOnDiskBeforeTheMemo();
    void gateAndIntakeGoOnWithoutJournal();
};

void GateJournalTest::lines_data()
{
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("barcode");
    QTest::addColumn<QString>("event");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("released") << int(Outcome::Released) << "0042" << "L" << "" << QByteArray("released,0042,L,");
    QTest::newRow("blocked") << int(Outcome::Blocked) << "0042" << "C" << "" << QByteArray("blocked,0042,C,");
    QTest::newRow("not registered") << int(Outcome::NotRegistered) << "9999" << "" << ""
                                    << QByteArray("not registered,9999,,");
    QTest::newRow("other event") << int(Outcome::OtherEvent) << "7" << "X" << "" << QByteArray("other event,7,X,");
    QTest::newRow("command applied") << int(Outcome::CommandApplied) << "A1" << "L" << "c.xml"
                                     << QByteArray("command applied,A1,L,c.xml");
    QTest::newRow("command file refused") << int(Outcome::FileRefused) << "" << "" << "bad.xml"
                                          << QByteArray("command file refused,,,bad.xml");
    QTest::newRow("comma and quote quoted") << int(Outcome::CommandApplied) << "a,b" << "" << "say \"hi\".xml"
                                            << QByteArray("command applied,\"a,b\",,\"say \"\"hi\"\".xml\"");
    QTest::newRow("line breaks quoted") << int(Outcome::NotRegistered) << "a\r\nb" << "" << ""
                                        << QByteArray("not registered,\"a\r\nb\",,");
    QTest::newRow("UTF-8") << int(Outcome::CommandApplied) << "ção" << "L" << "ñ.xml"
                           << QByteArray("command applied,\xc3\xa7\xc3\xa3o,L,\xc3\xb1.xml");
}

void GateJournalTest::lines()
{
    QFETCH(int, outcome);
    QFETCH(QString, barcode);
    QFETCH(QString, event);
    QFETCH(QString, file);
    QFETCH(QByteArray, line);
    ProgramFolderFixture folder;
    GateJournal journal(JournalFolder(folder), [] { return Night; });

    if (Outcome(outcome) == Outcome::CommandApplied) {
        journal.CommandApplied(file, barcode, event);
        QVERIFY(!QFile::exists(journal.FileFor(Night.date())));
        journal.Flush();
    } else if (Outcome(outcome) == Outcome::FileRefused) {
        journal.FileRefused(file);
        journal.Flush();
    } else {
        journal.Decision(Outcome(outcome), barcode, event);
    }

    QCOMPARE(journal.FileFor(Night.date()),
             JournalFolder(folder) + Platform::PathSeparator() + QStringLiteral("2026-12-10.csv"));
    QCOMPARE(ReadOrEmpty(journal.FileFor(Night.date())),
             GateJournal::Header + "2026-12-10 02:14:05.123," + line + "\n");
}

// A command read before midnight but flushed after it belongs to the day it
// was applied on.
void GateJournalTest::dayChangesAtMidnight()
{
    ProgramFolderFixture folder;
    const QDate day(2026, 12, 31);
    QList<QDateTime> times{QDateTime(day, QTime(23, 59, 59, 998)), QDateTime(day, QTime(23, 59, 59, 999)),
                           QDateTime(day.addDays(1), QTime(0, 0))};
    GateJournal journal(JournalFolder(folder), [&times] { return times.takeFirst(); });

    journal.CommandApplied(QStringLiteral("c.xml"), QStringLiteral("A1"), QStringLiteral("L"));
    journal.Decision(Outcome::Blocked, QStringLiteral("B2"), QStringLiteral("C"));
    journal.Decision(Outcome::Released, QStringLiteral("A1"), QStringLiteral("L"));

    QCOMPARE(ReadOrEmpty(journal.FileFor(day)),
             GateJournal::Header + "2026-12-31 23:59:59.998,command applied,A1,L,c.xml\n"
                 + "2026-12-31 23:59:59.999,blocked,B2,C,\n");
    QCOMPARE(ReadOrEmpty(journal.FileFor(day.addDays(1))),
             GateJournal::Header + "2027-01-01 00:00:00.000,released,A1,L,\n");
}

void GateJournalTest::tornTailIsCutOff_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("kept");

    const QByteArray whole = GateJournal::Header + "2026-12-10 01:00:00.000,blocked,1,C,\n";
    QTest::newRow("torn last line") << whole + "2026-12-10 01:00:01.000,rele" << whole;
    QTest::newRow("torn header") << QByteArray("time,outc") << GateJournal::Header;
    QTest::newRow("whole file") << whole << whole;
    QTest::newRow("empty file") << QByteArray() << GateJournal::Header;
}

void GateJournalTest::tornTailIsCutOff()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, kept);
    ProgramFolderFixture folder;
    GateJournal journal(JournalFolder(folder), [] { return Night; });
    QVERIFY(QDir().mkpath(JournalFolder(folder)));
    QFile file(journal.FileFor(Night.date()));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(before) == before.size());
    file.close();

    journal.Decision(Outcome::Released, QStringLiteral("0042"), QStringLiteral("L"));

    QCOMPARE(ReadOrEmpty(file.fileName()), kept + "2026-12-10 02:14:05.123,released,0042,L,\n");
}

void GateJournalTest::killLeavesOnlyWholeLines()
{
    ProgramFolderFixture folder;
    const QString journalFolder = JournalFolder(folder);
    GateJournal journal(journalFolder, [] { return Night; });
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {ChildMode, journalFolder});
    QVERIFY(child.waitForStarted());
    const QString day = journal.FileFor(Night.date());
    QTRY_VERIFY_WITH_TIMEOUT(Platform::FileSize(day) > 64 * 1024, 60000);
    child.kill();  // SIGKILL: no chance to finish the line being written
    QVERIFY(child.waitForFinished());

    journal.Decision(Outcome::Blocked, QStringLiteral("after"), QStringLiteral("C"));

    const QList<QByteArray> lines = ReadOrEmpty(day).split('\n');
    QCOMPARE(lines.first() + '\n', GateJournal::Header);
    QVERIFY(lines.last().isEmpty());
    const QRegularExpression released(QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3},released,B\d+x{200},L,$)"));
    for (qsizetype index = 1; index < lines.size() - 2; ++index)
        QVERIFY2(released.match(QString::fromUtf8(lines[index])).hasMatch(), lines[index].constData());
    QVERIFY(lines[lines.size() - 2].endsWith(",blocked,after,C,"));
}

void GateJournalTest::failingJournalKeepsLinesAndResumes_data()
{
    QTest::addColumn<int>("operation");
    QTest::newRow("cannot open") << int(Platform::FileOperation::Open);
    QTest::newRow("cannot write") << int(Platform::FileOperation::Write);
    QTest::newRow("cannot flush what was written") << int(Platform::FileOperation::Flush);
}

void GateJournalTest::failingJournalKeepsLinesAndResumes()
{
    QFETCH(int, operation);
    ProgramFolderFixture folder;
    GateJournal journal(JournalFolder(folder), [] { return Night; });
    QStringList states;
    journal.SetStateHandler([&states](const QString &error) { states.append(error); });
    journal.Decision(Outcome::Released, QStringLiteral("before"), QStringLiteral("L"));
    Platform::SetFaultHookForTests([operation](Platform::FileOperation done, const QString &path) {
        return int(done) == operation && path.endsWith(QStringLiteral(".csv"));
    });

    journal.Decision(Outcome::Blocked, QStringLiteral("1"), QStringLiteral("C"));
    journal.CommandApplied(QStringLiteral("c.xml"), QStringLiteral("2"), QStringLiteral("L"));
    journal.Flush();
    journal.Decision(Outcome::NotRegistered, QStringLiteral("3"), QString());

    QCOMPARE(states.size(), 1);
    QVERIFY2(states.first().contains(QStringLiteral("2026-12-10.csv")), qPrintable(states.first()));
    QVERIFY(journal.Failing());
    QCOMPARE(journal.PendingLines(), 3);
    Platform::SetFaultHookForTests(nullptr);

    journal.Decision(Outcome::Released, QStringLiteral("4"), QStringLiteral("L"));

    QCOMPARE(states, (QStringList{states.first(), QString()}));
    QCOMPARE(ReadOrEmpty(journal.FileFor(Night.date())),
             GateJournal::Header + "2026-12-10 02:14:05.123,released,before,L,\n"
                 + "2026-12-10 02:14:05.123,blocked,1,C,\n" + "2026-12-10 02:14:05.123,command applied,2,L,c.xml\n"
                 + "2026-12-10 02:14:05.123,not registered,3,,\n" + "2026-12-10 02:14:05.123,released,4,L,\n");
}

void GateJournalTest::gateDecisionIsOnDiskBeforeTheMemo()
{
    ProgramFolderFixture folder;
    CacheRows::Write(folder, {"0042|L"});
    ModalBoxCatcher catcher;
    T_FrmEmulador window;
    QStringList journalAtMemo;
    connect(Child<QPlainTextEdit>(&window, "MmEventoSaida"), &QPlainTextEdit::textChanged, this, [&] {
        journalAtMemo.append(QString::fromUtf8(ReadOrEmpty(window.Journal().FileFor(QDate::currentDate()))));
    });

    QLineEdit *barcodeBox = Child<QLineEdit>(&window, "_editCodigoBarra");
    barcodeBox->setText(QStringLiteral("0042"));
    QTest::keyClick(barcodeBox, Qt::Key_Return);

    QVERIFY(!journalAtMemo.isEmpty());
    QVERIFY2(journalAtMemo.first().contains(QStringLiteral(",released,0042,L,\n")), qPrintable(journalAtMemo.first()));
    QVERIFY(catcher.caught().isEmpty());
}

// A plain file where the journal's folder should be: nothing can be written
// there, whoever runs the test.
void GateJournalTest::gateAndIntakeGoOnWithoutJournal()
{
    ProgramFolderFixture folder;
    CacheRows::Write(folder, {"0042|L", "0043|C"});
    folder.write(GateJournal::FolderName, QByteArray("in the way"));
    ModalBoxCatcher catcher;
    T_FrmEmulador window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.Collector()->get_Timmer()->stop();
    QLineEdit *barcodeBox = Child<QLineEdit>(&window, "_editCodigoBarra");
    auto scan = [barcodeBox](const QString &barcode) {
        barcodeBox->setText(barcode);
        QTest::keyClick(barcodeBox, Qt::Key_Return);
    };

    scan(QStringLiteral("0042"));
    const QString failing = window.JournalStatus()->text();
    scan(QStringLiteral("0043"));
    CommandFiles::Drop(folder, QStringLiteral("c.xml"), CommandFiles::Commands({{QStringLiteral("0050"), QStringLiteral("L")}}));
    CommandFiles::Drop(folder, QStringLiteral("d.xml"), QByteArray("not a packet"));
    window.Collector()->ThisOnTimer(nullptr);
    scan(QStringLiteral("9999"));

    QVERIFY(catcher.caught().isEmpty());
    QCOMPARE(CacheRows::InFile(window.Path()), (QStringList{QStringLiteral("0050|L"), QStringLiteral("0043|C")}));
    QCOMPARE(MemoLines::Lines(Child<QPlainTextEdit>(&window, "MmEventoSaida")).size(), 9);
    QVERIFY(window.JournalStatus()->isVisible());
    QVERIFY2(failing.contains(GateJournal::FolderName), qPrintable(failing));
    QCOMPARE(window.JournalStatus()->text(), failing);
    QCOMPARE(window.Journal().PendingLines(), 5);

    QVERIFY(QFile::remove(folder.file(GateJournal::FolderName)));
    scan(QStringLiteral("0043"));

    QVERIFY(!window.JournalStatus()->isVisible());
    QStringList outcomes;
    for (const QByteArray &line : ReadOrEmpty(window.Journal().FileFor(QDate::currentDate())).split('\n').mid(1))
        outcomes.append(QString::fromUtf8(line).section(QLatin1Char(','), 1));
    QCOMPARE(outcomes, (QStringList{"released,0042,L,", "blocked,0043,C,", "command applied,0050,L,c.xml",
                                    "command file refused,,,d.xml", "not registered,9999,,", "blocked,0043,C,", ""}));
}

int main(int argc, char **argv)
{
    if (argc == 3 && QString::fromLocal8Bit(argv[1]) == ChildMode) {
        QCoreApplication app(argc, argv);
        AppendForever(QString::fromLocal8Bit(argv[2]));
    }
    QApplication app(argc, argv);
    GateJournalTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_gate_journal.moc"
