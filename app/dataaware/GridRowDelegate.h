#pragma once

#include <QStyledItemDelegate>

namespace Catraca {

class DataSetTableModel;

// Draws the table's current row as the highlighted row of the grid, while
// the grid has the focus. The view's own selection is never used: the
// table's current row is the only selection there is, so nothing the view
// does can show another row.
class GridRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    GridRowDelegate(DataSetTableModel *model, QObject *parent = nullptr);

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    DataSetTableModel *model_;
};

}  // namespace Catraca
