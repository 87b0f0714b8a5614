#include "app/dataaware/GridRowDelegate.h"

#include "app/dataaware/DataSetTableModel.h"

GridRowDelegate::GridRowDelegate(DataSetTableModel *model, QObject *parent)
    : QStyledItemDelegate(parent), model_(model)
{
}

void GridRowDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    option->state &= ~QStyle::State_HasFocus;
    if (index.row() == model_->CurrentRow())
        option->state |= QStyle::State_Selected;
    else
        option->state &= ~QStyle::State_Selected;
}
