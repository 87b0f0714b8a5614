#include "app/dataaware/GridTitleHeader.h"

#include <QEvent>
#include <QHoverEvent>
#include <QMouseEvent>
#include <QPainter>

namespace Catraca {

GridTitleHeader::GridTitleHeader(QWidget *parent) : QHeaderView(Qt::Horizontal, parent)
{
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setSectionsClickable(true);
    // Moves without a pressed button only reach the viewport when it asks for them.
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_Hover);
}

bool GridTitleHeader::viewportEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseMove:
        SetHotSection(logicalIndexAt(static_cast<QMouseEvent *>(event)->position().toPoint()));
        break;
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
        SetHotSection(logicalIndexAt(static_cast<QHoverEvent *>(event)->position().toPoint()));
        break;
    case QEvent::HoverLeave:
    case QEvent::Leave:
        SetHotSection(-1);
        break;
    default:
        break;
    }
    return QHeaderView::viewportEvent(event);
}

void GridTitleHeader::SetHotSection(int section)
{
    if (section == hotSection_)
        return;
    const int previous = hotSection_;
    hotSection_ = section;
    if (previous >= 0)
        updateSection(previous);
    if (section >= 0)
        updateSection(section);
}

void GridTitleHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    QHeaderView::paintSection(painter, rect, logicalIndex);
    if (logicalIndex != hotSection_)
        return;
    // A light wash of the selection colour over the title, its text still legible.
    QColor wash = palette().color(QPalette::Highlight);
    wash.setAlpha(64);
    painter->save();
    painter->setClipRect(rect);  // the section's own painting leaves the clip empty
    painter->fillRect(rect.adjusted(1, 1, -1, -1), wash);
    painter->restore();
}

}  // namespace Catraca
