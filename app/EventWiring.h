#pragma once

#include <QObject>
#include <Qt>
#include <functional>

class QAbstractButton;
class QWidget;

namespace Catraca {

// Ties a widget's events to the window's handlers. Every handler runs inside
// HandlerGuard, so an exception is shown in the error box and never crosses
// the toolkit's own code.
namespace EventWiring {

// Key is the toolkit's key code; the handler may not consume the key: the
// widget goes on to process it as usual.
using KeyDownHandler = std::function<void(QObject *sender, int &key, Qt::KeyboardModifiers shift)>;
using SenderHandler = std::function<void(QObject *sender)>;

// Every key press, each auto-repeat included.
void OnKeyDown(QWidget *widget, KeyDownHandler handler);

// The widget becomes visible (shown by the program, not restored by the
// window system).
void OnShow(QWidget *widget, SenderHandler handler);

void OnClick(QAbstractButton *button, SenderHandler handler);

}  // namespace EventWiring

}  // namespace Catraca
