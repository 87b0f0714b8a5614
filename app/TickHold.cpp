#include "app/TickHold.h"

#include "app/dataaware/DBGrid.h"

#include <QTimer>
#include <memory>

namespace Catraca {

namespace TickHold {

void DuringDeleteQuestion(TDBGrid *grid, std::function<QTimer *()> timer)
{
    auto held = std::make_shared<bool>(false);
    QObject::connect(grid, &TDBGrid::DeleteQuestionOpened, grid, [timer, held] {
        QTimer *ticks = timer();
        *held = ticks && ticks->isActive();
        if (*held)
            ticks->stop();
    });
    QObject::connect(grid, &TDBGrid::DeleteQuestionClosed, grid, [timer, held] {
        QTimer *ticks = timer();
        if (*held && ticks)
            ticks->start();
        *held = false;
    });
}

}  // namespace TickHold

}  // namespace Catraca
