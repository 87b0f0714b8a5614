#include "app/dataaware/GridRowDelegate.h"

#include "app/dataaware/DataSetTableModel.h"

#include <QWidget>

namespace Catraca {

GridRowDelegate::GridRowDelegate(DataSetTableModel *model, QObject *parent)
    : QStyledItemDelegate(parent), model_(model)
{
}

void GridRowDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    option->state &= ~QStyle::State_HasFocus;
    // The current row is highlighted only while the grid has the focus; the
    // indicator column marks it at all times.
    const bool gridFocused = option->widget && option->widget->hasFocus();
    if (gridFocused && index.row() == model_->CurrentRow())
        option->state |= QStyle::State_Selected;
    else
        option->state &= ~QStyle::State_Selected;
}

}  // namespace Catraca
