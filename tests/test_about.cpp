// The author's data and the About window that shows it.
#include "about/cSobre.h"
#include "about/uFrmSobre.h"
#include "app/ErrorBox.h"
#include "app/uEmulador.h"
#include "tests/support/Child.h"
#include "tests/support/ModalBoxCatcher.h"
#include "tests/support/TestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace Catraca;

namespace {

struct ShownAbout {
    QString title;
    QSize clientSize;
    QStringList labels;      // Label1 .. Label4
    QStringList boxes;       // name, e-mail, telephone, company
    bool allReadOnly = false;
    QString afterTyping;     // the name box after typing into it
};

ShownAbout Inspect(QWidget *modal)
{
    ShownAbout shown;
    auto *window = qobject_cast<T_FrmAutor *>(modal);
    if (!window)
        return shown;
    shown.title = window->windowTitle();
    shown.clientSize = window->size();
    for (const char *label : {"Label1", "Label2", "Label3", "Label4"})
        shown.labels << Child<QLabel>(window, label)->text();
    shown.allReadOnly = true;
    for (const char *name : {"_editNomeAutor", "_editEmail", "_editTelefone", "_editEmpresa"}) {
        const QLineEdit *box = Child<QLineEdit>(window, name);
        shown.boxes << box->text();
        shown.allReadOnly = shown.allReadOnly && box->isReadOnly();
    }
    QLineEdit *nameBox = Child<QLineEdit>(window, "_editNomeAutor");
    nameBox->setFocus();
    QTest::keyClicks(nameBox, QStringLiteral("xyz"));
    QTest::keyClick(nameBox, Qt::Key_Backspace);
    shown.afterTyping = nameBox->text();
    return shown;
}

}  // namespace

class TestAbout : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { ErrorBox::Install(); }

    void propertiesHoldWhatIsSet_data();
    void propertiesHoldWhatIsSet();
    void executaAutorShowsTheFourTexts_data();
    void executaAutorShowsTheFourTexts();
    void everyCallBuildsAndDestroysItsOwnWindow();
    void authorButtonShowsTheWindowsAuthor();
};

void TestAbout::propertiesHoldWhatIsSet_data()
{
    QTest::addColumn<QString>("property");
    QTest::newRow("name") << "Autor_Aplicacao";
    QTest::newRow("e-mail") << "Autor_email";
    QTest::newRow("telephone") << "Autor_telefone";
    QTest::newRow("company") << "Empresa";
}

void TestAbout::propertiesHoldWhatIsSet()
{
    QFETCH(QString, property);
    TSobre about;
    const QByteArray name = property.toLatin1();
    QCOMPARE(about.property(name).toString(), QString());
    QVERIFY(about.setProperty(name, QStringLiteral("valor de %1").arg(property)));
    QCOMPARE(about.property(name).toString(), QStringLiteral("valor de %1").arg(property));
    // Each property is its own: the others stay empty.
    int filled = 0;
    for (const char *other : {"Autor_Aplicacao", "Autor_email", "Autor_telefone", "Empresa"})
        filled += about.property(other).toString().isEmpty() ? 0 : 1;
    QCOMPARE(filled, 1);
}

void TestAbout::executaAutorShowsTheFourTexts_data()
{
    QTest::addColumn<QStringList>("values");
    QTest::newRow("all set") << QStringList{"Ana Souza", "ana@exemplo.test", "(11) 5555-0000", "Oficina Ltda"};
    QTest::newRow("all empty") << QStringList{"", "", "", ""};
    QTest::newRow("accents and markup stay text")
        << QStringList{QStringLiteral("João Ção"), "<b>x</b>", "+55 11", QStringLiteral("Ações & Cia")};
}

void TestAbout::executaAutorShowsTheFourTexts()
{
    QFETCH(QStringList, values);
    TSobre about;
    about.SetAutor_Aplicacao(values[0]);
    about.SetAutor_email(values[1]);
    about.SetAutor_telefone(values[2]);
    about.SetEmpresa(values[3]);

    ShownAbout shown;
    ModalBoxCatcher catcher([&shown](QWidget *modal) { shown = Inspect(modal); });
    about.ExecutaAutor();

    QCOMPARE(catcher.caught().size(), 1);
    QCOMPARE(catcher.caught().first().className, QString::fromLatin1(T_FrmAutor::staticMetaObject.className()));
    QCOMPARE(shown.title, QStringLiteral("Sobre o Autor "));
    QCOMPARE(shown.clientSize, QSize(353, 147));
    QCOMPARE(shown.labels, (QStringList{"Autor:", "Email Autor:", "Telefone Autor:", "Empresa:"}));
    QCOMPARE(shown.boxes, values);
    QVERIFY(shown.allReadOnly);
    QCOMPARE(shown.afterTyping, values[0]);
    QCOMPARE(about.Autor_Aplicacao(), values[0]);
}

void TestAbout::everyCallBuildsAndDestroysItsOwnWindow()
{
    TSobre about;
    about.SetEmpresa(QStringLiteral("Primeira"));
    QList<QPointer<QWidget>> windows;
    ModalBoxCatcher catcher([&](QWidget *modal) {
        windows << modal;
        QCOMPARE(Child<QLineEdit>(modal, "_editEmpresa")->text(), about.Empresa());
    });
    about.ExecutaAutor();
    QVERIFY(!windows.value(0));  // destroyed once closed
    about.SetEmpresa(QStringLiteral("Segunda"));
    about.ExecutaAutor();
    QCOMPARE(windows.size(), 2);
    QVERIFY(!windows.value(1));
    QCOMPARE(catcher.caught().size(), 2);
}

void TestAbout::authorButtonShowsTheWindowsAuthor()
{
    ProgramFolderFixture folder;
    folder.write(QStringLiteral("data.cds"), {});
    T_FrmEmulador window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    QPushButton *authorButton = Child<QPushButton>(&window, "_btnSobre");
    ShownAbout shown;
    ModalBoxCatcher catcher([&shown](QWidget *modal) { shown = Inspect(modal); });
    QTest::mouseClick(authorButton, Qt::LeftButton);

    QCOMPARE(catcher.caught().size(), 1);
    QCOMPARE(shown.boxes, (QStringList{window.SobreAutor->Autor_Aplicacao(), window.SobreAutor->Autor_email(),
                                       window.SobreAutor->Autor_telefone(), window.SobreAutor->Empresa()}));
    QVERIFY(!shown.boxes.contains(QString()));
    // Neither the click nor the window moves the focus to the barcode box.
    QCOMPARE(window.focusWidget(), authorButton);
}

QTEST_MAIN(TestAbout)
#include "test_about.moc"
