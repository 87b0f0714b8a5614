#include "cache/base/HandlerGuard.h"

#include "cache/base/Exceptions.h"

#include <QTextStream>
#include <cstdio>
#include <utility>

namespace Catraca {

namespace {

void WriteToErrorStream(const QString &message, HandlerGuard::Source)
{
    QTextStream(stderr) << message << Qt::endl;
}

HandlerGuard::Reporter &InstalledReporter()
{
    static HandlerGuard::Reporter reporter = WriteToErrorStream;
    return reporter;
}

}  // namespace

namespace HandlerGuard {

void SetReporter(Reporter reporter)
{
    InstalledReporter() = reporter ? std::move(reporter) : Reporter(WriteToErrorStream);
}

QString MessageOf(const std::exception_ptr &error)
{
    if (!error)
        return {};
    try {
        std::rethrow_exception(error);
    } catch (const Exception &exception) {
        return exception.Message();
    } catch (const std::exception &exception) {
        return QString::fromLocal8Bit(exception.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

void Run(const std::function<void()> &handler, Source source)
{
    try {
        handler();
    } catch (...) {
        const QString message = MessageOf(std::current_exception());
        // A reporter that fails itself must not take the program down with it.
        try {
            InstalledReporter()(message, source);
        } catch (...) {
            WriteToErrorStream(message, source);
        }
    }
}

}  // namespace HandlerGuard

}  // namespace Catraca
