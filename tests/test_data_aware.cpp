// The data-aware grid, navigator and data edits over a plain table of their
// own: moves, enabled states, editing and the endings of a pending change.

#include "app/dataaware/DBEdit.h"
#include "app/dataaware/DBGrid.h"
#include "app/dataaware/DBNavigator.h"
#include "app/dataaware/DataSetTableModel.h"
#include "cache/table/ClientDataSet.h"
#include "cache/table/DataSource.h"
#include "cache/table/Field.h"
#include "cache/packet/Packet.h"
#include "cache/packet/PacketCodec.h"
#include "tests/support/ModalBoxAnswerer.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QToolButton>
#include <QAbstractItemModelTester>
#include <QtTest>
#include <memory>

using namespace Catraca;

namespace {

constexpr int Closed = -1;

// A table with the columns ID, NAME (10 bytes) and CODE (1 byte), rows named
// R1, R2, ... with codes alternating "L" and "C".
QByteArray PacketWithRows(int rowCount)
{
    Packet packet;
    PacketColumn id;
    id.name = QStringLiteral("ID");
    id.kind = ColumnKind::SignedInt;
    id.size = 4;
    PacketColumn name;
    name.name = QStringLiteral("NAME");
    name.size = 10;
    PacketColumn code;
    code.name = QStringLiteral("CODE");
    code.size = 1;
    packet.columns = {id, name, code};
    for (int i = 1; i <= rowCount; ++i) {
        PacketRow row;
        row.cells = {Cell(qint64(i)), Cell(QByteArray("R") + QByteArray::number(i)),
                     Cell(QByteArray(i % 2 ? "L" : "C"))};
        packet.rows.push_back(row);
    }
    return PacketCodec::EncodeBinary(packet);
}

// The widgets on one window over one table; a plain line edit beside them
// takes the focus away when a test needs it.
struct Rig {
    explicit Rig(int rowCount)
    {
        source.SetDataSet(&table);
        if (rowCount != Closed) {
            table.SetHeldPacket(PacketWithRows(rowCount));
            table.Open();
        }
        window = std::make_unique<QWidget>();
        window->resize(420, 300);
        grid = new TDBGrid(window.get());
        grid->setGeometry(0, 0, 420, 200);
        grid->SetColumns({{QStringLiteral("ID"), QString(), 40, false},
                          {QStringLiteral("NAME"), QStringLiteral("Name:"), 137, true},
                          {QStringLiteral("CODE"), QStringLiteral("Code:"), 188, true}});
        grid->SetDataSource(&source);
        navigator = new TDBNavigator(window.get());
        navigator->setGeometry(0, 205, 228, 25);
        navigator->SetDataSource(&source);
        nameEdit = new TDBEdit(window.get());
        nameEdit->setGeometry(0, 240, 150, 21);
        nameEdit->SetDataField(QStringLiteral("NAME"));
        nameEdit->SetDataSource(&source);
        codeEdit = new TDBEdit(window.get());
        codeEdit->setGeometry(160, 240, 64, 21);
        codeEdit->SetDataField(QStringLiteral("CODE"));
        codeEdit->SetUpperCase(true);
        codeEdit->SetDataSource(&source);
        elsewhere = new QLineEdit(window.get());
        elsewhere->setGeometry(300, 240, 100, 21);
        window->show();
        window->activateWindow();
    }

    bool Ready() { return QTest::qWaitForWindowActive(window.get()); }

    QString Bits() const
    {
        QString bits;
        for (int i = 0; i < TDBNavigator::kButtonCount; ++i)
            bits += navigator->Button(static_cast<TNavigateBtn>(i))->isEnabled() ? '1' : '0';
        return bits;
    }

    // Every row as the views show it, "NAME/CODE" each.
    QStringList Rows() const
    {
        QStringList rows;
        if (!table.Active())
            return rows;
        TField *name = table.FieldByName(QStringLiteral("NAME"));
        TField *code = table.FieldByName(QStringLiteral("CODE"));
        for (int row = 0; row < table.ViewRowCount(); ++row)
            rows << table.ViewText(row, name) + '/' + table.ViewText(row, code);
        return rows;
    }

    void ClickRow(int row) const
    {
        const QPoint point(60, grid->rowViewportPosition(row) + grid->rowHeight(row) / 2);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, point);
    }

    TClientDataSet table{QStringLiteral("tbl")};
    TDataSource source{QStringLiteral("src")};
    std::unique_ptr<QWidget> window;
    TDBGrid *grid = nullptr;
    TDBNavigator *navigator = nullptr;
    TDBEdit *nameEdit = nullptr;
    TDBEdit *codeEdit = nullptr;
    QLineEdit *elsewhere = nullptr;
};

// Runs one step of a script: a navigator button, a key in the grid, or a
// click on a grid row ("row:N").
void Perform(Rig &rig, const QString &step)
{
    static const QHash<QString, TNavigateBtn> buttons = {
        {"first", nbFirst}, {"prior", nbPrior}, {"next", nbNext},
        {"last", nbLast},   {"insert", nbInsert}, {"edit", nbEdit}};
    static const QHash<QString, QPair<int, Qt::KeyboardModifiers>> keys = {
        {"Up", {Qt::Key_Up, Qt::NoModifier}},         {"Down", {Qt::Key_Down, Qt::NoModifier}},
        {"PgUp", {Qt::Key_PageUp, Qt::NoModifier}},   {"PgDn", {Qt::Key_PageDown, Qt::NoModifier}},
        {"Home", {Qt::Key_Home, Qt::NoModifier}},     {"End", {Qt::Key_End, Qt::NoModifier}},
        {"Ctrl+Home", {Qt::Key_Home, Qt::ControlModifier}},
        {"Ctrl+End", {Qt::Key_End, Qt::ControlModifier}},
        {"Esc", {Qt::Key_Escape, Qt::NoModifier}}};
    if (buttons.contains(step))
        QTest::mouseClick(rig.navigator->Button(buttons.value(step)), Qt::LeftButton);
    else if (keys.contains(step))
        QTest::keyClick(rig.grid, static_cast<Qt::Key>(keys.value(step).first), keys.value(step).second);
    else if (step.startsWith(QLatin1String("row:")))
        rig.ClickRow(step.mid(4).toInt());
    else
        QFAIL(qPrintable("unknown step " + step));
}

bool Matches(const QString &expected, const QString &actual)
{
    if (expected.size() != actual.size())
        return false;
    for (int i = 0; i < expected.size(); ++i)
        if (expected.at(i) != '?' && expected.at(i) != actual.at(i))
            return false;
    return true;
}

}  // namespace

class TestDataAware : public QObject {
    Q_OBJECT
private slots:
    // Browsing ---------------------------------------------------------------
    void moves_data();
    void moves();
    void pageKeysMoveByWhatTheGridShows();
    void gridShowsTitlesHiddenColumnAndIndicator();
    void indicatorIsDrawn();
    void titlesAndCurrentRowHighlight();
    void viewsFollowChangesMadeElsewhere_data();
    void viewsFollowChangesMadeElsewhere();
    void navigatorNeverTakesTheFocus();

    // Editing ----------------------------------------------------------------
    void autoEdit_data();
    void autoEdit();
    void widthAndCase_data();
    void widthAndCase();
    void escapeRestoresTheFieldValue();
    void typedTextReachesTheField_data();
    void typedTextReachesTheField();

    // Endings in the grid ----------------------------------------------------
    void gridEndings_data();
    void gridEndings();
    void deleteQuestion_data();
    void deleteQuestion();
};

void TestDataAware::moves_data()
{
    QTest::addColumn<int>("rowCount");
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("currentRow");
    QTest::addColumn<QString>("enabled");  // first prior next last insert edit; ? = either

    QTest::newRow("closed") << Closed << "" << -1 << "000000";
    QTest::newRow("closed, keys and clicks do nothing") << Closed << "Down End next row:0" << -1 << "000000";
    QTest::newRow("no rows") << 0 << "" << -1 << "000011";
    QTest::newRow("no rows, Down") << 0 << "Down" << -1 << "000011";
    QTest::newRow("one row") << 1 << "" << 0 << "001111";
    QTest::newRow("one row, next finds nothing") << 1 << "next" << 0 << "110011";
    QTest::newRow("one row, Down finds nothing") << 1 << "Down" << 0 << "110011";
    QTest::newRow("one row, last") << 1 << "last" << 0 << "110011";
    QTest::newRow("one row, last then first") << 1 << "last first" << 0 << "001111";
    QTest::newRow("three rows") << 3 << "" << 0 << "001111";
    QTest::newRow("three rows, next") << 3 << "next" << 1 << "111111";
    QTest::newRow("three rows, next twice: last row, not yet at end") << 3 << "next next" << 2 << "111111";
    QTest::newRow("three rows, next past the end") << 3 << "next next next" << 2 << "110011";
    QTest::newRow("three rows, last then prior") << 3 << "last prior" << 1 << "111111";
    QTest::newRow("three rows, prior before the start") << 3 << "next prior prior" << 0 << "001111";
    QTest::newRow("three rows, Down Down Up") << 3 << "Down Down Up" << 1 << "111111";
    QTest::newRow("three rows, End") << 3 << "End" << 2 << "110011";
    QTest::newRow("three rows, Ctrl+End") << 3 << "Ctrl+End" << 2 << "110011";
    QTest::newRow("three rows, End Home") << 3 << "End Home" << 0 << "001111";
    QTest::newRow("three rows, End Ctrl+Home") << 3 << "End Ctrl+Home" << 0 << "001111";
    QTest::newRow("three rows, click third row") << 3 << "row:2" << 2 << "111111";
    QTest::newRow("three rows, click first row after last") << 3 << "last row:0" << 0 << "111111";
    QTest::newRow("three rows, insert: edit disabled") << 3 << "next insert" << 1 << "????10";
    QTest::newRow("three rows, edit: edit disabled") << 3 << "edit" << 0 << "????10";
    QTest::newRow("three rows, edit then Esc") << 3 << "edit Esc" << 0 << "????11";
    QTest::newRow("no rows, edit starts a new row") << 0 << "edit" << 0 << "000010";
}

void TestDataAware::moves()
{
    QFETCH(int, rowCount);
    QFETCH(QString, script);
    QFETCH(int, currentRow);
    QFETCH(QString, enabled);

    Rig rig(rowCount);
    QVERIFY(rig.Ready());
    rig.grid->setFocus();
    for (const QString &step : script.split(' ', Qt::SkipEmptyParts))
        Perform(rig, step);

    const int tableRow = rig.table.Active() ? rig.table.ViewCurrentRow() : -1;
    QCOMPARE(tableRow, currentRow);
    QCOMPARE(rig.grid->TableModel()->CurrentRow(), currentRow);
    QVERIFY2(Matches(enabled, rig.Bits()), qPrintable(rig.Bits()));
    // The data edits show the current row, or nothing without one.
    const QString expectedName = currentRow >= 0 && rig.table.State() != dsInsert
                                     ? rig.table.FieldByName(QStringLiteral("NAME"))->AsString()
                                     : QString();
    QCOMPARE(rig.nameEdit->text(), expectedName);
    if (rowCount > 0 && rig.table.State() == dsBrowse)
        QCOMPARE(rig.nameEdit->text(), QStringLiteral("R%1").arg(currentRow + 1));
}

void TestDataAware::pageKeysMoveByWhatTheGridShows()
{
    Rig rig(60);
    QVERIFY(rig.Ready());
    const int page = rig.grid->VisibleRowCount();
    QVERIFY(page > 1 && page < 30);

    QTest::keyClick(rig.grid, Qt::Key_PageDown);
    QCOMPARE(rig.table.ViewCurrentRow(), page);
    QTest::keyClick(rig.grid, Qt::Key_PageDown);
    QCOMPARE(rig.table.ViewCurrentRow(), 2 * page);
    // The grid keeps the current row in sight.
    QVERIFY(rig.grid->rowViewportPosition(2 * page) >= 0);
    QVERIFY(rig.grid->rowViewportPosition(2 * page) < rig.grid->viewport()->height());
    QTest::keyClick(rig.grid, Qt::Key_PageUp);
    QCOMPARE(rig.table.ViewCurrentRow(), page);
    QTest::keyClick(rig.grid, Qt::Key_End);
    QTest::keyClick(rig.grid, Qt::Key_PageDown);
    QCOMPARE(rig.table.ViewCurrentRow(), 59);
    QVERIFY(rig.table.Eof());
    QTest::keyClick(rig.grid, Qt::Key_PageUp);
    QCOMPARE(rig.table.ViewCurrentRow(), 59 - page);
}

void TestDataAware::gridShowsTitlesHiddenColumnAndIndicator()
{
    Rig rig(3);
    QVERIFY(rig.Ready());
    QHeaderView *titles = rig.grid->horizontalHeader();
    QVERIFY(rig.grid->isColumnHidden(0));
    QCOMPARE(rig.grid->columnWidth(1), 137);
    QCOMPARE(rig.grid->columnWidth(2), 188);
    QCOMPARE(titles->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Name:"));
    QCOMPARE(titles->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Code:"));
    QVERIFY(titles->isVisible());
    QVERIFY(rig.grid->verticalHeader()->isVisible());
    QVERIFY(rig.grid->verticalHeader()->width() <= 16);
    QCOMPARE(rig.grid->model()->index(1, 1).data().toString(), QStringLiteral("R2"));
    QCOMPARE(rig.grid->model()->index(1, 2).data().toString(), QStringLiteral("C"));
    QVERIFY(!(rig.grid->model()->flags(rig.grid->model()->index(1, 1)) & Qt::ItemIsEditable));

    // Column widths the operator dragged survive rows coming and going.
    titles->resizeSection(1, 90);
    rig.table.Last();
    rig.table.Delete();
    rig.table.Insert();
    QCOMPARE(rig.grid->columnWidth(1), 90);
}

// Dark pixels in a row's indicator section, as drawn on the screen.
int InkInIndicator(TDBGrid *grid, int row)
{
    QHeaderView *indicator = grid->verticalHeader();
    const QRect section(0, indicator->sectionViewportPosition(row), indicator->width(), indicator->sectionSize(row));
    const QImage image = indicator->viewport()->grab(section).toImage();
    int ink = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ink += QColor(image.pixel(x, y)).lightness() < 100;
    return ink;
}

void TestDataAware::indicatorIsDrawn()
{
    Rig rig(3);
    QVERIFY(rig.Ready());
    rig.table.Next();
    QList<QImage> marks;
    for (const QString &state : QStringList{"browse", "edit", "insert"}) {
        if (state == "edit") rig.table.Edit();
        if (state == "insert") { rig.table.Cancel(); rig.table.Insert(); }
        QVERIFY2(InkInIndicator(rig.grid, 1) > 4, qPrintable(state));
        QCOMPARE(InkInIndicator(rig.grid, 0), 0);
        QCOMPARE(InkInIndicator(rig.grid, 2), 0);
        QHeaderView *indicator = rig.grid->verticalHeader();
        marks << indicator->viewport()
                     ->grab(QRect(0, indicator->sectionViewportPosition(1), indicator->width(),
                                  indicator->sectionSize(1)))
                     .toImage();
    }
    // Browsing, editing and inserting each have a mark of their own.
    QVERIFY(marks.at(0) != marks.at(1));
    QVERIFY(marks.at(1) != marks.at(2));
    QVERIFY(marks.at(0) != marks.at(2));
}

QColor ColourAt(QWidget *widget, const QPoint &point)
{
    return widget->grab(QRect(point, QSize(1, 1))).toImage().pixelColor(0, 0);
}

void TestDataAware::titlesAndCurrentRowHighlight()
{
    Rig rig(3);
    QVERIFY(rig.Ready());
    QHeaderView *titles = rig.grid->horizontalHeader();
    QWidget *titleArea = titles->viewport();

    // Titles start at the left of their columns.
    const QRect name(titles->sectionViewportPosition(1), 0, titles->sectionSize(1), titles->height());
    const QImage nameTitle = titleArea->grab(name).toImage();
    int firstInk = -1;
    for (int x = 2; x < nameTitle.width() - 2 && firstInk < 0; ++x)
        for (int y = 2; y < nameTitle.height() - 2 && firstInk < 0; ++y)
            if (nameTitle.pixelColor(x, y).lightness() < 100)
                firstInk = x;
    QVERIFY2(firstInk >= 0 && firstInk < name.width() / 4, qPrintable(QString::number(firstInk)));

    // The title under the pointer is highlighted until the pointer leaves it.
    const QImage plain = titleArea->grab().toImage();
    const QPoint onName = name.center() + QPoint(name.width() / 3, 0);
    QMouseEvent move(QEvent::MouseMove, onName, titleArea->mapToGlobal(onName), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(titleArea, &move);
    QVERIFY(titleArea->grab(name).toImage() != nameTitle);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(titleArea, &leave);
    QCOMPARE(titleArea->grab().toImage(), plain);

    // The current row is highlighted while the grid has the focus, and only then.
    const auto rowColour = [&rig](int row) {
        return ColourAt(rig.grid->viewport(),
                        QPoint(rig.grid->columnViewportPosition(2) + 150, rig.grid->rowViewportPosition(row) + 3));
    };
    rig.grid->setFocus();
    QVERIFY(rig.grid->hasFocus());
    QVERIFY(rowColour(0) != rowColour(1));
    rig.elsewhere->setFocus();
    QVERIFY(!rig.grid->hasFocus());
    QCOMPARE(rowColour(0), rowColour(1));
}

void TestDataAware::viewsFollowChangesMadeElsewhere_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("currentRow");
    QTest::addColumn<int>("mark");
    // Rows the model reported as inserted (+) or removed (-), in order.
    QTest::addColumn<QString>("reported");

    using M = DataSetTableModel;
    QTest::newRow("locate") << "locate R3" << QStringList{"R1/L", "R2/C", "R3/L"} << 2 << int(M::CurrentMark) << QStringLiteral("");
    QTest::newRow("edit") << "next edit" << QStringList{"R1/L", "R2/C", "R3/L"} << 1 << int(M::EditMark) << QStringLiteral("");
    QTest::newRow("assign while editing") << "next edit set X9" << QStringList{"R1/L", "X9/C", "R3/L"} << 1
                                          << int(M::EditMark) << QStringLiteral("");
    QTest::newRow("insert") << "next insert" << QStringList{"R1/L", "/", "R2/C", "R3/L"} << 1
                            << int(M::InsertMark) << QStringLiteral("+1");
    QTest::newRow("insert and post") << "next insert set N1 post"
                                     << QStringList{"R1/L", "N1/", "R2/C", "R3/L"} << 1 << int(M::CurrentMark) << QStringLiteral("+1");
    QTest::newRow("insert and cancel") << "next insert cancel" << QStringList{"R1/L", "R2/C", "R3/L"} << 1
                                       << int(M::CurrentMark) << QStringLiteral("+1 -1");
    QTest::newRow("delete the middle row") << "next delete" << QStringList{"R1/L", "R3/L"} << 1
                                           << int(M::CurrentMark) << QStringLiteral("-1");
    QTest::newRow("close") << "close" << QStringList{} << -1 << int(M::NoMark) << QStringLiteral("");
    QTest::newRow("close and open") << "next close open" << QStringList{"R1/L", "R2/C", "R3/L"} << 0
                                    << int(M::CurrentMark) << QStringLiteral("");
}

void TestDataAware::viewsFollowChangesMadeElsewhere()
{
    QFETCH(QString, operation);
    QFETCH(QStringList, rows);
    QFETCH(int, currentRow);
    QFETCH(int, mark);
    QFETCH(QString, reported);

    Rig rig(3);
    QVERIFY(rig.Ready());
    TClientDataSet &table = rig.table;
    QAbstractItemModelTester tester(rig.grid->TableModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QStringList changes;
    connect(rig.grid->TableModel(), &QAbstractItemModel::rowsInserted, this,
            [&](const QModelIndex &, int first, int) { changes << QStringLiteral("+%1").arg(first); });
    connect(rig.grid->TableModel(), &QAbstractItemModel::rowsRemoved, this,
            [&](const QModelIndex &, int first, int) { changes << QStringLiteral("-%1").arg(first); });
    const QStringList words = operation.split(' ');
    for (int i = 0; i < words.size(); ++i) {
        const QString &word = words.at(i);
        if (word == "locate")
            QVERIFY(table.Locate(QStringLiteral("NAME"), words.at(++i), loCaseInsensitive | loPartialKey));
        else if (word == "set")
            table.FieldByName(QStringLiteral("NAME"))->SetAsString(words.at(++i));
        else if (word == "next") table.Next();
        else if (word == "edit") table.Edit();
        else if (word == "insert") table.Insert();
        else if (word == "post") table.Post();
        else if (word == "cancel") table.Cancel();
        else if (word == "delete") table.Delete();
        else if (word == "close") table.Close();
        else if (word == "open") table.Open();
    }

    DataSetTableModel *model = rig.grid->TableModel();
    QCOMPARE(changes.join(' '), reported);
    QCOMPARE(model->rowCount(), rows.size());
    QStringList shown;
    for (int row = 0; row < model->rowCount(); ++row)
        shown << model->index(row, 1).data().toString() + '/' + model->index(row, 2).data().toString();
    QCOMPARE(shown, rows);
    QCOMPARE(model->CurrentRow(), currentRow);
    for (int row = 0; row < model->rowCount(); ++row) {
        const int expected = row == currentRow ? mark : int(DataSetTableModel::NoMark);
        QCOMPARE(model->headerData(row, Qt::Vertical, DataSetTableModel::kRowMarkRole).toInt(), expected);
    }
    const QString name = currentRow >= 0 ? rows.at(currentRow).section('/', 0, 0) : QString();
    QCOMPARE(rig.nameEdit->text(), name);
}

void TestDataAware::navigatorNeverTakesTheFocus()
{
    Rig rig(3);
    QVERIFY(rig.Ready());
    rig.nameEdit->setFocus();
    QTest::keyClicks(rig.nameEdit, "x");
    QCOMPARE(rig.table.State(), dsEdit);
    for (int i = 0; i < TDBNavigator::kButtonCount; ++i)
        QCOMPARE(rig.navigator->Button(static_cast<TNavigateBtn>(i))->focusPolicy(), Qt::NoFocus);

    QTest::mouseClick(rig.navigator->Button(nbNext), Qt::LeftButton);

    QVERIFY(rig.nameEdit->hasFocus());
    // The move posted what was typed, although the edit never lost the focus.
    QCOMPARE(rig.Rows(), (QStringList{"R1x/L", "R2/C", "R3/L"}));
    QCOMPARE(rig.table.ViewCurrentRow(), 1);
    QCOMPARE(rig.nameEdit->text(), QStringLiteral("R2"));
}

void TestDataAware::autoEdit_data()
{
    QTest::addColumn<int>("rowCount");
    QTest::addColumn<bool>("autoEdit");
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("viewRows");

    QTest::newRow("a character") << 3 << true << "char" << int(dsEdit) << "R1x" << 3;
    QTest::newRow("Backspace") << 3 << true << "backspace" << int(dsEdit) << "R" << 3;
    QTest::newRow("Delete") << 3 << true << "delete" << int(dsEdit) << "1" << 3;
    QTest::newRow("cut") << 3 << true << "cut" << int(dsEdit) << "" << 3;
    QTest::newRow("paste") << 3 << true << "paste" << int(dsEdit) << "ZZ" << 3;
    QTest::newRow("paste from the menu") << 3 << true << "menu paste" << int(dsEdit) << "ZZ" << 3;
    QTest::newRow("arrow key is no change") << 3 << true << "left" << int(dsBrowse) << "R1" << 3;
    QTest::newRow("copy is no change") << 3 << true << "copy" << int(dsBrowse) << "R1" << 3;
    QTest::newRow("empty table: a new row") << 0 << true << "char" << int(dsInsert) << "x" << 1;
    QTest::newRow("closed table refuses typing") << Closed << true << "char" << int(dsInactive) << "" << 0;
    QTest::newRow("closed table refuses paste") << Closed << true << "menu paste" << int(dsInactive) << "" << 0;
    QTest::newRow("auto-edit off drops the key") << 3 << false << "char" << int(dsBrowse) << "R1" << 3;
    QTest::newRow("auto-edit off drops the paste") << 3 << false << "menu paste" << int(dsBrowse) << "R1" << 3;
}

void TestDataAware::autoEdit()
{
    QFETCH(int, rowCount);
    QFETCH(bool, autoEdit);
    QFETCH(QString, input);
    QFETCH(int, state);
    QFETCH(QString, text);
    QFETCH(int, viewRows);

    Rig rig(rowCount);
    QVERIFY(rig.Ready());
    rig.source.SetAutoEdit(autoEdit);
    TDBEdit *edit = rig.nameEdit;
    edit->setFocus();
    QApplication::clipboard()->setText(QStringLiteral("ZZ"));

    if (input == "char") {
        edit->end(false);
        QTest::keyClick(edit, Qt::Key_X);
    } else if (input == "backspace") {
        edit->end(false);
        QTest::keyClick(edit, Qt::Key_Backspace);
    } else if (input == "delete") {
        edit->home(false);
        QTest::keyClick(edit, Qt::Key_Delete);
    } else if (input == "cut" || input == "paste" || input == "copy") {
        edit->selectAll();
        const QKeySequence::StandardKey key = input == "cut" ? QKeySequence::Cut
                                              : input == "paste" ? QKeySequence::Paste
                                                                 : QKeySequence::Copy;
        QTest::keySequence(edit, QKeySequence(key));
    } else if (input == "menu paste") {
        // What the context menu's Paste does: a change without a key.
        edit->selectAll();
        edit->paste();
    } else if (input == "left") {
        QTest::keyClick(edit, Qt::Key_Left);
    }

    const int actualState = rig.table.State();
    QCOMPARE(actualState, state);
    QCOMPARE(edit->text(), text);
    QCOMPARE(rig.Rows().size(), viewRows);
}

void TestDataAware::widthAndCase_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");

    QTest::newRow("ten characters fit") << "NAME" << "abcdefghij" << "abcdefghij";
    QTest::newRow("an eleventh is refused") << "NAME" << "abcdefghijk" << "abcdefghij";
    QTest::newRow("case is kept") << "NAME" << "MiXeD cAsE" << "MiXeD cAsE";
    QTest::newRow("lower case letter becomes upper case") << "CODE" << "l" << "L";
    QTest::newRow("one character only") << "CODE" << "cl" << "C";
    QTest::newRow("a digit stays") << "CODE" << "7" << "7";
}

void TestDataAware::widthAndCase()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, shown);

    Rig rig(2);
    QVERIFY(rig.Ready());
    TDBEdit *edit = field == "NAME" ? rig.nameEdit : rig.codeEdit;
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->text(), shown);

    rig.elsewhere->setFocus();
    rig.table.Post();
    QCOMPARE(rig.table.FieldByName(field)->AsString(), shown);
    QCOMPARE(rig.table.ViewCurrentRow(), 0);
}

void TestDataAware::escapeRestoresTheFieldValue()
{
    Rig rig(3);
    QVERIFY(rig.Ready());
    rig.table.Next();
    rig.nameEdit->setFocus();
    rig.nameEdit->end(false);
    QTest::keyClicks(rig.nameEdit, "zz");
    QCOMPARE(rig.nameEdit->text(), QStringLiteral("R2zz"));

    QTest::keyClick(rig.nameEdit, Qt::Key_Escape);

    QCOMPARE(rig.nameEdit->text(), QStringLiteral("R2"));
    QCOMPARE(rig.nameEdit->selectedText(), QStringLiteral("R2"));
    QCOMPARE(rig.table.State(), dsEdit);
    QVERIFY(!rig.nameEdit->HasPendingText());
    // Nothing of the typing reaches the row, so leaving abandons the edit.
    rig.elsewhere->setFocus();
    rig.table.Next();
    QCOMPARE(rig.Rows(), (QStringList{"R1/L", "R2/C", "R3/L"}));
    QVERIFY(!rig.table.Modified());
}

void TestDataAware::typedTextReachesTheField_data()
{
    QTest::addColumn<QString>("ending");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("state");

    QTest::newRow("focus leaves") << "focus" << QStringList{"R1n/L", "R2/C"} << int(dsEdit);
    QTest::newRow("post") << "post" << QStringList{"R1n/L", "R2/C"} << int(dsBrowse);
    QTest::newRow("move") << "next" << QStringList{"R1n/L", "R2/C"} << int(dsBrowse);
    QTest::newRow("search that finds nothing") << "locate" << QStringList{"R1n/L", "R2/C"} << int(dsBrowse);
    QTest::newRow("save") << "save" << QStringList{"R1n/L", "R2/C"} << int(dsBrowse);
    QTest::newRow("cancel drops it") << "cancel" << QStringList{"R1/L", "R2/C"} << int(dsBrowse);
}

void TestDataAware::typedTextReachesTheField()
{
    QFETCH(QString, ending);
    QFETCH(QStringList, rows);
    QFETCH(int, state);

    Rig rig(2);
    QVERIFY(rig.Ready());
    rig.nameEdit->setFocus();
    rig.nameEdit->end(false);
    QTest::keyClick(rig.nameEdit, Qt::Key_N);
    // Still only in the edit: the row has not been assigned yet.
    QVERIFY(!rig.table.Modified());

    if (ending == "focus") {
        rig.elsewhere->setFocus();
        QCOMPARE(rig.table.FieldByName(QStringLiteral("NAME"))->AsString(), QStringLiteral("R1n"));
        QVERIFY(rig.table.Modified());
    } else if (ending == "post") {
        rig.table.Post();
    } else if (ending == "next") {
        rig.table.Next();
    } else if (ending == "locate") {
        QVERIFY(!rig.table.Locate(QStringLiteral("NAME"), QStringLiteral("nothing"),
                                  loCaseInsensitive | loPartialKey));
    } else if (ending == "save") {
        rig.table.SaveToBytes();
    } else if (ending == "cancel") {
        rig.table.Cancel();
    }

    QCOMPARE(rig.Rows(), rows);
    const int actualState = rig.table.State();
    QCOMPARE(actualState, state);
}

void TestDataAware::gridEndings_data()
{
    QTest::addColumn<QString>("start");   // how the pending change began
    QTest::addColumn<QString>("ending");  // what ends it
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("currentRow");

    const QStringList plain{"R1/L", "R2/C", "R3/L"};
    const QStringList withNew{"R1/L", "N/", "R2/C", "R3/L"};
    QTest::newRow("Esc abandons an edit") << "focusedit type" << "Esc" << plain << int(dsBrowse) << 1;
    QTest::newRow("Esc abandons a new row") << "focusgrid insert" << "Esc" << plain << int(dsBrowse) << 1;
    QTest::newRow("Esc abandons a typed new row")
        << "focusedit insert type" << "Esc" << plain << int(dsBrowse) << 1;
    QTest::newRow("typing after leaving an untouched new row edits the current row")
        << "focusgrid insert focusedit type" << "Down" << QStringList{"R1/L", "R2t/C", "R3/L"}
        << int(dsBrowse) << 2;
    QTest::newRow("Tab out of an untouched new row abandons it")
        << "focusgrid insert" << "Tab" << plain << int(dsBrowse) << 1;
    QTest::newRow("click elsewhere with an untouched new row abandons it")
        << "focusgrid insert" << "click" << plain << int(dsBrowse) << 1;
    QTest::newRow("leaving a touched new row keeps it")
        << "focusgrid insert assign" << "Tab" << withNew << int(dsInsert) << 1;
    QTest::newRow("leaving a row under edit keeps the edit")
        << "focusgrid edit" << "Tab" << plain << int(dsEdit) << 1;
    QTest::newRow("a box over the window is not leaving")
        << "focusgrid insert" << "box" << QStringList{"R1/L", "/", "R2/C", "R3/L"} << int(dsInsert) << 1;
    QTest::newRow("Down from an untouched new row lands on the row shown below it")
        << "focusgrid insert" << "Down" << plain << int(dsBrowse) << 1;
    QTest::newRow("Up from an untouched new row lands on the row shown above it")
        << "focusgrid insert" << "Up" << plain << int(dsBrowse) << 0;
    QTest::newRow("click below an untouched new row lands on the clicked row")
        << "focusgrid insert" << "row:2" << plain << int(dsBrowse) << 1;
    QTest::newRow("click on the last row from an untouched new row")
        << "focusgrid insert" << "row:3" << plain << int(dsBrowse) << 2;
    QTest::newRow("Down from a touched new row posts it")
        << "focusgrid insert assign" << "Down" << withNew << int(dsBrowse) << 2;
    QTest::newRow("a move posts a typed edit")
        << "focusedit type" << "Down" << QStringList{"R1/L", "R2t/C", "R3/L"} << int(dsBrowse) << 2;
}

void TestDataAware::gridEndings()
{
    QFETCH(QString, start);
    QFETCH(QString, ending);
    QFETCH(QStringList, rows);
    QFETCH(int, state);
    QFETCH(int, currentRow);

    Rig rig(3);
    QVERIFY(rig.Ready());
    rig.table.Next();
    for (const QString &step : start.split(' ')) {
        if (step == "focusgrid") {
            rig.grid->setFocus();
        } else if (step == "focusedit") {
            QTest::mouseClick(rig.nameEdit, Qt::LeftButton);
            QVERIFY(rig.nameEdit->hasFocus());
        } else if (step == "type") {
            rig.nameEdit->end(false);
            QTest::keyClick(rig.nameEdit, Qt::Key_T);
        } else if (step == "insert") {
            QTest::mouseClick(rig.navigator->Button(nbInsert), Qt::LeftButton);
        } else if (step == "edit") {
            QTest::mouseClick(rig.navigator->Button(nbEdit), Qt::LeftButton);
        } else if (step == "assign") {
            rig.table.FieldByName(QStringLiteral("NAME"))->SetAsString(QStringLiteral("N"));
        }
    }
    rig.grid->setFocus();
    QVERIFY(rig.grid->hasFocus());

    if (ending == "Tab") {
        QTest::keyClick(rig.grid, Qt::Key_Tab);
        QVERIFY(!rig.grid->hasFocus());
    } else if (ending == "click") {
        QTest::mouseClick(rig.elsewhere, Qt::LeftButton);
        QVERIFY(rig.elsewhere->hasFocus());
    } else if (ending == "box") {
        ModalBoxAnswerer answerer(QStringLiteral("OK"));
        QMessageBox::information(rig.window.get(), QStringLiteral("t"), QStringLiteral("a box"));
        QVERIFY(answerer.Answered());
    } else {
        Perform(rig, ending);
    }

    QCOMPARE(rig.Rows(), rows);
    const int actualState = rig.table.State();
    QCOMPARE(actualState, state);
    QCOMPARE(rig.table.ViewCurrentRow(), currentRow);
    QCOMPARE(rig.grid->TableModel()->CurrentRow(), currentRow);
}

void TestDataAware::deleteQuestion_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("startRow");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("currentRow");

    QTest::newRow("OK deletes the current row") << "OK" << 1 << QStringList{"R1/L", "R3/L"} << 1;
    QTest::newRow("OK on the last row") << "OK" << 2 << QStringList{"R1/L", "R2/C"} << 1;
    QTest::newRow("Cancel keeps it") << "Cancel" << 1 << QStringList{"R1/L", "R2/C", "R3/L"} << 1;
}

void TestDataAware::deleteQuestion()
{
    QFETCH(QString, answer);
    QFETCH(int, startRow);
    QFETCH(QStringList, rows);
    QFETCH(int, currentRow);

    Rig rig(3);
    QVERIFY(rig.Ready());
    rig.table.MoveBy(startRow);
    rig.grid->setFocus();
    QStringList notices;
    connect(rig.grid, &TDBGrid::DeleteQuestionOpened, this, [&] { notices << "opened"; });
    connect(rig.grid, &TDBGrid::DeleteQuestionClosed, this, [&] { notices << "closed"; });
    QStringList noticesWhileOpen;
    ModalBoxAnswerer answerer(answer, [&](QMessageBox *) { noticesWhileOpen = notices; });

    QTest::keyClick(rig.grid, Qt::Key_Delete, Qt::ControlModifier);

    QVERIFY(answerer.Answered());
    QCOMPARE(answerer.Text(), QStringLiteral("Delete record?"));
    QCOMPARE(answerer.Buttons(), (QStringList{"OK", "Cancel"}));
    QCOMPARE(noticesWhileOpen, QStringList{"opened"});
    QCOMPARE(notices, (QStringList{"opened", "closed"}));
    QCOMPARE(rig.Rows(), rows);
    QCOMPARE(rig.table.ViewCurrentRow(), currentRow);

    // Delete without Ctrl, and Ctrl+Delete on an empty table, ask nothing.
    ModalBoxAnswerer unexpected(QStringLiteral("OK"));
    QTest::keyClick(rig.grid, Qt::Key_Delete);
    QCOMPARE(rig.Rows(), rows);
    Rig empty(0);
    QVERIFY(empty.Ready());
    empty.grid->setFocus();
    QTest::keyClick(empty.grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(empty.table.ViewRowCount(), 0);
    QVERIFY(!unexpected.Answered());
    QVERIFY(unexpected.Text().isEmpty());
}

QTEST_MAIN(TestDataAware)
#include "test_data_aware.moc"
