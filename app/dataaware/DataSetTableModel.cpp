#include "app/dataaware/DataSetTableModel.h"

#include "cache/table/ClientDataSet.h"
#include "cache/table/DataSource.h"
#include "cache/table/Field.h"

#include <algorithm>

namespace Catraca {

class DataSetTableModel::Link : public TDataLink {

public:
    explicit Link(DataSetTableModel *model) : model_(model) {}
    void ActiveChanged() override { model_->OnActiveChanged(); }
    void DataSetChanged() override { model_->OnRowsChanged(); }
    void EditingChanged() override { model_->OnRowsChanged(); }
    void DataSetScrolled() override { model_->OnScrolled(); }
    void RecordChanged(TField *) override { model_->OnRecordChanged(); }

private:
    DataSetTableModel *model_;
};

DataSetTableModel::DataSetTableModel(QObject *parent)
    : QAbstractTableModel(parent), link_(std::make_unique<Link>(this))
{
}

DataSetTableModel::~DataSetTableModel() = default;

void DataSetTableModel::SetDataSource(TDataSource *source)
{
    link_->SetDataSource(source);
    OnActiveChanged();
}

TDataSource *DataSetTableModel::DataSource() const
{
    return link_->DataSource();
}

TClientDataSet *DataSetTableModel::DataSet() const
{
    return link_->DataSource() ? link_->DataSet() : nullptr;
}

void DataSetTableModel::SetColumns(const QList<TGridColumn> &columns)
{
    explicitColumns_ = columns;
    OnActiveChanged();
}

int DataSetTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rowCount_;
}

int DataSetTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant DataSetTableModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    // The table is asked directly; a row it no longer has reads as nothing
    // until its notice arrives.
    const int row = TableRowOf(index.row());
    if (row < 0 || row >= LiveRowCount())
        return {};
    TField *field = FieldOf(index.column());
    if (!field)
        return {};
    return DataSet()->ViewText(row, field);
}

QVariant DataSetTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical) {
        if (role == kRowMarkRole)
            return static_cast<int>(MarkOf(section));
        return {};
    }
    if (role == Qt::DisplayRole && section >= 0 && section < columns_.size())
        return columns_.at(section).Title;
    return {};
}

Qt::ItemFlags DataSetTableModel::flags(const QModelIndex &index) const
{
    // Rows are chosen through the table's current row, never by the view.
    return index.isValid() ? Qt::ItemIsEnabled : Qt::NoItemFlags;
}

void DataSetTableModel::OnActiveChanged()
{
    beginResetModel();
    RebuildColumns();
    rowCount_ = LiveRowCount();
    currentRow_ = LiveCurrentRow();
    endResetModel();
    emit ColumnsReset();
    emit CurrentRowMoved(currentRow_);
}

void DataSetTableModel::OnRowsChanged()
{
    SyncRowCount();
    if (rowCount_ > 0 && !columns_.isEmpty())
        emit dataChanged(index(0, 0), index(rowCount_ - 1, static_cast<int>(columns_.size()) - 1));
    if (rowCount_ > 0)
        emit headerDataChanged(Qt::Vertical, 0, rowCount_ - 1);
    SyncCurrentRow();
}

void DataSetTableModel::OnScrolled()
{
    SyncRowCount();
    SyncCurrentRow();
}

void DataSetTableModel::OnRecordChanged()
{
    SyncRowCount();
    EmitRowChanged(currentRow_);
    SyncCurrentRow();
}

void DataSetTableModel::RebuildColumns()
{
    if (!explicitColumns_.isEmpty()) {
        columns_ = explicitColumns_;
        return;
    }
    columns_.clear();
    TClientDataSet *table = DataSet();
    if (!table)
        return;
    for (int i = 0; i < table->FieldCount(); ++i) {
        TField *field = table->Fields(i);
        columns_.append({field->FieldName(), field->FieldName(), 64, true});
    }
}

// The table adds a row at its current row (an insert goes before the row it
// was started on) and removes the current row, one at a time; views are
// told the row where that happened, so their selection and scroll position
// follow. Any other change is reported at the end.
void DataSetTableModel::SyncRowCount()
{
    const int liveCount = LiveRowCount();
    if (liveCount == rowCount_ + 1) {
        const int inserted = std::clamp(LiveCurrentRow(), 0, rowCount_);
        // Until the views are told, they must still see the rows as they were.
        rowShift_ = {inserted, +1};
        beginInsertRows(QModelIndex(), inserted, inserted);
        rowShift_ = {};
        rowCount_ = liveCount;
        endInsertRows();
    } else if (liveCount == rowCount_ - 1 && currentRow_ >= 0 && currentRow_ < rowCount_) {
        rowShift_ = {currentRow_, -1};
        beginRemoveRows(QModelIndex(), currentRow_, currentRow_);
        rowShift_ = {};
        rowCount_ = liveCount;
        endRemoveRows();
    } else if (liveCount > rowCount_) {
        beginInsertRows(QModelIndex(), rowCount_, liveCount - 1);
        rowCount_ = liveCount;
        endInsertRows();
    } else if (liveCount < rowCount_) {
        beginRemoveRows(QModelIndex(), liveCount, rowCount_ - 1);
        rowCount_ = liveCount;
        endRemoveRows();
    }
}

void DataSetTableModel::SyncCurrentRow()
{
    const int previous = currentRow_;
    currentRow_ = LiveCurrentRow();
    EmitRowChanged(previous);
    if (currentRow_ != previous)
        EmitRowChanged(currentRow_);
    emit CurrentRowMoved(currentRow_);
}

int DataSetTableModel::TableRowOf(int row) const
{
    if (rowShift_.delta == 0 || row < rowShift_.from)
        return row;
    if (rowShift_.delta < 0 && row == rowShift_.from)
        return -1;  // the removed row, already gone from the table
    return row + (rowShift_.delta > 0 ? 1 : -1);
}

int DataSetTableModel::LiveRowCount() const
{
    TClientDataSet *table = DataSet();
    return table && table->Active() ? table->ViewRowCount() : 0;
}

int DataSetTableModel::LiveCurrentRow() const
{
    TClientDataSet *table = DataSet();
    return table && table->Active() ? table->ViewCurrentRow() : -1;
}

DataSetTableModel::RowMark DataSetTableModel::MarkOf(int row) const
{
    if (row < 0 || row != currentRow_)
        return NoMark;
    switch (DataSet()->State()) {
    case dsEdit:
        return EditMark;
    case dsInsert:
        return InsertMark;
    default:
        return CurrentMark;
    }
}

TField *DataSetTableModel::FieldOf(int column) const
{
    TClientDataSet *table = DataSet();
    if (!table || column < 0 || column >= columns_.size())
        return nullptr;
    return table->FindField(columns_.at(column).FieldName);
}

void DataSetTableModel::EmitRowChanged(int row)
{
    if (row < 0 || row >= rowCount_)
        return;
    if (!columns_.isEmpty())
        emit dataChanged(index(row, 0), index(row, static_cast<int>(columns_.size()) - 1));
    emit headerDataChanged(Qt::Vertical, row, row);
}

}  // namespace Catraca
