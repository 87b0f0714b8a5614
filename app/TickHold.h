#pragma once

#include <functional>

class QTimer;

namespace Catraca {

class TDBGrid;

// Holds a timer while the grid asks "Delete record?". Ticks that arrive
// while the question is open could make another row current, and the answer
// must delete the row the question was about.
namespace TickHold {

// `timer` gives the timer to hold, or nullptr when there is none. A timer
// that was not running before the question stays stopped afterwards.
void DuringDeleteQuestion(TDBGrid *grid, std::function<QTimer *()> timer);

}  // namespace TickHold

}  // namespace Catraca
