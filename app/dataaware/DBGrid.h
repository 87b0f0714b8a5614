#pragma once

#include "app/dataaware/GridColumn.h"

#include <QList>
#include <QTableView>
#include <functional>

namespace Catraca {

class DataSetTableModel;
class TClientDataSet;
class TDataSource;

// A grid over the table behind a data source. The table's current row is the
// grid's one highlighted row; clicks and the arrow, page, Home and End keys
// move it through the table, so the grid never keeps a row of its own. Cells
// are never edited here. Esc abandons a pending change, Ctrl+Delete deletes
// the current row after a question, and leaving the grid drops a new row
// nothing was entered into.
class TDBGrid : public QTableView {
    Q_OBJECT
public:
    explicit TDBGrid(QWidget *parent = nullptr);
    ~TDBGrid() override;

    void SetDataSource(TDataSource *source);
    TDataSource *DataSource() const;
    void SetColumns(const QList<TGridColumn> &columns);
    DataSetTableModel *TableModel() const { return tableModel_; }

    // Rows that fit in the grid at once: the distance of PgUp and PgDn.
    int VisibleRowCount() const;

signals:
    // Around the question "Delete record?": whoever can move the table's
    // current row while the question is open holds back until it closes.
    void DeleteQuestionOpened();
    void DeleteQuestionClosed();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    std::function<void()> ActionForKey(const QKeyEvent &event);
    TClientDataSet *ActiveTable() const;
    void MoveByViewRows(int distance);
    void ConfirmAndDelete();
    bool AskDeleteRecord();
    void CancelUntouchedInsert();
    void ApplyColumnLayout();
    void FollowCurrentRow(int row);

    DataSetTableModel *tableModel_;
};

}  // namespace Catraca
