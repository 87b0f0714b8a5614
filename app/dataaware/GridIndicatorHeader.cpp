#include "app/dataaware/GridIndicatorHeader.h"

#include "app/dataaware/DataSetTableModel.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace Catraca {

namespace {

void DrawTriangle(QPainter *painter, const QPointF &centre)
{
    QPainterPath path;
    path.moveTo(centre + QPointF(-2.0, -4.0));
    path.lineTo(centre + QPointF(2.5, 0.0));
    path.lineTo(centre + QPointF(-2.0, 4.0));
    path.closeSubpath();
    painter->fillPath(path, painter->pen().color());
}

void DrawIBeam(QPainter *painter, const QPointF &centre)
{
    painter->drawLine(centre + QPointF(0.0, -4.0), centre + QPointF(0.0, 4.0));
    painter->drawLine(centre + QPointF(-2.0, -4.5), centre + QPointF(2.0, -4.5));
    painter->drawLine(centre + QPointF(-2.0, 4.5), centre + QPointF(2.0, 4.5));
}

void DrawAsterisk(QPainter *painter, const QPointF &centre)
{
    for (int spoke = 0; spoke < 3; ++spoke) {
        const qreal angle = qDegreesToRadians(90.0 + 60.0 * spoke);
        const QPointF reach(3.5 * qCos(angle), 3.5 * qSin(angle));
        painter->drawLine(centre - reach, centre + reach);
    }
}

}  // namespace

GridIndicatorHeader::GridIndicatorHeader(QWidget *parent) : QHeaderView(Qt::Vertical, parent)
{
    setSectionResizeMode(QHeaderView::Fixed);
    setSectionsClickable(false);
    setFixedWidth(kIndicatorWidth);
}

QSize GridIndicatorHeader::sizeHint() const
{
    QSize hint = QHeaderView::sizeHint();
    hint.setWidth(kIndicatorWidth);
    return hint;
}

void GridIndicatorHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    // The style clips to the label's room, which a section this narrow does
    // not have; the mark is drawn over the whole section instead.
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    if (!model())
        return;
    const int mark = model()->headerData(logicalIndex, Qt::Vertical, DataSetTableModel::kRowMarkRole).toInt();
    if (mark == DataSetTableModel::NoMark)
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(palette().color(QPalette::ButtonText), 1.0));
    const QPointF centre = QRectF(rect).center();
    if (mark == DataSetTableModel::EditMark)
        DrawIBeam(painter, centre);
    else if (mark == DataSetTableModel::InsertMark)
        DrawAsterisk(painter, centre);
    else
        DrawTriangle(painter, centre);
    painter->restore();
}

}  // namespace Catraca
