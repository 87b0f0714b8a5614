#pragma once

#include <QString>

namespace Catraca {

// Starts a GUI program on the offscreen platform and watches it from outside:
// how long until its first window is shown, and how much memory it keeps
// resident once it idles. Linux only (the probe rides the dynamic loader's
// preload list and the memory is read from /proc).
namespace ProgramLaunch {

bool Supported();

struct Result {
    double secondsUntilShown = 0;
    long long idleResidentBytes = 0;  // 0 unless an idle time was asked for
};

// Runs `program` (its folder is its program folder), waits for its first
// window, then, when idleSeconds > 0, lets it idle that long and reads its
// resident set; the program is then killed.
Result RunUntilShown(const QString &program, double idleSeconds);

// A fresh folder holding a copy of the executable (and, for the gate program,
// the empty data.cds it needs to start); the copy's full path.
QString CopyIntoFolder(const QString &executable, const QString &folder, bool withEmptyCache);

}  // namespace ProgramLaunch

}  // namespace Catraca
