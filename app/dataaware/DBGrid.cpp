#include "app/dataaware/DBGrid.h"

#include "app/dataaware/DataSetTableModel.h"
#include "app/dataaware/GridIndicatorHeader.h"
#include "app/dataaware/GridRowDelegate.h"
#include "app/dataaware/GridTitleHeader.h"
#include "cache/table/ClientDataSet.h"
#include "cache/table/DataSource.h"
#include "cache/base/HandlerGuard.h"

#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>

namespace Catraca {

TDBGrid::TDBGrid(QWidget *parent) : QTableView(parent), tableModel_(new DataSetTableModel(this))
{
    setHorizontalHeader(new GridTitleHeader(this));
    setVerticalHeader(new GridIndicatorHeader(this));
    setModel(tableModel_);
    setItemDelegate(new GridRowDelegate(tableModel_, this));

    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setCornerButtonEnabled(false);
    setShowGrid(true);
    setWordWrap(false);

    QHeaderView *titles = horizontalHeader();
    titles->setSectionResizeMode(QHeaderView::Interactive);
    titles->setSectionsMovable(true);
    titles->setHighlightSections(false);
    titles->setStretchLastSection(false);

    const int rowHeight = fontMetrics().height() + 4;
    verticalHeader()->setMinimumSectionSize(rowHeight);
    verticalHeader()->setDefaultSectionSize(rowHeight);

    connect(tableModel_, &DataSetTableModel::ColumnsReset, this, &TDBGrid::ApplyColumnLayout);
    connect(tableModel_, &DataSetTableModel::CurrentRowMoved, this, &TDBGrid::FollowCurrentRow);
}

TDBGrid::~TDBGrid() = default;

void TDBGrid::SetDataSource(TDataSource *source)
{
    tableModel_->SetDataSource(source);
}

TDataSource *TDBGrid::DataSource() const
{
    return tableModel_->DataSource();
}

void TDBGrid::SetColumns(const QList<TGridColumn> &columns)
{
    tableModel_->SetColumns(columns);
}

int TDBGrid::VisibleRowCount() const
{
    const int rowHeight = qMax(1, verticalHeader()->defaultSectionSize());
    return qMax(1, viewport()->height() / rowHeight);
}

void TDBGrid::keyPressEvent(QKeyEvent *event)
{
    std::function<void()> action = ActionForKey(*event);
    if (!action) {
        event->ignore();
        return;
    }
    event->accept();
    HandlerGuard::Run(action);
}

std::function<void()> TDBGrid::ActionForKey(const QKeyEvent &event)
{
    switch (event.key()) {
    case Qt::Key_Up:
        return [this] { MoveByViewRows(-1); };
    case Qt::Key_Down:
        return [this] { MoveByViewRows(1); };
    case Qt::Key_PageUp:
        return [this] { MoveByViewRows(-VisibleRowCount()); };
    case Qt::Key_PageDown:
        return [this] { MoveByViewRows(VisibleRowCount()); };
    case Qt::Key_Home:
        return [this] { if (TClientDataSet *table = ActiveTable()) table->First(); };
    case Qt::Key_End:
        return [this] { if (TClientDataSet *table = ActiveTable()) table->Last(); };
    case Qt::Key_Escape:
        return [this] { if (TClientDataSet *table = ActiveTable()) table->Cancel(); };
    case Qt::Key_Delete:
        if (event.modifiers() & Qt::ControlModifier)
            return [this] { ConfirmAndDelete(); };
        return {};
    default:
        return {};
    }
}

TClientDataSet *TDBGrid::ActiveTable() const
{
    TClientDataSet *table = tableModel_->DataSet();
    return table && table->Active() ? table : nullptr;
}

// Moves to the row that stands `distance` rows from the current one as the
// grid shows it now. Leaving a pending change first may drop a new row that
// nothing was entered into, which shifts the rows below it up by one; the
// target is mapped through that shift, so the operator lands on the row they
// pointed at.
void TDBGrid::MoveByViewRows(int distance)
{
    TClientDataSet *table = ActiveTable();
    if (!table)
        return;
    const bool inserting = table->State() == dsInsert;
    const int startRow = table->ViewCurrentRow();
    const int rowsBefore = table->ViewRowCount();
    table->CheckBrowseMode();
    int target = startRow + distance;
    if (inserting && table->ViewRowCount() < rowsBefore && target > startRow)
        --target;
    const int remaining = target - table->ViewCurrentRow();
    if (remaining != 0)
        table->MoveBy(remaining);
}

void TDBGrid::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) {
        event->ignore();
        return;
    }
    event->accept();
    const int row = rowAt(event->position().toPoint().y());
    if (row < 0)
        return;
    HandlerGuard::Run([this, row] {
        if (TClientDataSet *table = ActiveTable())
            MoveByViewRows(row - table->ViewCurrentRow());
    });
}

// Dragging and double clicks would only move the view's own cursor, which
// the grid does not use.
void TDBGrid::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
}

void TDBGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
}

void TDBGrid::ConfirmAndDelete()
{
    TClientDataSet *table = ActiveTable();
    if (!table || table->IsEmpty())
        return;
    if (AskDeleteRecord())
        table->Delete();
}

bool TDBGrid::AskDeleteRecord()
{
    QMessageBox question(QMessageBox::Question, QStringLiteral("Confirm"), QStringLiteral("Delete record?"),
                         QMessageBox::NoButton, this);
    QPushButton *ok = question.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    QPushButton *cancel = question.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    // Enter from a barcode scanner must not delete a row by accident.
    question.setDefaultButton(cancel);
    question.setEscapeButton(cancel);

    emit DeleteQuestionOpened();
    struct ClosedNotice {
        TDBGrid *grid;
        ~ClosedNotice() { emit grid->DeleteQuestionClosed(); }
    } closedNotice{this};
    question.exec();
    return question.clickedButton() == ok;
}

void TDBGrid::focusInEvent(QFocusEvent *event)
{
    QTableView::focusInEvent(event);
    viewport()->update();  // the current row's highlight comes with the focus
}

void TDBGrid::focusOutEvent(QFocusEvent *event)
{
    QTableView::focusOutEvent(event);
    viewport()->update();
    // A box or menu over the window takes the focus only for a while; the
    // operator has not left the grid.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    HandlerGuard::Run([this] { CancelUntouchedInsert(); });
}

void TDBGrid::CancelUntouchedInsert()
{
    TClientDataSet *table = ActiveTable();
    if (table && table->State() == dsInsert && !table->Modified())
        table->Cancel();
}

void TDBGrid::ApplyColumnLayout()
{
    const QList<TGridColumn> &columns = tableModel_->Columns();
    for (int i = 0; i < columns.size(); ++i) {
        setColumnWidth(i, columns.at(i).Width);
        setColumnHidden(i, !columns.at(i).Visible);
    }
}

void TDBGrid::FollowCurrentRow(int row)
{
    if (row < 0)
        return;
    int column = columnAt(0);
    for (int i = 0; column < 0 && i < tableModel_->columnCount(); ++i)
        if (!isColumnHidden(i))
            column = i;
    if (column >= 0)
        scrollTo(tableModel_->index(row, column), QAbstractItemView::EnsureVisible);
    viewport()->update();
    verticalHeader()->viewport()->update();
}

}  // namespace Catraca
