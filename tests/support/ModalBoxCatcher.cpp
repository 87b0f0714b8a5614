#include "tests/support/ModalBoxCatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

namespace Catraca {

namespace {

constexpr int PollMs = 5;

}  // namespace

ModalBoxCatcher::ModalBoxCatcher(Inspector inspect)
    : inspect_(std::move(inspect))
{
    QTimer::singleShot(PollMs, this, [this] { Poll(); });
}

void ModalBoxCatcher::Poll()
{
    // Scheduled before the handling, so that a modal window opened by the
    // inspection (in a nested event loop) is caught as well.
    QTimer::singleShot(PollMs, this, [this] { Poll(); });
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    for (const QPointer<QWidget> &known : seen_) {
        if (known == modal)
            return;
    }
    seen_.append(modal);
    Handle(modal);
}

void ModalBoxCatcher::Handle(QWidget *modal)
{
    CaughtModal record;
    record.className = QString::fromLatin1(modal->metaObject()->className());
    record.title = modal->windowTitle();
    record.window = modal;
    for (QWidget *topLevel : QApplication::topLevelWidgets()) {
        if (topLevel != modal && topLevel->isVisible())
            record.otherVisibleWindows.append(QString::fromLatin1(topLevel->metaObject()->className()));
    }
    auto *box = qobject_cast<QMessageBox *>(modal);
    if (box) {
        record.text = box->text();
        record.icon = box->icon();
        record.standardButtons = int(box->standardButtons());
    }
    caught_.append(record);
    if (inspect_)
        inspect_(modal);
    if (!record.window)
        return;
    if (box && box->button(QMessageBox::Ok))
        box->button(QMessageBox::Ok)->click();
    else if (box && !box->buttons().isEmpty())
        box->buttons().first()->click();
    else
        modal->close();
}

}  // namespace Catraca
