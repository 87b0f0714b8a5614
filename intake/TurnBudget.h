#pragma once

#include <QDeadlineTimer>

namespace Catraca {

// How long the collector may keep the event loop in one turn. Outside a turn
// of the event loop (start-up's resume, a tick called directly) there is no
// limit and a tick finishes everything it finds.
class TurnBudget {
public:
    void Start(int milliseconds) { deadline_.setRemainingTime(milliseconds); }
    void SetUnlimited() { deadline_ = QDeadlineTimer(QDeadlineTimer::Forever); }
    bool Unlimited() const { return deadline_.isForever(); }
    bool Spent() const { return deadline_.hasExpired(); }

private:
    QDeadlineTimer deadline_{QDeadlineTimer::Forever};
};

}  // namespace Catraca
