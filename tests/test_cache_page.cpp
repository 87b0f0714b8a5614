// The page "Cache de Espera:" in the real main window: its layout, browsing,
// editing, and every way a pending change ends, with what reaches data.cds.

#include "app/dataaware/DBEdit.h"
#include "app/dataaware/DBGrid.h"
#include "app/dataaware/DBNavigator.h"
#include "app/dataaware/DataSetTableModel.h"
#include "app/ErrorBox.h"
#include "app/uEmulador.h"
#include "cache/table/Field.h"
#include "cache/base/HandlerGuard.h"
#include "intake/uThreadsXML.h"
#include "tests/support/CacheRows.h"
#include "tests/support/Child.h"
#include "tests/support/CommandFiles.h"
#include "tests/support/ModalBoxAnswerer.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <memory>

using namespace Catraca;

namespace {

// What data.cds holds after start-up: not a packet, so any save replaces it
// and nothing the program writes can look like it.
const QByteArray Untouched("file not written since start-up");

// The main window started on a data.cds with the given rows (or none at all),
// shown on the page "Cache de Espera:". The collector's timer is stopped so
// that ticks come only when a test asks for one.
struct Page {
    explicit Page(const QStringList &rows, bool withCacheFile = true)
    {
        if (withCacheFile)
            CacheRows::Write(folder, rows);
        ModalBoxAnswerer startupError(QStringLiteral("OK"));
        window = std::make_unique<T_FrmEmulador>();
        startupErrorShown = startupError.Answered();
        FindComponents();
        if (ProcessoXML *collector = window->Collector())
            collector->get_Timmer()->stop();
        if (withCacheFile)
            folder.write(QStringLiteral("data.cds"), Untouched);
        window->show();
        window->activateWindow();
        pageControl->setCurrentWidget(cachePage);
    }

    void FindComponents()
    {
        pageControl = Child<QTabWidget>(window.get(), "PageControl1");
        gatePage = Child<QWidget>(window.get(), "TabSheet1");
        cachePage = Child<QWidget>(window.get(), "TabSheet3");
        barcodeBox = Child<QLineEdit>(window.get(), "_editCodigoBarra");
        grid = Child<TDBGrid>(window.get(), "DBGrid1");
        codeEdit = Child<TDBEdit>(window.get(), "DBEdit1");
        eventEdit = Child<TDBEdit>(window.get(), "DBEdit2");
        navigator = Child<TDBNavigator>(window.get(), "DBNavigator1");
        deleteButton = Child<QPushButton>(window.get(), "Button1");
        saveButton = Child<QPushButton>(window.get(), "Button2");
    }

    bool Ready() { return QTest::qWaitForWindowActive(window.get()); }

    TClientDataSet &Table() const { return window->cdsEmulador; }

    QStringList Rows() const { return CacheRows::Of(Table()); }

    bool FileWritten() const
    {
        const QString file = folder.file(QStringLiteral("data.cds"));
        return QFile::exists(file) && folder.read(QStringLiteral("data.cds")) != Untouched;
    }
    QStringList FileRows() const { return CacheRows::InFile(folder.file(QStringLiteral("data.cds"))); }

    QString Bits() const
    {
        QString bits;
        for (int i = 0; i < TDBNavigator::kButtonCount; ++i)
            bits += navigator->Button(static_cast<TNavigateBtn>(i))->isEnabled() ? '1' : '0';
        return bits;
    }

    void Click(QWidget *widget) const { QTest::mouseClick(widget, Qt::LeftButton); }
    void Click(TNavigateBtn button) const { Click(navigator->Button(button)); }

    void TypeInto(TDBEdit *edit, const QString &text) const
    {
        Click(edit);
        edit->end(false);
        QTest::keyClicks(edit, text);
    }

    void Tick() const
    {
        ProcessoXML *collector = window->Collector();
        HandlerGuard::Run([collector] { collector->ThisOnTimer(collector->get_Timmer()); },
                          HandlerGuard::Source::Tick);
    }

    void CheckBarcode(const QString &barcode) const
    {
        pageControl->setCurrentWidget(gatePage);
        barcodeBox->setFocus();
        QTest::keyClicks(barcodeBox, barcode);
        QTest::keyClick(barcodeBox, Qt::Key_Return);
        pageControl->setCurrentWidget(cachePage);
    }

    ProgramFolderFixture folder;
    std::unique_ptr<T_FrmEmulador> window;
    bool startupErrorShown = false;
    // The window's components the tests drive, by their names in its layout.
    QTabWidget *pageControl = nullptr;
    QWidget *gatePage = nullptr;
    QWidget *cachePage = nullptr;
    QLineEdit *barcodeBox = nullptr;
    TDBGrid *grid = nullptr;
    TDBEdit *codeEdit = nullptr;
    TDBEdit *eventEdit = nullptr;
    TDBNavigator *navigator = nullptr;
    QPushButton *deleteButton = nullptr;  // "Excluir "
    QPushButton *saveButton = nullptr;    // "Salvar"
};

}  // namespace

class TestCachePage : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { ErrorBox::Install(); }
    void layout_data();
    void layout();
    void keyboardOrder();
    void gridColumns();

    // Browsing
    void browsing_data();
    void browsing();
    void gridFollowsTheCollectorWhilePageHidden();

    // Editing
    void editing_data();
    void editing();

    // Endings of a pending change
    void endings_data();
    void endings();
    void salvarWithoutPendingChangeWritesNothing();
    void excluirWithoutRowsDoesNothing_data();
    void excluirWithoutRowsDoesNothing();
    void ctrlDeleteDuringTicksDeletesTheRowAskedAbout();
};

void TestCachePage::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");

    QTest::newRow("DBGrid1") << "DBGrid1" << QRect(0, 0, 497, 329);
    QTest::newRow("DBEdit1") << "DBEdit1" << QRect(3, 335, 150, 21);
    QTest::newRow("DBEdit2") << "DBEdit2" << QRect(176, 335, 64, 21);
    QTest::newRow("DBNavigator1") << "DBNavigator1" << QRect(0, 360, 228, 25);
    QTest::newRow("Button2") << "Button2" << QRect(234, 359, 75, 25);
    QTest::newRow("Button1") << "Button1" << QRect(315, 359, 91, 25);
}

void TestCachePage::layout()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);

    Page page({});
    QVERIFY(page.Ready());
    auto *control = page.cachePage->findChild<QWidget *>(name);
    QVERIFY(control);
    QCOMPARE(control->parentWidget(), page.cachePage);
    QCOMPARE(control->geometry(), geometry);
}

void TestCachePage::keyboardOrder()
{
    Page page({"111|C"});
    QVERIFY(page.Ready());
    T_FrmEmulador &w = *page.window;
    QCOMPARE(page.saveButton->text(), QStringLiteral("Salvar"));
    QCOMPARE(page.deleteButton->text(), QStringLiteral("Excluir "));
    QCOMPARE(page.codeEdit->maxLength(), 10);
    QCOMPARE(page.eventEdit->maxLength(), 1);
    QVERIFY(!page.codeEdit->UpperCase());
    QVERIFY(page.eventEdit->UpperCase());
    for (QObject *control : QList<QObject *>{page.grid, page.codeEdit, page.eventEdit, page.navigator}) {
        TDataSource *source = nullptr;
        if (auto *grid = qobject_cast<TDBGrid *>(control)) source = grid->DataSource();
        if (auto *edit = qobject_cast<TDBEdit *>(control)) source = edit->DataSource();
        if (auto *navigator = qobject_cast<TDBNavigator *>(control)) source = navigator->DataSource();
        QCOMPARE(source, &w.dsEmulador);
    }
    QCOMPARE(page.navigator->focusPolicy(), Qt::NoFocus);

    // Tab from the grid walks grid, "Excluir ", DBEdit1, DBEdit2, "Salvar";
    // the navigator's place comes between but it takes no focus.
    page.grid->setFocus();
    QStringList visited{page.grid->objectName()};
    for (int step = 0; step < 4; ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, (QStringList{"DBGrid1", "Button1", "DBEdit1", "DBEdit2", "Button2"}));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), page.eventEdit);
}

void TestCachePage::gridColumns()
{
    Page page({"111|C", "222|L"});
    QVERIFY(page.Ready());
    TDBGrid *grid = page.grid;
    QAbstractItemModel *model = grid->model();
    QCOMPARE(model->columnCount(), 3);
    QVERIFY(grid->isColumnHidden(0));
    QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Codigo Barra:"));
    QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Evento de Liberação:"));
    QCOMPARE(grid->columnWidth(1), 137);
    QCOMPARE(grid->columnWidth(2), 188);
    QVERIFY(!grid->horizontalHeader()->isHidden());
    QVERIFY(!grid->verticalHeader()->isHidden());
    QCOMPARE(model->index(1, 1).data().toString(), QStringLiteral("222"));
    QCOMPARE(model->headerData(0, Qt::Vertical, DataSetTableModel::kRowMarkRole).toInt(),
             int(DataSetTableModel::CurrentMark));
}

void TestCachePage::browsing_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<bool>("withCacheFile");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("enabled");  // first prior next last insert edit
    QTest::addColumn<QString>("shownCode");

    const QStringList three{"111|C", "222|L", "333|C"};
    QTest::newRow("closed table") << QStringList{} << false << "Down next" << "000000" << "";
    QTest::newRow("no rows") << QStringList{} << true << "" << "000011" << "";
    QTest::newRow("no rows, Down") << QStringList{} << true << "Down" << "000011" << "";
    QTest::newRow("one row") << QStringList{"111|C"} << true << "" << "001111" << "111";
    QTest::newRow("one row, next finds no later row") << QStringList{"111|C"} << true << "next" << "110011"
                                                      << "111";
    QTest::newRow("three rows") << three << true << "" << "001111" << "111";
    QTest::newRow("three rows, Down") << three << true << "Down" << "111111" << "222";
    QTest::newRow("three rows, End") << three << true << "End" << "110011" << "333";
    QTest::newRow("three rows, last, prior") << three << true << "last prior" << "111111" << "222";
    QTest::newRow("three rows, click third row") << three << true << "row:2" << "111111" << "333";
    QTest::newRow("three rows, Ctrl+End Ctrl+Home") << three << true << "Ctrl+End Ctrl+Home" << "001111"
                                                    << "111";
    // A new row is no move: the buttons towards an end the table stands at stay off.
    QTest::newRow("three rows, next, first, insert") << three << true << "next first insert" << "001110" << "";
    QTest::newRow("no rows, typing starts a new row") << QStringList{} << true << "type:9" << "000010" << "9";
}

void TestCachePage::browsing()
{
    QFETCH(QStringList, rows);
    QFETCH(bool, withCacheFile);
    QFETCH(QString, script);
    QFETCH(QString, enabled);
    QFETCH(QString, shownCode);

    Page page(rows, withCacheFile);
    QVERIFY(page.Ready());
    QCOMPARE(page.startupErrorShown, !withCacheFile);
    TDBGrid *grid = page.grid;
    grid->setFocus();
    for (const QString &step : script.split(' ', Qt::SkipEmptyParts)) {
        if (step == "Down") QTest::keyClick(grid, Qt::Key_Down);
        else if (step == "End") QTest::keyClick(grid, Qt::Key_End);
        else if (step == "Ctrl+End") QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
        else if (step == "Ctrl+Home") QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
        else if (step == "next") page.Click(nbNext);
        else if (step == "last") page.Click(nbLast);
        else if (step == "prior") page.Click(nbPrior);
        else if (step == "first") page.Click(nbFirst);
        else if (step == "insert") page.Click(nbInsert);
        else if (step.startsWith("type:")) page.TypeInto(page.codeEdit, step.mid(5));
        else if (step.startsWith("row:")) {
            const int row = step.mid(4).toInt();
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                              QPoint(40, grid->rowViewportPosition(row) + 3));
        }
    }

    QCOMPARE(page.Bits(), enabled);
    QCOMPARE(page.codeEdit->text(), shownCode);
    QCOMPARE(grid->model()->rowCount(), page.Rows().size());
    QVERIFY(!page.FileWritten() || !withCacheFile);
}

void TestCachePage::gridFollowsTheCollectorWhilePageHidden()
{
    Page page({"111|C", "222|L"});
    QVERIFY(page.Ready());
    page.pageControl->setCurrentWidget(page.gatePage);
    CommandFiles::Drop(page.folder, QStringLiteral("a.xml"),
                       CommandFiles::Commands({{"222", "C"}, {"444", "L"}}));
    page.Tick();

    page.pageControl->setCurrentWidget(page.cachePage);
    QAbstractItemModel *model = page.grid->model();
    QStringList shown;
    for (int row = 0; row < model->rowCount(); ++row)
        shown << model->index(row, 1).data().toString() + '|' + model->index(row, 2).data().toString();
    QCOMPARE(shown, page.Rows());
    QVERIFY(shown.contains("222|C"));
    QVERIFY(shown.contains("444|L"));
    const int current = page.Table().ViewCurrentRow();
    QCOMPARE(page.grid->TableModel()->CurrentRow(), current);
    QCOMPARE(page.codeEdit->text(), shown.at(current).section('|', 0, 0));
    QCOMPARE(page.eventEdit->text(), shown.at(current).section('|', 1));
}

void TestCachePage::editing_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("code");   // typed into DBEdit1 (after what it shows)
    QTest::addColumn<QString>("event");  // typed into DBEdit2, replacing what it shows
    QTest::addColumn<QStringList>("saved");

    QTest::newRow("event letter becomes upper case") << QStringList{"111|C"} << "" << "l"
                                                     << QStringList{"111|L"};
    QTest::newRow("event keeps one character") << QStringList{"111|C"} << "" << "lc" << QStringList{"111|L"};
    QTest::newRow("code keeps its case") << QStringList{"ab|C"} << "Cd" << "" << QStringList{"abCd|C"};
    QTest::newRow("eleventh character of the code is refused")
        << QStringList{"123456789|C"} << "0X" << "" << QStringList{"1234567890|C"};
    QTest::newRow("typing on an empty table makes a new row")
        << QStringList{} << "NEW1" << "c" << QStringList{"NEW1|C"};
}

void TestCachePage::editing()
{
    QFETCH(QStringList, rows);
    QFETCH(QString, code);
    QFETCH(QString, event);
    QFETCH(QStringList, saved);

    Page page(rows);
    QVERIFY(page.Ready());
    T_FrmEmulador &w = *page.window;
    if (!code.isEmpty())
        page.TypeInto(page.codeEdit, code);
    if (!event.isEmpty()) {
        page.Click(page.eventEdit);
        page.eventEdit->selectAll();
        QTest::keyClicks(page.eventEdit, event);
    }
    QCOMPARE(w.cdsEmulador.State(), rows.isEmpty() ? dsInsert : dsEdit);
    QVERIFY(!page.FileWritten());

    page.Click(page.saveButton);

    QCOMPARE(w.cdsEmulador.State(), dsBrowse);
    QCOMPARE(page.Rows(), saved);
    QVERIFY(page.FileWritten());
    QCOMPARE(page.FileRows(), saved);
    QVERIFY(!w.cdsEmuladorID->IsNull());
}

void TestCachePage::endings_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("ending");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("written");

    // The page starts on the second row of 111/C, 222/C, 333/L.
    const QStringList plain{"111|C", "222|C", "333|L"};
    const QStringList edited{"111|C", "222x|C", "333|L"};
    QTest::newRow("Salvar posts an edit") << "type" << "Salvar" << edited << int(dsBrowse) << true;
    QTest::newRow("Salvar posts a new row")
        << "typednew" << "Salvar" << QStringList{"111|C", "NEW|L", "222|C", "333|L"} << int(dsBrowse)
        << true;
    QTest::newRow("Excluir deletes the row under edit")
        << "type" << "Excluir" << QStringList{"111|C", "333|L"} << int(dsBrowse) << true;
    QTest::newRow("Excluir abandons a new row and deletes nothing")
        << "insert" << "Excluir" << plain << int(dsBrowse) << true;
    QTest::newRow("a navigator move posts an edit") << "type" << "next" << edited << int(dsBrowse) << false;
    QTest::newRow("a navigator move abandons an untouched new row")
        << "insert" << "next" << plain << int(dsBrowse) << false;
    QTest::newRow("a grid move posts an edit") << "type" << "Down" << edited << int(dsBrowse) << false;
    QTest::newRow("a blocked barcode check posts an edit")
        << "type" << "check 111" << edited << int(dsBrowse) << false;
    QTest::newRow("an unknown barcode check posts an edit")
        << "type" << "check 999" << edited << int(dsBrowse) << false;
    QTest::newRow("a releasing barcode check saves the edit with it")
        << "type" << "check 333" << QStringList{"111|C", "222x|C"} << int(dsBrowse) << true;
    QTest::newRow("a collector tick posts an edit and saves it")
        << "type" << "tick" << QStringList{"111|C", "444|C", "222x|C", "333|L"} << int(dsBrowse) << true;
    QTest::newRow("a collector tick abandons an untouched new row")
        << "insert" << "tick" << QStringList{"111|C", "444|C", "222|C", "333|L"} << int(dsBrowse) << true;
    QTest::newRow("Esc in the grid abandons an edit") << "type" << "Esc" << plain << int(dsBrowse) << false;
    QTest::newRow("Esc in the grid abandons a new row")
        << "typednew" << "Esc" << plain << int(dsBrowse) << false;
    QTest::newRow("leaving the grid abandons an untouched new row")
        << "insert" << "leave" << plain << int(dsBrowse) << false;
    QTest::newRow("leaving the grid keeps a typed new row")
        << "typednew" << "leave" << QStringList{"111|C", "NEW|L", "222|C", "333|L"} << int(dsInsert)
        << false;
}

void TestCachePage::endings()
{
    QFETCH(QString, start);
    QFETCH(QString, ending);
    QFETCH(QStringList, rows);
    QFETCH(int, state);
    QFETCH(bool, written);

    Page page({"111|C", "222|C", "333|L"});
    QVERIFY(page.Ready());
    T_FrmEmulador &w = *page.window;
    page.grid->setFocus();
    QTest::keyClick(page.grid, Qt::Key_Down);
    for (const QString &step : start.split(' ')) {
        if (step == "type") {
            page.TypeInto(page.codeEdit, "x");
        } else if (step == "insert") {
            page.grid->setFocus();
            page.Click(nbInsert);
        } else if (step == "typednew") {
            // The navigator leaves the focus in the data edit, so the new
            // row survives until something is typed into it.
            page.Click(page.codeEdit);
            page.Click(nbInsert);
            QTest::keyClicks(page.codeEdit, "NEW");
            page.Click(page.eventEdit);
            QTest::keyClicks(page.eventEdit, "l");
            page.grid->setFocus();
        }
    }
    QVERIFY(!page.FileWritten());
    if (ending == "Down" || ending == "Esc")
        page.grid->setFocus();

    if (ending == "Salvar") {
        page.Click(page.saveButton);
    } else if (ending == "Excluir") {
        page.Click(page.deleteButton);
    } else if (ending == "next") {
        page.Click(nbNext);
    } else if (ending == "Down" || ending == "Esc") {
        QTest::keyClick(page.grid, ending == "Down" ? Qt::Key_Down : Qt::Key_Escape);
    } else if (ending.startsWith("check ")) {
        page.CheckBarcode(ending.mid(6));
    } else if (ending == "tick") {
        CommandFiles::Drop(page.folder, QStringLiteral("c.xml"), CommandFiles::Commands({{"444", "C"}}));
        page.Tick();
    } else if (ending == "leave") {
        page.grid->setFocus();
        page.Click(page.codeEdit);
        QVERIFY(page.codeEdit->hasFocus());
    }

    QCOMPARE(page.Rows(), rows);
    QCOMPARE(int(w.cdsEmulador.State()), state);
    QCOMPARE(page.FileWritten(), written);
    if (written)
        QCOMPARE(page.FileRows(), rows);
}

void TestCachePage::salvarWithoutPendingChangeWritesNothing()
{
    Page page({"111|C", "222|C", "333|L"});
    QVERIFY(page.Ready());
    page.grid->setFocus();
    QTest::keyClick(page.grid, Qt::Key_Down);
    {
        ModalBoxAnswerer answerer(QStringLiteral("OK"));
        QTest::keyClick(page.grid, Qt::Key_Delete, Qt::ControlModifier);
        QVERIFY(answerer.Answered());
    }
    QCOMPARE(page.Rows(), (QStringList{"111|C", "333|L"}));
    QVERIFY(!page.FileWritten());

    page.Click(page.saveButton);
    QVERIFY(!page.FileWritten());

    // The next save that happens takes the deletion along.
    page.Click(page.deleteButton);
    QVERIFY(page.FileWritten());
    QCOMPARE(page.FileRows(), QStringList{"111|C"});
}

void TestCachePage::excluirWithoutRowsDoesNothing_data()
{
    QTest::addColumn<bool>("withCacheFile");
    QTest::newRow("empty table") << true;
    QTest::newRow("closed table") << false;
}

void TestCachePage::excluirWithoutRowsDoesNothing()
{
    QFETCH(bool, withCacheFile);
    Page page({}, withCacheFile);
    QVERIFY(page.Ready());
    ModalBoxAnswerer noError(QStringLiteral("OK"));
    page.Click(page.deleteButton);
    page.Click(page.saveButton);
    QCOMPARE(page.FileWritten(), false);
    QCOMPARE(QFile::exists(page.folder.file(QStringLiteral("data.cds"))), withCacheFile);
    QTest::qWait(50);
    QVERIFY(!noError.Answered());
}

// While "Delete record?" is open the collector's ticks wait, so a command
// file arriving meanwhile cannot make another row current under the question.
void TestCachePage::ctrlDeleteDuringTicksDeletesTheRowAskedAbout()
{
    Page page({"111|C", "222|C", "333|L"});
    QVERIFY(page.Ready());
    T_FrmEmulador &w = *page.window;
    QTimer *ticks = w.Collector()->get_Timmer();
    ticks->start();
    page.grid->setFocus();
    QTest::keyClick(page.grid, Qt::Key_Down);
    QCOMPARE(page.codeEdit->text(), QStringLiteral("222"));
    // A new code: the collector inserts it at the current row and makes it current.
    CommandFiles::Drop(page.folder, QStringLiteral("n.xml"), CommandFiles::Commands({{"000", "C"}}));

    bool tickingWhileOpen = true;
    QStringList rowsWhileOpen;
    ModalBoxAnswerer answerer(QStringLiteral("OK"), [&](QMessageBox *) {
        QTest::qWait(2500);
        tickingWhileOpen = ticks->isActive();
        rowsWhileOpen = page.Rows();
    });
    QTest::keyClick(page.grid, Qt::Key_Delete, Qt::ControlModifier);

    QVERIFY(answerer.Answered());
    QVERIFY(!tickingWhileOpen);
    QCOMPARE(rowsWhileOpen, (QStringList{"111|C", "222|C", "333|L"}));
    QVERIFY(!page.Rows().contains("222|C"));
    QVERIFY(ticks->isActive());
    // Once the question has closed, the command arrives as usual.
    QTRY_VERIFY_WITH_TIMEOUT(page.Rows().contains("000|C"), 5000);
    QCOMPARE(page.Rows(), (QStringList{"111|C", "000|C", "333|L"}));
    QCOMPARE(page.FileRows(), page.Rows());
}

QTEST_MAIN(TestCachePage)
#include "test_cache_page.moc"
