#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>

class QMessageBox;

namespace Catraca {


// Answers the next modal message box that opens: remembers its title, text
// and button texts, runs an optional step while the box is still open, then
// clicks the button with the given text.
class ModalBoxAnswerer : public QObject {
    Q_OBJECT
public:
    explicit ModalBoxAnswerer(QString buttonText, std::function<void(QMessageBox *)> whileOpen = {});

    bool Answered() const { return answered_; }
    const QString &Title() const { return title_; }
    const QString &Text() const { return text_; }
    const QStringList &Buttons() const { return buttons_; }

private:
    void Poll();

    QString buttonText_;
    std::function<void(QMessageBox *)> whileOpen_;
    QTimer poll_;
    bool answered_ = false;
    QString title_;
    QString text_;
    QStringList buttons_;
};

}  // namespace Catraca
