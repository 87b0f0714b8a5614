// The gate's decision on Enter in the barcode box.
#include "app/Colors.h"
#include "app/ErrorBox.h"
#include "app/MemoLines.h"
#include "app/TShape.h"
#include "app/uEmulador.h"
#include "cache/base/Platform.h"
#include "intake/uThreadsXML.h"
#include "tests/support/CacheRows.h"
#include "tests/support/CommandFiles.h"
#include "tests/support/Child.h"
#include "tests/support/ModalBoxCatcher.h"
#include "tests/support/TestSupport.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace Catraca;

namespace {

// A lamp colour no outcome sets, to see whether a check touched the lamp.
constexpr TColor Untouched = 0x00123456;

const QString Separator = QStringLiteral("===============================");
const QString Released = QStringLiteral("Comanda  Liberada com Sucesso :");
const QString Blocked = QStringLiteral("Comanda Bloqueada. Status de consumo, se encontra Ativo  :");
const QString NotRegistered = QStringLiteral("Comanda não cadastrada no sistema:");

QStringList CheckLines(const QString &messageLine)
{
    return {Separator, messageLine, Separator};
}

// A window started on a data.cds that holds the given rows, shown, with a
// catcher for every error box it raises.
struct Gate {
    explicit Gate(const QStringList &rows, bool writeCache = true)
    {
        if (writeCache)
            CacheRows::Write(folder, rows);
        catcher = std::make_unique<ModalBoxCatcher>();
        window = std::make_unique<T_FrmEmulador>();
        window->show();
        exposed = QTest::qWaitForWindowExposed(window.get());
        Lamp()->SetBrushColor(Untouched);
    }

    QString CacheFile() const { return folder.file(QStringLiteral("data.cds")); }
    QByteArray CacheBytes() const { return folder.read(QStringLiteral("data.cds")); }
    QLineEdit *Box() const { return Child<QLineEdit>(window.get(), "_editCodigoBarra"); }
    TShape *Lamp() const { return Child<TShape>(window.get(), "_Shape"); }
    QStringList OutputLines() const { return MemoLines::Lines(Child<QPlainTextEdit>(window.get(), "MmEventoSaida")); }

    void Type(const QString &text) const
    {
        Box()->setFocus();
        QTest::keyClicks(Box(), text);
    }

    void Enter(Qt::Key key = Qt::Key_Return, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const
    {
        QTest::keyClick(Box(), key, modifiers);
    }

    ProgramFolderFixture folder;
    bool exposed = false;
    std::unique_ptr<ModalBoxCatcher> catcher;
    std::unique_ptr<T_FrmEmulador> window;
};

// Makes every file operation in the folder fail while it lives.
class FailingFolder {
public:
    explicit FailingFolder(const QString &folder)
    {
        Platform::SetFaultHookForTests([folder](Platform::FileOperation operation, const QString &path) {
            return operation != Platform::FileOperation::Delete && path.startsWith(folder);
        });
    }
    ~FailingFolder() { Platform::SetFaultHookForTests({}); }
    FailingFolder(const FailingFolder &) = delete;
    FailingFolder &operator=(const FailingFolder &) = delete;
};

}  // namespace

class TestBarcodeCheck : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { ErrorBox::Install(); }

    void outcomes_data();
    void outcomes();
    void releasedCodeIsNotFoundAgain();
    void enterKeys_data();
    void enterKeys();
    void enterStillReachesTheBox();
    void everyAutoRepeatIsACheck();
    void closedCacheShowsTheErrorAndKeepsTheText();
    void failedSaveOnReleaseKeepsTextAndFile();
    void gateAndIntakeLastThroughAFullDisk();
    void memosKeepTheirNewestLines_data();
    void memosKeepTheirNewestLines();
};

void TestBarcodeCheck::outcomes_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<quint32>("lamp");
    QTest::addColumn<QString>("messageLine");  // empty: no lines at all
    QTest::addColumn<QStringList>("rowsAfter");
    QTest::addColumn<bool>("saved");

    QTest::newRow("released by its beginning")
        << QStringList{"12345|L"} << "12" << clLime << Released + "12" << QStringList{} << true;
    QTest::newRow("released between other rows")
        << QStringList{"0001|C", "0002|L", "0003|C"} << "0002" << clLime << Released + "0002"
        << QStringList{"0001|C", "0003|C"} << true;
    QTest::newRow("blocked, typed in another case")
        << QStringList{"ABC|C"} << "abc" << clRed << Blocked + "abc" << QStringList{"ABC|C"} << false;
    QTest::newRow("only the first row that begins with the text counts")
        << QStringList{"12345|C", "123|L"} << "123" << clRed << Blocked + "123" << QStringList{"12345|C", "123|L"}
        << false;
    QTest::newRow("not registered: leading blank is searched")
        << QStringList{"123|L"} << " 123" << clSilver << NotRegistered + " 123" << QStringList{"123|L"} << false;
    QTest::newRow("not registered: eleven characters")
        << QStringList{"ABCDEFGHIJ|L"} << "ABCDEFGHIJK" << clSilver << NotRegistered + "ABCDEFGHIJK"
        << QStringList{"ABCDEFGHIJ|L"} << false;
    QTest::newRow("not registered: empty box")
        << QStringList{"0001|L"} << "" << clSilver << NotRegistered << QStringList{"0001|L"} << false;
    QTest::newRow("lower-case event shows nothing")
        << QStringList{"777|l"} << "777" << Untouched << "" << QStringList{"777|l"} << false;
    QTest::newRow("empty event shows nothing")
        << QStringList{"778|"} << "778" << Untouched << "" << QStringList{"778|"} << false;
    QTest::newRow("other event shows nothing")
        << QStringList{"779|X"} << "779" << Untouched << "" << QStringList{"779|X"} << false;
}

void TestBarcodeCheck::outcomes()
{
    QFETCH(QStringList, rows);
    QFETCH(QString, typed);
    QFETCH(quint32, lamp);
    QFETCH(QString, messageLine);
    QFETCH(QStringList, rowsAfter);
    QFETCH(bool, saved);

    Gate gate(rows);
    QVERIFY(gate.exposed);
    const QByteArray fileBefore = gate.CacheBytes();
    gate.Type(typed);
    QCOMPARE(gate.Box()->text(), typed);
    gate.Enter();

    QCOMPARE(gate.catcher->caught().size(), 0);
    QCOMPARE(gate.Lamp()->BrushColor(), lamp);
    QCOMPARE(gate.OutputLines(), messageLine.isEmpty() ? QStringList{} : CheckLines(messageLine));
    QCOMPARE(gate.Box()->text(), QString());
    QCOMPARE(CacheRows::Of(gate.window->cdsEmulador), rowsAfter);
    QCOMPARE(gate.CacheBytes() != fileBefore, saved);
    QCOMPARE(CacheRows::InFile(gate.CacheFile()), saved ? rowsAfter : rows);
}

void TestBarcodeCheck::releasedCodeIsNotFoundAgain()
{
    Gate gate({"0001|L"});
    QVERIFY(gate.exposed);
    gate.Type("0001");
    gate.Enter();
    gate.Type("0001");
    gate.Enter();
    QCOMPARE(gate.OutputLines(), CheckLines(Released + "0001") + CheckLines(NotRegistered + "0001"));
    QCOMPARE(gate.Lamp()->BrushColor(), clSilver);
}

void TestBarcodeCheck::enterKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("checks");

    QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier) << true;
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << true;
    QTest::newRow("Shift+Return") << int(Qt::Key_Return) << int(Qt::ShiftModifier) << true;
    QTest::newRow("Ctrl+Return") << int(Qt::Key_Return) << int(Qt::ControlModifier) << true;
    QTest::newRow("Alt+Return") << int(Qt::Key_Return) << int(Qt::AltModifier) << true;
    QTest::newRow("Ctrl+Shift+keypad Enter")
        << int(Qt::Key_Enter) << int(Qt::ControlModifier | Qt::ShiftModifier | Qt::KeypadModifier) << true;
    QTest::newRow("a letter") << int(Qt::Key_A) << int(Qt::NoModifier) << false;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << int(Qt::NoModifier) << false;
    QTest::newRow("keypad digit") << int(Qt::Key_3) << int(Qt::KeypadModifier) << false;
}

void TestBarcodeCheck::enterKeys()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, checks);

    Gate gate({"0001|C"});
    QVERIFY(gate.exposed);
    gate.Type("0001");
    gate.Enter(Qt::Key(key), Qt::KeyboardModifiers(modifiers));

    QCOMPARE(gate.Lamp()->BrushColor(), checks ? clRed : Untouched);
    QCOMPARE(gate.OutputLines(), checks ? CheckLines(Blocked + "0001") : QStringList{});
    if (checks)
        QCOMPARE(gate.Box()->text(), QString());
    else
        QVERIFY(gate.Box()->text().startsWith(QStringLiteral("0001")));
}

void TestBarcodeCheck::enterStillReachesTheBox()
{
    Gate gate({"0001|C"});
    QVERIFY(gate.exposed);
    QSignalSpy returnPressed(gate.Box(), &QLineEdit::returnPressed);
    gate.Type("0001");
    gate.Enter();
    gate.Enter(Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(returnPressed.count(), 2);
}

void TestBarcodeCheck::everyAutoRepeatIsACheck()
{
    Gate gate({"0001|C"});
    QVERIFY(gate.exposed);
    gate.Type("0001");
    QTest::keyPress(gate.Box(), Qt::Key_Return);
    for (int repeat = 0; repeat < 2; ++repeat) {
        QKeyEvent held(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), true);
        QApplication::sendEvent(gate.Box(), &held);
    }
    QTest::keyRelease(gate.Box(), Qt::Key_Return);

    QCOMPARE(gate.OutputLines(),
             CheckLines(Blocked + "0001") + CheckLines(NotRegistered) + CheckLines(NotRegistered));
    QCOMPARE(gate.Lamp()->BrushColor(), clSilver);
}

void TestBarcodeCheck::closedCacheShowsTheErrorAndKeepsTheText()
{
    Gate gate({}, false);
    QVERIFY(gate.exposed);
    QCOMPARE(gate.catcher->caught().size(), 1);  // the start-up error
    gate.catcher->clear();

    gate.Type("0001");
    gate.Enter();
    gate.Enter(Qt::Key_Enter, Qt::KeypadModifier);

    QCOMPARE(gate.catcher->caught().size(), 2);
    for (const CaughtModal &box : gate.catcher->caught()) {
        QCOMPARE(box.text, QStringLiteral("cdsEmulador: Cannot perform this operation on a closed dataset."));
        QCOMPARE(box.title, ErrorBox::ApplicationTitle());
    }
    QCOMPARE(gate.Box()->text(), QStringLiteral("0001"));
    QCOMPARE(gate.Lamp()->BrushColor(), Untouched);
    QCOMPARE(gate.OutputLines(), QStringList{});
    QVERIFY(!QFileInfo::exists(gate.CacheFile()));
}

void TestBarcodeCheck::failedSaveOnReleaseKeepsTextAndFile()
{
    Gate gate({"0001|L", "0002|C", "0003|L"});
    QVERIFY(gate.exposed);
    const QByteArray fileBefore = gate.CacheBytes();
    {
        FailingFolder failing(gate.folder.path());
        gate.Type("0001");
        gate.Enter();
    }
    QCOMPARE(gate.catcher->caught().size(), 1);
    const QString shown = gate.catcher->caught().first().text;
    QVERIFY2(shown.startsWith(QStringLiteral("Cannot create file \"%1\". ").arg(gate.CacheFile())), qPrintable(shown));
    QVERIFY(shown.endsWith(QLatin1Char('.')));
    QCOMPARE(gate.Lamp()->BrushColor(), clLime);
    QCOMPARE(gate.OutputLines(), QStringList{});
    QCOMPARE(gate.Box()->text(), QStringLiteral("0001"));
    QCOMPARE(CacheRows::Of(gate.window->cdsEmulador), (QStringList{"0002|C", "0003|L"}));
    QCOMPARE(gate.CacheBytes(), fileBefore);  // the old file stays whole

    // The deletion reaches the file with the next save that succeeds.
    gate.Box()->clear();
    gate.Type("0003");
    gate.Enter();
    QCOMPARE(gate.catcher->caught().size(), 1);
    QCOMPARE(CacheRows::InFile(gate.CacheFile()), QStringList{"0002|C"});
    QCOMPARE(gate.OutputLines(), CheckLines(Released + "0003"));
}

// For 10 s every save of data.cds fails, as on a full disk, while command
// files and scans keep coming. Ticks go on under the one box the failure
// opens, and after it; every scan is answered; the status bar says the
// intake stopped and then that it works again; and once there is room every
// command is in data.cds exactly once.
void TestBarcodeCheck::gateAndIntakeLastThroughAFullDisk()
{
    Gate gate({"B1|C"});
    QVERIFY(gate.exposed);
    bool diskFull = true;
    Platform::SetFaultHookForTests([&diskFull](Platform::FileOperation operation, const QString &path) {
        return diskFull && operation == Platform::FileOperation::Open && path.contains(QStringLiteral("data.cds"));
    });
    int dropped = 0;
    QStringList expected{"B1|C"};
    const auto dropOne = [&] {
        const QString barcode = QStringLiteral("N%1").arg(++dropped);
        CommandFiles::Drop(gate.folder, barcode + QStringLiteral(".xml"), CommandFiles::Commands({{barcode, "L"}}));
        expected.append(barcode + QStringLiteral("|L"));
    };
    gate.catcher->setInspector([&](QWidget *) {
        // The box stays open for 3 s with the failure going on.
        for (int second = 0; second < 3; ++second) {
            dropOne();
            QTest::qWait(1000);
        }
    });
    dropOne();
    QTRY_COMPARE_WITH_TIMEOUT(gate.catcher->caught().size(), 1, 5000);
    QVERIFY(gate.window->IntakeStatus()->text().startsWith(QStringLiteral("Coleta de XML parada: ")));
    for (int second = 0; second < 6; ++second) {
        dropOne();
        const qsizetype linesBefore = gate.OutputLines().size();
        gate.Lamp()->SetBrushColor(Untouched);
        gate.Box()->clear();
        gate.Type(QStringLiteral("B1"));
        gate.Enter();
        QCOMPARE(gate.Lamp()->BrushColor(), clRed);
        QCOMPARE(gate.OutputLines().size(), linesBefore + 3);
        QTest::qWait(1000);
    }

    diskFull = false;
    std::sort(expected.begin(), expected.end());
    const auto rowsInFile = [&] {
        QStringList rows = CacheRows::InFile(gate.CacheFile());
        std::sort(rows.begin(), rows.end());
        return rows;
    };
    QTRY_COMPARE_WITH_TIMEOUT(rowsInFile(), expected, 20000);
    QTRY_VERIFY(gate.window->IntakeStatus()->text().startsWith(QStringLiteral("Coleta de XML retomada às ")));
    QCOMPARE(gate.catcher->caught().size(), 1);
    QCOMPARE(CommandFiles::EntriesLeft(gate.folder), QStringList());
    Platform::SetFaultHookForTests(nullptr);
}

void TestBarcodeCheck::memosKeepTheirNewestLines_data()
{
    QTest::addColumn<bool>("logMemo");
    QTest::addColumn<QStringList>("newest");  // what the window's own step adds
    QTest::newRow("output memo, a scan") << false << CheckLines(Blocked + "0001");
    QTest::newRow("log memo, a tick") << true << QStringList{QString()};
}

// A full memo takes the window's next lines and drops as many of its oldest.
void TestBarcodeCheck::memosKeepTheirNewestLines()
{
    QFETCH(bool, logMemo);
    QFETCH(QStringList, newest);
    Gate gate({"0001|C"});
    QVERIFY(gate.exposed);
    QPlainTextEdit *memo = Child<QPlainTextEdit>(gate.window.get(), logMemo ? "Memo1" : "MmEventoSaida");
    memo->clear();
    QStringList old;
    for (int line = 0; line < MemoLines::kKeptLines; ++line)
        old.append(QStringLiteral("old %1").arg(line));
    for (const QString &line : old)
        MemoLines::Add(memo, line);

    if (logMemo) {
        gate.window->Collector()->ThisOnTimer(nullptr);
    } else {
        gate.Type("0001");
        gate.Enter();
    }

    QCOMPARE(MemoLines::Lines(memo), old.mid(newest.size()) + newest);
}

QTEST_MAIN(TestBarcodeCheck)
#include "test_barcode_check.moc"
