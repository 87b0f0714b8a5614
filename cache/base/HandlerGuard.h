#pragma once

#include <QString>
#include <exception>
#include <functional>

namespace Catraca {

// Every event handler of the program runs inside this guard, so that no
// exception ever crosses the GUI toolkit's own code. What a caught exception
// becomes (the error box) is installed by the program.
namespace HandlerGuard {

enum class Source { Event, Tick };

using Reporter = std::function<void(const QString &message, Source source)>;
void SetReporter(Reporter reporter);

// Runs the handler; an exception that escapes it is handed to the reporter
// (the default one writes the message to the error stream).
void Run(const std::function<void()> &handler, Source source = Source::Event);

// The message of any exception: ours, a standard one, or an unknown one.
QString MessageOf(const std::exception_ptr &error);

}  // namespace HandlerGuard

}  // namespace Catraca
