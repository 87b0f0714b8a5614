#pragma once

#include "app/dataaware/GridColumn.h"

#include <QAbstractTableModel>
#include <QList>
#include <memory>

namespace Catraca {

class TClientDataSet;
class TDataSource;
class TField;

// Shows the rows of the table behind a data source to Qt's item views. The
// table itself is the only store: every value is read from it when asked,
// and the model follows the table's notices about moved rows, changed values
// and state changes.
class DataSetTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // What the indicator column shows for a row (vertical header, kRowMarkRole).
    enum RowMark { NoMark, CurrentMark, EditMark, InsertMark };
    static constexpr int kRowMarkRole = Qt::UserRole + 1;

    explicit DataSetTableModel(QObject *parent = nullptr);
    ~DataSetTableModel() override;

    void SetDataSource(TDataSource *source);
    TDataSource *DataSource() const;
    TClientDataSet *DataSet() const;

    // Explicit columns; without them the model shows one column per field.
    void SetColumns(const QList<TGridColumn> &columns);
    const QList<TGridColumn> &Columns() const { return columns_; }

    // The row the table calls current, or -1 when there is none.
    int CurrentRow() const { return currentRow_; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

signals:
    // The columns were replaced (a new table, or the table opened or closed
    // with columns made from its fields); views re-apply widths.
    void ColumnsReset();
    void CurrentRowMoved(int row);

private:
    class Link;
    friend class Link;

    void OnActiveChanged();
    void OnRowsChanged();
    void OnScrolled();
    void OnRecordChanged();

    void RebuildColumns();
    void SyncRowCount();
    void SyncCurrentRow();
    int TableRowOf(int row) const;
    int LiveRowCount() const;
    int LiveCurrentRow() const;
    RowMark MarkOf(int row) const;
    TField *FieldOf(int column) const;
    void EmitRowChanged(int row);

    std::unique_ptr<Link> link_;
    QList<TGridColumn> explicitColumns_;
    QList<TGridColumn> columns_;
    // While a view is being told of a row added or removed at `from`, the
    // table already has it: rows from there on are read `delta` rows on.
    struct RowShift {
        int from = 0;
        int delta = 0;
    } rowShift_;
    int rowCount_ = 0;
    int currentRow_ = -1;
};

}  // namespace Catraca
