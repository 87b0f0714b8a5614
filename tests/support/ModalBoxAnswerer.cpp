#include "tests/support/ModalBoxAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

namespace Catraca {

ModalBoxAnswerer::ModalBoxAnswerer(QString buttonText, std::function<void(QMessageBox *)> whileOpen)
    : buttonText_(std::move(buttonText)), whileOpen_(std::move(whileOpen))
{
    poll_.setInterval(10);
    connect(&poll_, &QTimer::timeout, this, &ModalBoxAnswerer::Poll);
    poll_.start();
}

void ModalBoxAnswerer::Poll()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    poll_.stop();
    title_ = box->windowTitle();
    text_ = box->text();
    for (QAbstractButton *button : box->buttons())
        buttons_.append(button->text());
    if (whileOpen_)
        whileOpen_(box);
    for (QAbstractButton *button : box->buttons()) {
        if (button->text() == buttonText_) {
            answered_ = true;
            button->click();
            return;
        }
    }
    // No such button: close the box all the same, so the test cannot hang.
    box->reject();
}

}  // namespace Catraca
