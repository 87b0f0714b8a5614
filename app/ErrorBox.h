#pragma once

#include "cache/base/HandlerGuard.h"

#include <QString>

namespace Catraca {

// The error message box that every exception escaping a handler ends in.
namespace ErrorBox {

// The message as the box shows it: a full stop is added when the code of its
// last character is greater than that of ".".
QString BoxText(const QString &message);

// The application title from the executable's full name: the file name
// without its folder and without everything from its first ".", every
// character after the first in lower case.
QString ApplicationTitle(const QString &executablePath);

// The title of this running program.
QString ApplicationTitle();

// Shows the modal box: the text, the title, a stop icon and one OK button.
void Show(const QString &message);

// Makes the box the reporter of HandlerGuard. While a box raised by a tick is
// open, errors of later ticks open no second box: they are only logged, so a
// failure that persists does not pile up a box every second.
void Install();

// What Install hands to HandlerGuard; callable directly.
void Report(const QString &message, HandlerGuard::Source source);

}  // namespace ErrorBox

}  // namespace Catraca
