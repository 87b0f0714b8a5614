#include "app/EventWiring.h"

#include "cache/base/HandlerGuard.h"

#include <QAbstractButton>
#include <QEvent>
#include <QKeyEvent>
#include <QWidget>
#include <utility>

namespace Catraca {

namespace EventWiring {

namespace {

class KeyDownFilter : public QObject {
public:
    KeyDownFilter(QWidget *widget, KeyDownHandler handler)
        : QObject(widget), handler_(std::move(handler))
    {
        widget->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto *keyEvent = static_cast<QKeyEvent *>(event);
            int key = keyEvent->key();
            const Qt::KeyboardModifiers shift = keyEvent->modifiers();
            HandlerGuard::Run([&] { handler_(watched, key, shift); });
        }
        return false;
    }

private:
    KeyDownHandler handler_;
};

class ShowFilter : public QObject {
public:
    ShowFilter(QWidget *widget, SenderHandler handler)
        : QObject(widget), handler_(std::move(handler))
    {
        widget->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && !event->spontaneous())
            HandlerGuard::Run([&] { handler_(watched); });
        return false;
    }

private:
    SenderHandler handler_;
};

}  // namespace

void OnKeyDown(QWidget *widget, KeyDownHandler handler)
{
    new KeyDownFilter(widget, std::move(handler));
}

void OnShow(QWidget *widget, SenderHandler handler)
{
    new ShowFilter(widget, std::move(handler));
}

void OnClick(QAbstractButton *button, SenderHandler handler)
{
    QObject::connect(button, &QAbstractButton::clicked, button, [button, handler = std::move(handler)] {
        HandlerGuard::Run([&] { handler(button); });
    });
}

}  // namespace EventWiring

}  // namespace Catraca
