// Start-up of the main window and the error box every failure ends in.
#include "app/Colors.h"
#include "app/ErrorBox.h"
#include "app/MemoLines.h"
#include "app/TShape.h"
#include "app/uEmulador.h"
#include "cache/base/Exceptions.h"
#include "cache/base/HandlerGuard.h"
#include "cache/base/Platform.h"
#include "cache/ReleaseCache.h"
#include "intake/uThreadsXML.h"
#include "tests/support/CacheRows.h"
#include "tests/support/Child.h"
#include "tests/support/CommandFiles.h"
#include "tests/support/ModalBoxCatcher.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QtTest>

#include <cerrno>
#include <memory>
#include <optional>

using namespace Catraca;

namespace {

enum class CacheFile { Valid, ZeroBytes, Missing, Corrupt, MissingColumn, TypeMismatch };

const QString AutoIncId = QStringLiteral(R"(<FIELD attrname="ID" fieldtype="i4" readonly="true" SUBTYPE="Autoinc"/>)");
const QString CodBarra = QStringLiteral(R"(<FIELD attrname="COD_BARRA" fieldtype="string" WIDTH="10"/>)");
const QString Evento = QStringLiteral(R"(<FIELD attrname="EVENTO" fieldtype="string" WIDTH="1"/>)");
const QString IntegerCodBarra = QStringLiteral(R"(<FIELD attrname="COD_BARRA" fieldtype="i4"/>)");

QByteArray CachePacketWithFields(const QString &fields)
{
    return (QStringLiteral(R"(<?xml version="1.0" standalone="yes"?>  <DATAPACKET Version="2.0"><METADATA><FIELDS>)")
            + fields + QStringLiteral(R"(</FIELDS><PARAMS AUTOINCVALUE="1"/></METADATA><ROWDATA></ROWDATA></DATAPACKET>)"))
        .toLatin1();
}

void LayOut(const ProgramFolderFixture &folder, CacheFile kind)
{
    switch (kind) {
    case CacheFile::Valid:
        CacheRows::Write(folder, {"0001|L", "0002|C"});
        break;
    case CacheFile::ZeroBytes:
        folder.write(QStringLiteral("data.cds"), {});
        break;
    case CacheFile::Missing:
        break;
    case CacheFile::Corrupt:
        folder.write(QStringLiteral("data.cds"), QByteArrayLiteral("\x96\x19\xE0\xBD\x01\x00garbage that is no packet"));
        break;
    case CacheFile::MissingColumn:
        folder.write(QStringLiteral("data.cds"), CachePacketWithFields(AutoIncId + CodBarra));
        break;
    case CacheFile::TypeMismatch:
        folder.write(QStringLiteral("data.cds"), CachePacketWithFields(AutoIncId + IntegerCodBarra + Evento));
        break;
    }
}

// The message a fresh release cache gives for the file, for errors whose
// text comes from the packet engine.
QString LoadErrorOf(const QString &path)
{
    ReleaseCache probe;
    try {
        probe.Table().Close();
        probe.Table().LoadFromFile(path);
    } catch (const Exception &error) {
        return error.Message();
    }
    return {};
}

[[noreturn]] void Raise(const QString &message)
{
    throw Exception(message);
}

}  // namespace

Q_DECLARE_METATYPE(CacheFile)

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void boxText_data();
    void boxText();
    void applicationTitle_data();
    void applicationTitle();
    void errorBoxShowsMessageTitleStopIconAndOk();
    void tickErrorsDoNotPileUpBoxes();

    void startUp_data();
    void startUp();
    void zeroByteCacheAppliesCommandFiles();
    void leftoverWorkFileAtStartUp_data();
    void leftoverWorkFileAtStartUp();

    void controlsSitWhereTheLayoutPutsThem_data();
    void controlsSitWhereTheLayoutPutsThem();
    void windowTextsAndFreshState();
    void windowCannotBeResizedMinimisedOrMaximised();
    void tabMovesThroughTheFirstPage_data();
    void tabMovesThroughTheFirstPage();
};

void TestMainWindow::initTestCase()
{
    ErrorBox::Install();
}

void TestMainWindow::boxText_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter gets a full stop") << "Field 'X' not found" << "Field 'X' not found.";
    QTest::newRow("full stop stays single") << "Done." << "Done.";
    QTest::newRow("blank sorts before the stop") << "Ends in a blank " << "Ends in a blank ";
    QTest::newRow("hyphen sorts before the stop") << "a-" << "a-";
    QTest::newRow("exclamation sorts before the stop") << "Stop!" << "Stop!";
    QTest::newRow("slash sorts after the stop") << "path/" << "path/.";
    QTest::newRow("digit") << "code 13" << "code 13.";
    QTest::newRow("double quote sorts before the stop") << "Cannot open file \"x\"" << "Cannot open file \"x\"";
    QTest::newRow("accented letter") << QStringLiteral("não") << QStringLiteral("não.");
    QTest::newRow("line break sorts before the stop") << "two\nlines\n" << "two\nlines\n";
    QTest::newRow("empty message stays empty") << "" << "";
}

void TestMainWindow::boxText()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(ErrorBox::BoxText(message), shown);
}

void TestMainWindow::applicationTitle_data()
{
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QString>("title");
    QTest::newRow("plain name") << "/opt/gate/Emulador" << "Emulador";
    QTest::newRow("upper case with extension") << "C:\\Gate\\EMULADOR.EXE" << "Emulador";
    QTest::newRow("dot in the folder does not count") << "/opt/gate.v1.0/Emulador" << "Emulador";
    QTest::newRow("cut at the first dot of the name") << "/opt/emu.lador.exe" << "emu";
    QTest::newRow("first letter kept as it is") << "/x/emULADOR" << "emulador";
    QTest::newRow("accented upper case") << QStringLiteral("/x/ÉMULAÇÃO.bin") << QStringLiteral("Émulação");
    QTest::newRow("single letter") << "/x/E.exe" << "E";
}

void TestMainWindow::applicationTitle()
{
    QFETCH(QString, executable);
    QFETCH(QString, title);
    QCOMPARE(ErrorBox::ApplicationTitle(executable), title);
}

void TestMainWindow::errorBoxShowsMessageTitleStopIconAndOk()
{
    ModalBoxCatcher catcher;
    HandlerGuard::Run([] { Raise(QStringLiteral("Cannot <b>open</b> it")); });
    QCOMPARE(catcher.caught().size(), 1);
    const CaughtModal &box = catcher.caught().first();
    QCOMPARE(box.className, QStringLiteral("QMessageBox"));
    QCOMPARE(box.title, ErrorBox::ApplicationTitle(QCoreApplication::applicationFilePath()));
    QCOMPARE(box.title, QStringLiteral("test_main_window"));
    QCOMPARE(box.text, QStringLiteral("Cannot <b>open</b> it."));
    QCOMPARE(box.icon, int(QMessageBox::Critical));
    QCOMPARE(box.standardButtons, int(QMessageBox::Ok));
    QVERIFY(!box.window);  // the box is gone once OK was pressed
}

void TestMainWindow::tickErrorsDoNotPileUpBoxes()
{
    int ticksRun = 0;
    const auto failingTick = [&ticksRun] {
        ++ticksRun;
        Raise(QStringLiteral("Cannot create file \"data.cds\". Disk full"));
    };
    ModalBoxCatcher catcher;
    catcher.setInspector([&](QWidget *) {
        if (catcher.caught().size() != 1)
            return;
        // While the first tick's box is open: two more failing ticks, then
        // a failing key handler, which must still be shown.
        HandlerGuard::Run(failingTick, HandlerGuard::Source::Tick);
        HandlerGuard::Run(failingTick, HandlerGuard::Source::Tick);
        HandlerGuard::Run([] { Raise(QStringLiteral("key failed")); });
    });
    QTest::ignoreMessage(QtWarningMsg, "Cannot create file \"data.cds\". Disk full.");
    QTest::ignoreMessage(QtWarningMsg, "Cannot create file \"data.cds\". Disk full.");
    HandlerGuard::Run(failingTick, HandlerGuard::Source::Tick);

    QCOMPARE(ticksRun, 3);
    QCOMPARE(catcher.caught().size(), 2);
    QCOMPARE(catcher.caught().at(0).text, QStringLiteral("Cannot create file \"data.cds\". Disk full."));
    QCOMPARE(catcher.caught().at(1).text, QStringLiteral("key failed."));

    // Once the tick's box is closed, the next failing tick shows one again.
    catcher.setInspector({});
    HandlerGuard::Run(failingTick, HandlerGuard::Source::Tick);
    QCOMPARE(catcher.caught().size(), 3);
}

void TestMainWindow::startUp_data()
{
    QTest::addColumn<CacheFile>("kind");
    QTest::addColumn<bool>("failsToLoad");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("valid file") << CacheFile::Valid << false << QStringList{"0001|L", "0002|C"};
    QTest::newRow("zero bytes") << CacheFile::ZeroBytes << false << QStringList{};
    QTest::newRow("missing") << CacheFile::Missing << true << QStringList{};
    QTest::newRow("corrupt") << CacheFile::Corrupt << true << QStringList{};
    QTest::newRow("missing column") << CacheFile::MissingColumn << true << QStringList{};
    QTest::newRow("column of another kind") << CacheFile::TypeMismatch << true << QStringList{};
}

void TestMainWindow::startUp()
{
    QFETCH(CacheFile, kind);
    QFETCH(bool, failsToLoad);
    QFETCH(QStringList, rows);

    ProgramFolderFixture folder;
    LayOut(folder, kind);
    const QString cacheFile = folder.file(QStringLiteral("data.cds"));
    const bool existedBefore = QFileInfo::exists(cacheFile);
    const QByteArray bytesBefore = folder.read(QStringLiteral("data.cds"));

    QString expectedBox;
    switch (kind) {
    case CacheFile::Missing:
        expectedBox = QStringLiteral("Cannot open file \"%1\". %2.").arg(cacheFile, Platform::SystemErrorText(ENOENT));
        break;
    case CacheFile::MissingColumn:
        expectedBox = QStringLiteral("cdsEmulador: Field 'EVENTO' not found.");
        break;
    case CacheFile::TypeMismatch:
        expectedBox = QStringLiteral("cdsEmulador: Type mismatch for field 'COD_BARRA', expecting: String actual: Integer.");
        break;
    case CacheFile::Corrupt: {
        const QString engineText = LoadErrorOf(cacheFile);
        QVERIFY(!engineText.isEmpty());
        expectedBox = ErrorBox::BoxText(engineText);
        break;
    }
    default:
        break;
    }

    ModalBoxCatcher catcher;
    auto window = std::make_unique<T_FrmEmulador>();
    if (failsToLoad) {
        QCOMPARE(catcher.caught().size(), 1);
        const CaughtModal &box = catcher.caught().first();
        QCOMPARE(box.text, expectedBox);
        QCOMPARE(box.title, ErrorBox::ApplicationTitle());
        QCOMPARE(box.icon, int(QMessageBox::Critical));
        QVERIFY2(box.otherVisibleWindows.isEmpty(), "the box comes before the window");
    } else {
        QCOMPARE(catcher.caught().size(), 0);
    }

    QCOMPARE(window->Path(), cacheFile);
    QCOMPARE(window->cdsEmulador.Active(), !failsToLoad);
    QCOMPARE(CacheRows::Of(window->cdsEmulador), rows);
    const QLineEdit *pathBox = Child<QLineEdit>(window.get(), "editPathXML");
    QCOMPARE(pathBox->text(),
             failsToLoad ? QString() : folder.path() + QStringLiteral("XML") + Platform::PathSeparator());
    QCOMPARE(window->Collector() != nullptr, !failsToLoad);
    if (window->Collector()) {
        QVERIFY(window->Collector()->get_Timmer()->isActive());
        QCOMPARE(window->Collector()->get_Timmer()->interval(), 1000);
        QCOMPARE(window->Collector()->Fonte_Dados(), &window->cdsEmulador);
        QCOMPARE(window->Collector()->PathXML(), pathBox->text());
    }

    // The window still opens after a failed load.
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(window->focusWidget(), Child<QLineEdit>(window.get(), "_editCodigoBarra"));
    window.reset();

    // Nothing is created or written, neither at start-up nor at exit.
    QCOMPARE(QFileInfo::exists(cacheFile), existedBefore);
    QCOMPARE(folder.read(QStringLiteral("data.cds")), bytesBefore);
    QVERIFY(!QFileInfo::exists(folder.file(QStringLiteral("XML"))));
}

void TestMainWindow::leftoverWorkFileAtStartUp_data()
{
    QTest::addColumn<CacheFile>("kind");
    QTest::newRow("cache loads") << CacheFile::Valid;
    QTest::newRow("cache fails to load") << CacheFile::Missing;
}

// The disk filled while command 0 of a work file was being saved, and the
// program was killed. At the restart the operator scans that tab before the
// first tick: the work file must be applied by then, so the release goes
// through and no command is lost. When data.cds does not load, the work file
// stays as it is.
void TestMainWindow::leftoverWorkFileAtStartUp()
{
    QFETCH(CacheFile, kind);
    ProgramFolderFixture folder;
    LayOut(folder, CacheFile::Valid);
    const QString released = QStringLiteral("0000000007-TAB");  // longer than the column
    const QString blocked = QStringLiteral("0000000008-TAB");
    {
        ReleaseCache cache;
        cache.Table().LoadFromFile(folder.file(QStringLiteral("data.cds")));
        ProcessoXML stopped;
        stopped.SetFonte_Dados(&cache.Table());
        stopped.IniciarColeta();
        CommandFiles::Drop(folder, QStringLiteral("a.xml"), CommandFiles::Commands({{released, QStringLiteral("L")},
                                                                                    {blocked, QStringLiteral("C")}}));
        Platform::SetFaultHookForTests([](Platform::FileOperation operation, const QString &path) {
            return operation == Platform::FileOperation::Open && QFileInfo(path).fileName().startsWith(QStringLiteral(".data.cds."));
        });
        QVERIFY_THROWS_EXCEPTION(Exception, stopped.ThisOnTimer(nullptr));
        Platform::SetFaultHookForTests(nullptr);
    }
    const QString workFile = CommandFiles::WorkFilePath(folder);
    const QByteArray workBytes = folder.read(QFileInfo(workFile).fileName());
    QVERIFY(!workBytes.isEmpty());
    if (kind == CacheFile::Missing)
        QFile::remove(folder.file(QStringLiteral("data.cds")));

    ModalBoxCatcher catcher;
    T_FrmEmulador window;
    QLineEdit *barcodeBox = Child<QLineEdit>(&window, "_editCodigoBarra");
    barcodeBox->setText(released.left(10));
    QTest::keyClick(barcodeBox, Qt::Key_Return);

    if (kind == CacheFile::Missing) {
        QCOMPARE(folder.read(QFileInfo(workFile).fileName()), workBytes);
        QVERIFY(!QFileInfo::exists(folder.file(QStringLiteral("data.cds"))));
        return;
    }
    QCOMPARE(Child<TShape>(&window, "_Shape")->BrushColor(), clLime);
    QCOMPARE(CacheRows::InFile(folder.file(QStringLiteral("data.cds"))),
             (QStringList{blocked.left(10) + QStringLiteral("|C"), "0001|L", "0002|C"}));
    QVERIFY(!QFileInfo::exists(workFile));
    QCOMPARE(catcher.caught().size(), 0);
}

void TestMainWindow::zeroByteCacheAppliesCommandFiles()
{
    ProgramFolderFixture folder;
    LayOut(folder, CacheFile::ZeroBytes);
    T_FrmEmulador window;
    CommandFiles::Drop(folder, QStringLiteral("0001.xml"),
                       CommandFiles::Commands({{QStringLiteral("0001"), QStringLiteral("C")}}));

    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(folder.file(QStringLiteral("data.cds"))).size() > 0, 5000);
    QCOMPARE(CacheRows::Of(window.cdsEmulador), QStringList{"0001|C"});
    QVERIFY(folder.read(QStringLiteral("data.cds")).startsWith(QByteArrayLiteral("\x96\x19\xE0\xBD")));
    QVERIFY(CommandFiles::EntriesLeft(folder).isEmpty());
    // Every tick adds the reader's log text, empty when nothing failed.
    QVERIFY(!MemoLines::Lines(Child<QPlainTextEdit>(&window, "Memo1")).isEmpty());
    QVERIFY(MemoLines::Lines(Child<QPlainTextEdit>(&window, "MmEventoSaida")).isEmpty());
}

void TestMainWindow::controlsSitWhereTheLayoutPutsThem_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry");

    QTest::newRow("Label2") << "Label2" << "_FrmEmulador" << QRect(8, 8, 53, 13);
    QTest::newRow("editPathXML") << "editPathXML" << "_FrmEmulador" << QRect(67, 6, 426, 21);
    QTest::newRow("PageControl1") << "PageControl1" << "_FrmEmulador" << QRect(0, 33, 505, 426);
    QTest::newRow("StatusBar1") << "StatusBar1" << "_FrmEmulador" << QRect(0, 458, 503, 19);
    QTest::newRow("_img01") << "_img01" << "TabSheet1" << QRect(3, 16, 142, 368);
    QTest::newRow("Label1") << "Label1" << "TabSheet1" << QRect(270, 16, 119, 39);
    QTest::newRow("_editCodigoBarra") << "_editCodigoBarra" << "TabSheet1" << QRect(268, 48, 121, 21);
    QTest::newRow("EventoSaida") << "EventoSaida" << "TabSheet1" << QRect(168, 144, 321, 225);
    QTest::newRow("MmEventoSaida") << "MmEventoSaida" << "TabSheet1" << QRect(184, 168, 289, 185);
    QTest::newRow("GroupBox1") << "GroupBox1" << "TabSheet1" << QRect(268, 75, 121, 63);
    QTest::newRow("_Shape") << "_Shape" << "GroupBox1" << QRect(3, 18, 115, 42);
    QTest::newRow("_btnSobre") << "_btnSobre" << "TabSheet1" << QRect(435, 3, 59, 25);
    QTest::newRow("Memo1") << "Memo1" << "TabSheet2" << QRect(3, 3, 494, 381);
}

void TestMainWindow::controlsSitWhereTheLayoutPutsThem()
{
    QFETCH(QString, name);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);

    ProgramFolderFixture folder;
    LayOut(folder, CacheFile::ZeroBytes);
    T_FrmEmulador window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *control = window.findChild<QWidget *>(name);
    QVERIFY(control);
    QCOMPARE(control->parentWidget()->objectName(), parentName);
    // Labels size themselves to their text, so only their place is fixed.
    if (qobject_cast<QLabel *>(control) && control->objectName().startsWith(QLatin1String("Label"))) {
        QCOMPARE(control->pos(), geometry.topLeft());
        QVERIFY(control->width() >= control->sizeHint().width());
    } else {
        QCOMPARE(control->geometry(), geometry);
    }
    QVERIFY(control->isVisibleTo(control->parentWidget()));
}

void TestMainWindow::windowTextsAndFreshState()
{
    ProgramFolderFixture folder;
    LayOut(folder, CacheFile::ZeroBytes);
    T_FrmEmulador window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QCOMPARE(window.objectName(), QStringLiteral("_FrmEmulador"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Emulador Quibo: Vr.1.0 - "));
    QCOMPARE(Child<QLabel>(&window, "Label2")->text(), QStringLiteral("Local Path:"));
    const QLabel *barcodeLabel = Child<QLabel>(&window, "Label1");
    QCOMPARE(barcodeLabel->text().split(QLatin1Char('\n')),
             (QStringList{"Digite o Codigo de Barra ", "              Aqui", ""}));
    QCOMPARE(barcodeLabel->textFormat(), Qt::PlainText);  // the blanks must show
    QCOMPARE(Child<QGroupBox>(&window, "EventoSaida")->title(), QStringLiteral("Eventos de Saida:"));
    QCOMPARE(Child<QGroupBox>(&window, "GroupBox1")->title(), QStringLiteral("Liberação Status:"));
    QCOMPARE(Child<QPushButton>(&window, "_btnSobre")->text(), QStringLiteral("Autor:"));
    const QTabWidget *pageControl = Child<QTabWidget>(&window, "PageControl1");
    QStringList pages;
    for (int index = 0; index < pageControl->count(); ++index)
        pages << pageControl->tabText(index);
    QCOMPARE(pages, (QStringList{"Catraca:", "Log XML Recebidos:", "Cache de Espera:"}));
    QCOMPARE(pageControl->currentWidget(), Child<QWidget>(&window, "TabSheet1"));

    // The status bar's one panel spans the bar and shows its whole text.
    const QLabel *panel = Child<QLabel>(&window, "StatusPanel1");
    const QStatusBar *statusBar = Child<QStatusBar>(&window, "StatusBar1");
    QCOMPARE(panel->text(), QStringLiteral("Quibo - Emulador - "));
    QVERIFY(panel->isVisible());
    QVERIFY(panel->width() >= panel->sizeHint().width());
    QVERIFY(panel->width() > statusBar->width() / 2);
    // The status bar lies on top of the page control's last pixel.
    QVERIFY(window.childAt(250, 458) == statusBar || statusBar->isAncestorOf(window.childAt(250, 458)));

    QCOMPARE(Child<TShape>(&window, "_Shape")->BrushColor(), clSilver);
    QVERIFY(Child<QLineEdit>(&window, "_editCodigoBarra")->text().isEmpty());
    const QPlainTextEdit *output = Child<QPlainTextEdit>(&window, "MmEventoSaida");
    const QPlainTextEdit *log = Child<QPlainTextEdit>(&window, "Memo1");
    QVERIFY(output->toPlainText().isEmpty());
    QVERIFY(log->toPlainText().isEmpty());
    QVERIFY(Child<QLineEdit>(&window, "editPathXML")->isReadOnly());
    const QLabel *picture = Child<QLabel>(&window, "_img01");
    QVERIFY(!picture->pixmap().isNull());
    QVERIFY(picture->hasScaledContents());
    QCOMPARE(output->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(log->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QVERIFY(!window.windowIcon().isNull());
}

void TestMainWindow::windowCannotBeResizedMinimisedOrMaximised()
{
    ProgramFolderFixture folder;
    LayOut(folder, CacheFile::ZeroBytes);
    T_FrmEmulador window;
    QCOMPARE(window.minimumSize(), QSize(503, 477));
    QCOMPARE(window.maximumSize(), QSize(503, 477));
    const Qt::WindowFlags flags = window.windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(flags & Qt::WindowSystemMenuHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    window.resize(800, 600);
    QCOMPARE(window.size(), QSize(503, 477));
}

void TestMainWindow::tabMovesThroughTheFirstPage_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::newRow("barcode box to output memo") << "_editCodigoBarra" << "MmEventoSaida";
    QTest::newRow("output memo to author button") << "MmEventoSaida" << "_btnSobre";
    QTest::newRow("path box to page control") << "editPathXML" << "PageControl1";
}

void TestMainWindow::tabMovesThroughTheFirstPage()
{
    QFETCH(QString, from);
    QFETCH(QString, to);

    ProgramFolderFixture folder;
    LayOut(folder, CacheFile::ZeroBytes);
    T_FrmEmulador window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto *start = window.findChild<QWidget *>(from);
    start->setFocus(Qt::TabFocusReason);
    QCOMPARE(QApplication::focusWidget(), start);
    QTest::keyClick(start, Qt::Key_Tab);
    // The page control takes the focus through its tab bar.
    auto *target = window.findChild<QWidget *>(to);
    QWidget *focused = QApplication::focusWidget();
    QVERIFY2(focused == target || target->isAncestorOf(focused), qPrintable(focused->objectName()));
}

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
