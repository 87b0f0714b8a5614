#include "about/uFrmSobre.h"

#include "about/cSobre.h"
#include "ui_uFrmSobre.h"

#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

namespace Catraca {

namespace {

// Where the window's font is missing, the nearest monospaced one stands in.
void InstallFontFallbacks()
{
    QFont::insertSubstitutions(QStringLiteral("Consolas"),
                               {QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Mono"),
                                QStringLiteral("Noto Sans Mono"), QStringLiteral("Courier New")});
}

}  // namespace

T_FrmAutor::T_FrmAutor(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      ui(std::make_unique<Ui::T_FrmAutor>())
{
    InstallFontFallbacks();
    ui->setupUi(this);
    setFixedSize(353, 147);
    // Labels size themselves to their text, whatever font stands in.
    for (QLabel *label : {ui->Label1, ui->Label2, ui->Label3, ui->Label4})
        label->adjustSize();
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect placed = rect();
        placed.moveCenter(screen->availableGeometry().center());
        move(placed.topLeft());
    }
}

T_FrmAutor::~T_FrmAutor() = default;

void T_FrmAutor::ShowAuthor(const TSobre &author)
{
    ui->_editNomeAutor->setText(author.Autor_Aplicacao());
    ui->_editEmail->setText(author.Autor_email());
    ui->_editTelefone->setText(author.Autor_telefone());
    ui->_editEmpresa->setText(author.Empresa());
}

}  // namespace Catraca
