#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace Catraca {


// What a modal window looked like when it was caught.
struct CaughtModal {
    QString className;           // class of the modal window, e.g. "QMessageBox"
    QString title;
    QString text;                // a message box's text
    int icon = -1;               // a message box's QMessageBox::Icon
    int standardButtons = 0;     // a message box's QMessageBox::StandardButtons
    QStringList otherVisibleWindows;  // class names of top-level windows already shown
    QPointer<QWidget> window;    // null once the window has been destroyed
};

// Watches for modal windows (message boxes, dialogs) while it lives, records
// each one, lets the test inspect it, and then closes it: a message box by its
// OK button (or its first button), any other window by closing it. It polls
// from single-shot timers, so it also catches a modal window opened inside
// another one's inspection.
class ModalBoxCatcher : public QObject {
public:
    using Inspector = std::function<void(QWidget *modal)>;
    explicit ModalBoxCatcher(Inspector inspect = {});

    const QList<CaughtModal> &caught() const { return caught_; }
    void clear() { caught_.clear(); }
    void setInspector(Inspector inspect) { inspect_ = std::move(inspect); }

private:
    void Poll();
    void Handle(QWidget *modal);

    Inspector inspect_;
    QList<CaughtModal> caught_;
    QList<QPointer<QWidget>> seen_;
};

}  // namespace Catraca
