#pragma once

#include <QHeaderView>

namespace Catraca {

// The grid's narrow first column: a vertical header that marks the current
// row with a triangle, a row being edited with an I-beam and a new row with
// an asterisk, as the model's kRowMarkRole tells.
class GridIndicatorHeader : public QHeaderView {
    Q_OBJECT
public:
    static constexpr int kIndicatorWidth = 12;

    explicit GridIndicatorHeader(QWidget *parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
};

}  // namespace Catraca
