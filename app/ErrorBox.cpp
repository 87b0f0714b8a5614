#include "app/ErrorBox.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QtGlobal>

namespace Catraca {

namespace ErrorBox {

namespace {

bool tickBoxOpen = false;

// Marks a tick's box as open for as long as it is shown, even when the
// nested event loop of the box is left by an exception.
class TickBoxScope {
public:
    TickBoxScope() { tickBoxOpen = true; }
    ~TickBoxScope() { tickBoxOpen = false; }
    TickBoxScope(const TickBoxScope &) = delete;
    TickBoxScope &operator=(const TickBoxScope &) = delete;
};

int LastSeparatorIndex(const QString &path)
{
    return qMax(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
}

}  // namespace

QString BoxText(const QString &message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

QString ApplicationTitle(const QString &executablePath)
{
    QString name = executablePath.mid(LastSeparatorIndex(executablePath) + 1);
    const int firstDot = name.indexOf(QLatin1Char('.'));
    if (firstDot >= 0)
        name.truncate(firstDot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString ApplicationTitle()
{
    return ApplicationTitle(QCoreApplication::applicationFilePath());
}

void Show(const QString &message)
{
    QMessageBox box(QMessageBox::Critical, ApplicationTitle(), BoxText(message), QMessageBox::Ok);
    // A message may hold anything a file or a user typed: never markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void Report(const QString &message, HandlerGuard::Source source)
{
    if (source != HandlerGuard::Source::Tick) {
        Show(message);
        return;
    }
    if (tickBoxOpen) {
        qWarning("%s", qUtf8Printable(BoxText(message)));
        return;
    }
    TickBoxScope scope;
    Show(message);
}

void Install()
{
    HandlerGuard::SetReporter(&Report);
}

}  // namespace ErrorBox

}  // namespace Catraca
