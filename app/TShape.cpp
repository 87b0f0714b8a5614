#include "app/TShape.h"

#include <QPainter>
#include <QPen>

namespace Catraca {

TShape::TShape(QWidget *parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TShape::SetBrushColor(TColor color)
{
    if (brushColor_ == color)
        return;
    brushColor_ = color;
    if (isVisible())
        repaint();
}

void TShape::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(QPen(ToQColor(clBlack), 1));
    painter.setBrush(ToQColor(brushColor_));
    // The pen runs along the inside of the bounds, as a one-pixel frame.
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace Catraca
