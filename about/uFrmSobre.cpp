#include "about/uFrmSobre.h"

#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

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
                          | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    InstallFontFallbacks();
    setupUi(this);
    setFixedSize(353, 147);
    // Labels size themselves to their text, whatever font stands in.
    for (QLabel *label : {Label1, Label2, Label3, Label4})
        label->adjustSize();
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect placed = rect();
        placed.moveCenter(screen->availableGeometry().center());
        move(placed.topLeft());
    }
}
