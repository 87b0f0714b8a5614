#pragma once

#include <QHeaderView>

namespace Catraca {

// The grid's title row: titles sit at the left of their columns, and the
// title under the mouse pointer is drawn highlighted while the pointer is
// over it.
class GridTitleHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit GridTitleHeader(QWidget *parent = nullptr);

protected:
    bool viewportEvent(QEvent *event) override;
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;

private:
    void SetHotSection(int section);

    int hotSection_ = -1;  // logical index of the title under the pointer
};

}  // namespace Catraca
