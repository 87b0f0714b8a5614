#include "cache/table/ClientDataSet.h"

#include "cache/base/AnsiText.h"
#include "cache/table/DataSource.h"
#include "cache/base/Exceptions.h"
#include "cache/table/FieldKinds.h"
#include "cache/packet/PacketCodec.h"
#include "cache/base/Platform.h"

#include <QStringList>
#include <algorithm>
#include <limits>

namespace Catraca {

namespace {

const char *const kClosedDataset = "Cannot perform this operation on a closed dataset";
const char *const kEmptyDataset = "Cannot perform this operation on an empty dataset";
const char *const kNotEditing = "Dataset not in edit or insert mode";
const char *const kMissingPacket = "Missing data provider or data packet";

bool IsBlank(const Cell &cell)
{
    return std::holds_alternative<std::monostate>(cell);
}

bool SameName(const QString &left, const QString &right)
{
    return left == right || left.toUpper() == right.toUpper();
}

// Values read from a packet take the stored form an assigned value takes: a
// fixed-width column arrives with its values padded by blanks, and "AB   "
// would never again match the "AB" that a command or the operator gives.
void FitStringCells(std::vector<PacketRow> &rows, const QList<PacketColumn> &columns)
{
    for (qsizetype column = 0; column < columns.size(); ++column) {
        const PacketColumn &description = columns[column];
        if (description.kind != ColumnKind::AnsiString || description.isArray)
            continue;
        for (PacketRow &row : rows) {
            if (std::size_t(column) >= row.cells.size())
                continue;
            if (auto *bytes = std::get_if<QByteArray>(&row.cells[std::size_t(column)]))
                AnsiText::FitToWidth(*bytes, description.size);
        }
    }
}

}  // namespace

// --- life --------------------------------------------------------------------

TClientDataSet::TClientDataSet(QString name) : name_(std::move(name)) {}

TClientDataSet::~TClientDataSet()
{
    const QList<TDataSource *> sources = dataSources_;
    for (TDataSource *source : sources)
        source->SetDataSet(nullptr);
}

void TClientDataSet::AddDeclaredField(std::unique_ptr<TField> field)
{
    if (Active())
        field->columnIndex_ = Packet{columns_, {}, {}, {}}.columnIndex(field->FieldName());
    declaredFields_.push_back(std::move(field));
    lastKeyFields_.clear();
    lastKeyFieldList_.clear();
}

EDatabaseError TClientDataSet::TableError(const QString &text) const
{
    if (name_.isEmpty())
        return EDatabaseError(text);
    return EDatabaseError(name_ + QStringLiteral(": ") + text);
}

void TClientDataSet::RaiseClosed() const
{
    throw TableError(QLatin1String(kClosedDataset));
}

void TClientDataSet::CheckActive() const
{
    if (!Active())
        RaiseClosed();
}

// --- held packet, open and close ---------------------------------------------

void TClientDataSet::SetHeldPacket(const QByteArray &packet)
{
    if (packet.isEmpty())
        heldPacket_ = std::monostate{};
    else
        heldPacket_ = packet;
}

bool TClientDataSet::HasHeldPacket() const
{
    return !std::holds_alternative<std::monostate>(heldPacket_);
}

void TClientDataSet::Open()
{
    if (Active())
        return;
    if (!HasHeldPacket())
        throw TableError(QLatin1String(kMissingPacket));
    Packet packet = DecodeHeldPacket();
    BindDeclaredFields(packet);
    MakePacketFields(packet);
    TakeRows(packet);
    heldPacket_ = std::monostate{};
    state_ = dsBrowse;
    modified_ = false;
    current_ = rows_.RowCount() > 0 ? 0 : -1;
    bof_ = true;
    eof_ = rows_.RowCount() == 0;
    NotifyActiveChanged();
}

Packet TClientDataSet::DecodeHeldPacket() const
{
    if (const auto *bytes = std::get_if<QByteArray>(&heldPacket_))
        return PacketCodec::Decode(*bytes);
    return std::get<Packet>(heldPacket_);
}

// Checks every declared column before binding any, so that a refused packet
// leaves the columns as they were.
void TClientDataSet::BindDeclaredFields(const Packet &packet)
{
    std::vector<int> columnOfField;
    columnOfField.reserve(declaredFields_.size());
    for (const auto &field : declaredFields_) {
        const int column = packet.columnIndex(field->FieldName());
        if (column < 0)
            throw TableError(QStringLiteral("Field '%1' not found").arg(field->FieldName()));
        const TFieldType packetType = FieldKinds::TypeOfColumn(packet.columns[column]);
        if (packetType != field->DataType()) {
            throw TableError(QStringLiteral("Type mismatch for field '%1', expecting: %2 actual: %3")
                                 .arg(field->FieldName(), FieldTypeName(field->DataType()),
                                      FieldTypeName(packetType)));
        }
        columnOfField.push_back(column);
    }
    for (std::size_t index = 0; index < declaredFields_.size(); ++index)
        declaredFields_[index]->columnIndex_ = columnOfField[index];
}

void TClientDataSet::MakePacketFields(const Packet &packet)
{
    packetFields_.clear();
    if (!declaredFields_.empty())
        return;
    for (int column = 0; column < packet.columns.size(); ++column) {
        if (packet.columns[column].hidden)
            continue;
        std::unique_ptr<TField> field = FieldKinds::MakeField(this, packet.columns[column]);
        field->columnIndex_ = column;
        packetFields_.push_back(std::move(field));
    }
}

void TClientDataSet::TakeRows(Packet &packet)
{
    columns_ = packet.columns;
    FitStringCells(packet.rows, columns_);
    rows_.Assign(packet.rows, std::size_t(columns_.size()));
    searchIndex_.Drop();
    autoIncValue_ = packet.autoIncValue;
    tableAttributes_ = packet.tableAttributes;
}

Packet TClientDataSet::ShapePacket() const
{
    Packet packet;
    packet.columns = columns_;
    packet.autoIncValue = autoIncValue_;
    packet.tableAttributes = tableAttributes_;
    return packet;
}

Packet TClientDataSet::SnapshotPacket() const
{
    Packet packet = ShapePacket();
    packet.rows.resize(static_cast<std::size_t>(rows_.RowCount()));
    for (int row = 0; row < rows_.RowCount(); ++row) {
        auto &cells = packet.rows[row].cells;
        cells.reserve(rows_.ColumnCount());
        for (std::size_t column = 0; column < rows_.ColumnCount(); ++column)
            cells.push_back(rows_.At(column, row));
    }
    return packet;
}

// The rows leave the table: the close that calls it drops them anyway.
Packet TClientDataSet::TakeSnapshotPacket()
{
    Packet packet;
    packet.columns = std::move(columns_);
    packet.autoIncValue = autoIncValue_;
    packet.tableAttributes = std::move(tableAttributes_);
    packet.rows.resize(static_cast<std::size_t>(rows_.RowCount()));
    for (int row = 0; row < rows_.RowCount(); ++row) {
        auto &cells = packet.rows[row].cells;
        cells.reserve(rows_.ColumnCount());
        for (std::size_t column = 0; column < rows_.ColumnCount(); ++column)
            cells.push_back(std::move(rows_.At(column, row)));
    }
    return packet;
}

void TClientDataSet::DropRows()
{
    columns_.clear();
    rows_.Clear();
    searchIndex_.Drop();
    current_ = -1;
    pending_.clear();
    autoIncValue_.reset();
    tableAttributes_.clear();
    for (auto &field : declaredFields_)
        field->columnIndex_ = -1;
    packetFields_.clear();
    lastKeyFields_.clear();
    lastKeyFieldList_.clear();
}

void TClientDataSet::Close()
{
    if (!Active())
        return;
    heldPacket_ = TakeSnapshotPacket();
    DropRows();
    state_ = dsInactive;
    modified_ = false;
    bof_ = false;
    eof_ = false;
    NotifyActiveChanged();
}

// --- load and save -----------------------------------------------------------

void TClientDataSet::LoadFromFile(const QString &fileName)
{
    Close();
    QByteArray content = Platform::ReadWholeFile(fileName);
    if (!content.isEmpty())
        heldPacket_ = std::move(content);
    Open();
}

void TClientDataSet::LoadFromPacket(Packet packet)
{
    Close();
    heldPacket_ = std::move(packet);
    Open();
}

void TClientDataSet::SaveToFile(const QString &fileName, TDataPacketFormat format)
{
    if (!Active())
        return;
    if (format == dfBinary && fileName.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive))
        format = dfXML;
    Platform::WriteFileDurably(fileName, SaveToBytes(format));
}

QByteArray TClientDataSet::SaveToBytes(TDataPacketFormat format)
{
    // The binary form is written straight from the columns: every save of the
    // release cache takes this path, and copying each cell into a row first
    // was a fifth of its work.
    if (format == dfBinary) {
        CheckBrowseMode();
        return PacketCodec::EncodeBinaryColumns(ShapePacket(), rows_.ColumnsBySlot(), rows_.Order());
    }
    return PacketCodec::EncodeXml(SaveToPacket(), format == dfXMLUTF8);
}

Packet TClientDataSet::SaveToPacket()
{
    CheckBrowseMode();
    return SnapshotPacket();
}

// --- navigation --------------------------------------------------------------

void TClientDataSet::MoveTo(int row, bool bof, bool eof)
{
    const bool changed = row != current_ || bof != bof_ || eof != eof_;
    current_ = row;
    bof_ = bof;
    eof_ = eof;
    if (changed)
        NotifyScrolled();
}

void TClientDataSet::First()
{
    CheckBrowseMode();
    MoveTo(rows_.RowCount() > 0 ? 0 : -1, true, rows_.RowCount() == 0);
}

void TClientDataSet::Last()
{
    CheckBrowseMode();
    MoveTo(rows_.RowCount() - 1, rows_.RowCount() == 0, true);
}

void TClientDataSet::Next()
{
    MoveBy(1);
}

void TClientDataSet::Prior()
{
    MoveBy(-1);
}

// A move towards an end the table already stands at does nothing, so an
// empty table keeps both flags.
int TClientDataSet::MoveBy(int distance)
{
    CheckBrowseMode();
    if (distance == 0 || (distance > 0 && eof_) || (distance < 0 && bof_))
        return 0;
    if (rows_.RowCount() == 0) {
        MoveTo(-1, distance < 0, distance > 0);
        return 0;
    }
    const qint64 wanted = qint64(current_) + distance;
    const int target = int(std::clamp<qint64>(wanted, 0, rows_.RowCount() - 1));
    const bool stoppedShort = target != wanted;
    const int moved = target - current_;
    MoveTo(target, stoppedShort && distance < 0, stoppedShort && distance > 0);
    return moved;
}

bool TClientDataSet::IsEmpty() const
{
    if (!Active())
        return true;
    return state_ != dsInsert && rows_.RowCount() == 0;
}

// --- pending rows ------------------------------------------------------------

void TClientDataSet::SetState(TDataSetState state)
{
    state_ = state;
    modified_ = false;
}

void TClientDataSet::StartPending(bool copyCurrent)
{
    pending_.assign(rows_.ColumnCount(), Cell{});
    if (!copyCurrent)
        return;
    for (std::size_t column = 0; column < rows_.ColumnCount(); ++column)
        pending_[column] = rows_.At(column, current_);
}

void TClientDataSet::CheckBrowseMode()
{
    CheckActive();
    if (state_ != dsEdit && state_ != dsInsert)
        return;
    NotifyUpdateData();
    if (modified_)
        Post();
    else
        Cancel();
}

void TClientDataSet::Edit()
{
    CheckActive();
    if (state_ == dsEdit || state_ == dsInsert)
        return;
    if (rows_.RowCount() == 0) {
        Insert();
        return;
    }
    CheckBrowseMode();
    StartPending(true);
    SetState(dsEdit);
    NotifyEditingChanged();
}

void TClientDataSet::Insert()
{
    CheckBrowseMode();
    // Bof and Eof stay: a new row is no move, and the navigator keeps the
    // buttons towards an end the table stands at disabled.
    StartPending(false);
    SetState(dsInsert);
    NotifyDataSetChanged();
    NotifyEditingChanged();
}

void TClientDataSet::Post()
{
    if (state_ != dsEdit && state_ != dsInsert)
        throw TableError(QLatin1String(kNotEditing));
    NotifyUpdateData();
    if (state_ != dsEdit && state_ != dsInsert)
        throw TableError(QLatin1String(kNotEditing));
    CheckRequiredColumns();
    if (state_ == dsInsert)
        NumberNewRow();
    StorePendingRow();
}

void TClientDataSet::CheckRequiredColumns() const
{
    for (int column = 0; column < columns_.size(); ++column) {
        const PacketColumn &description = columns_[column];
        if (!description.required || !IsBlank(pending_[column]))
            continue;
        if (state_ == dsInsert && FieldKinds::IsAutoIncrement(description))
            continue;  // numbered below
        throw EDatabaseError(QStringLiteral("Field '%1' must have a value").arg(description.name));
    }
}

// Blank auto-increment columns of a new row take the table's counter. A
// packet that brought no counter continues after the highest number present.
void TClientDataSet::NumberNewRow()
{
    std::vector<int> blankCounters;
    for (int column = 0; column < columns_.size(); ++column) {
        if (FieldKinds::IsAutoIncrement(columns_[column]) && IsBlank(pending_[column]))
            blankCounters.push_back(column);
    }
    if (blankCounters.empty())
        return;
    if (!autoIncValue_) {
        qint64 highest = 0;
        for (int column : blankCounters) {
            for (const Cell &cell : rows_.ColumnBySlot(std::size_t(column))) {  // free slots are blank
                if (const auto *number = std::get_if<qint64>(&cell))
                    highest = std::max(highest, *number);
            }
        }
        autoIncValue_ = qint32(std::min<qint64>(highest + 1, std::numeric_limits<qint32>::max()));
    }
    if (*autoIncValue_ == std::numeric_limits<qint32>::max())
        throw TableError(QStringLiteral("Auto-increment value out of range"));
    for (int column : blankCounters)
        pending_[column] = qint64(*autoIncValue_);
    autoIncValue_ = *autoIncValue_ + 1;
}

void TClientDataSet::StorePendingRow()
{
    if (state_ == dsEdit) {
        ReplaceStoredRow();
    } else {
        const int position = std::max(current_, 0);
        InsertStoredRow(position);
        current_ = position;
    }
    pending_.clear();
    bof_ = false;
    eof_ = false;
    SetState(dsBrowse);
    NotifyDataSetChanged();
    NotifyEditingChanged();
}

// The search index follows every stored change of its column.
void TClientDataSet::ReplaceStoredRow()
{
    if (searchIndex_.Built()) {
        const auto column = std::size_t(searchIndex_.Column());
        searchIndex_.Replace(rows_.SlotAt(current_), rows_.At(column, current_), pending_[column]);
    }
    for (std::size_t column = 0; column < rows_.ColumnCount(); ++column)
        rows_.At(column, current_) = std::move(pending_[column]);
}

void TClientDataSet::InsertStoredRow(int position)
{
    const int slot = rows_.Insert(position, pending_);
    if (searchIndex_.Built())
        searchIndex_.Add(slot, rows_.At(std::size_t(searchIndex_.Column()), position));
}

void TClientDataSet::RemoveStoredRow(int position)
{
    if (searchIndex_.Built())
        searchIndex_.Remove(rows_.SlotAt(position), rows_.At(std::size_t(searchIndex_.Column()), position));
    rows_.Remove(position);
}

void TClientDataSet::AbandonPending()
{
    const bool wasInsert = state_ == dsInsert;
    pending_.clear();
    SetState(dsBrowse);
    if (wasInsert)
        NotifyDataSetChanged();
    NotifyEditingChanged();
}

void TClientDataSet::Cancel()
{
    if (state_ == dsEdit || state_ == dsInsert)
        AbandonPending();
}

void TClientDataSet::Delete()
{
    CheckActive();
    if (state_ == dsInsert) {
        AbandonPending();
        return;
    }
    if (rows_.RowCount() == 0)
        throw TableError(QLatin1String(kEmptyDataset));
    const bool wasEditing = state_ == dsEdit;
    RemoveStoredRow(current_);
    pending_.clear();
    if (rows_.RowCount() == 0) {
        current_ = -1;
        bof_ = eof_ = true;
    } else {
        current_ = std::min(current_, rows_.RowCount() - 1);
        bof_ = eof_ = false;
    }
    SetState(dsBrowse);
    NotifyDataSetChanged();
    if (wasEditing)
        NotifyEditingChanged();
}

// --- columns -----------------------------------------------------------------

TField *TClientDataSet::FindField(const QString &fieldName) const
{
    for (const auto &field : declaredFields_) {
        if (SameName(field->FieldName(), fieldName))
            return field.get();
    }
    for (const auto &field : packetFields_) {
        if (SameName(field->FieldName(), fieldName))
            return field.get();
    }
    return nullptr;
}

TField *TClientDataSet::FieldByName(const QString &fieldName) const
{
    TField *field = FindField(fieldName);
    if (!field)
        throw TableError(QStringLiteral("Field '%1' not found").arg(fieldName));
    return field;
}

int TClientDataSet::FieldCount() const
{
    return int(declaredFields_.empty() ? packetFields_.size() : declaredFields_.size());
}

TField *TClientDataSet::Fields(int index) const
{
    const auto &fields = declaredFields_.empty() ? packetFields_ : declaredFields_;
    if (index < 0 || index >= int(fields.size()))
        throw EArgumentOutOfRangeException(QStringLiteral("Argument out of range"));
    return fields[index].get();
}

int TClientDataSet::RecordCount() const
{
    return rows_.RowCount();
}

int TClientDataSet::RecNo() const
{
    if (state_ == dsInsert)
        return std::max(current_, 0) + 1;
    return current_ + 1;
}

// --- cells -------------------------------------------------------------------

const Cell *TClientDataSet::ActiveCell(int columnIndex) const
{
    if (!Active() || columnIndex < 0 || columnIndex >= columns_.size())
        return nullptr;
    if (state_ == dsEdit || state_ == dsInsert)
        return &pending_[columnIndex];
    if (current_ < 0)
        return nullptr;
    return &rows_.At(std::size_t(columnIndex), current_);
}

QString TClientDataSet::CellText(int columnIndex) const
{
    const Cell *cell = ActiveCell(columnIndex);
    return cell ? FieldCellText(*cell, FieldKinds::TypeOfColumn(columns_[columnIndex])) : QString();
}

bool TClientDataSet::CellIsNull(int columnIndex) const
{
    const Cell *cell = ActiveCell(columnIndex);
    return !cell || IsBlank(*cell);
}

void TClientDataSet::AssignCellText(TField *field, const QString &text)
{
    if (state_ != dsEdit && state_ != dsInsert)
        throw TableError(QLatin1String(kNotEditing));
    if (field->ReadOnly())
        throw EDatabaseError(QStringLiteral("Field '%1' cannot be modified").arg(field->FieldName()));
    const int column = field->ColumnIndex();
    if (field->DataSet() != this || column < 0 || column >= int(pending_.size()))
        throw TableError(QStringLiteral("Field '%1' not found").arg(field->FieldName()));
    pending_[column] = field->CellFrom(text);
    modified_ = true;
    if (controlsDisabled_ == 0)
        NotifySources([field](TDataSource *source) { source->NotifyRecordChanged(field); });
}

// --- views -------------------------------------------------------------------

int TClientDataSet::ViewRowCount() const
{
    return rows_.RowCount() + (state_ == dsInsert ? 1 : 0);
}

int TClientDataSet::ViewCurrentRow() const
{
    if (state_ == dsInsert)
        return std::max(current_, 0);
    return current_;
}

QString TClientDataSet::ViewText(int viewRow, const TField *field) const
{
    if (!field || field->DataSet() != this || viewRow < 0 || viewRow >= ViewRowCount())
        return {};
    const int column = field->ColumnIndex();
    if (column < 0 || column >= columns_.size())
        return {};
    int storedRow = viewRow;
    if (state_ == dsInsert) {
        const int pendingRow = std::max(current_, 0);
        if (viewRow == pendingRow)
            return field->TextOf(pending_[column]);
        if (viewRow > pendingRow)
            storedRow = viewRow - 1;
    } else if (state_ == dsEdit && viewRow == current_) {
        return field->TextOf(pending_[column]);
    }
    return field->TextOf(rows_.At(std::size_t(column), storedRow));
}

void TClientDataSet::AttachDataSource(TDataSource *source)
{
    if (source && !dataSources_.contains(source))
        dataSources_.append(source);
}

void TClientDataSet::DetachDataSource(TDataSource *source)
{
    dataSources_.removeAll(source);
}

template <class Call>
void TClientDataSet::NotifySources(Call call) const
{
    const QList<TDataSource *> sources = dataSources_;
    for (TDataSource *source : sources) {
        if (dataSources_.contains(source))
            call(source);
    }
}

void TClientDataSet::EnableControls()
{
    if (controlsDisabled_ > 0 && --controlsDisabled_ == 0)
        NotifyDataSetChanged();
}

void TClientDataSet::NotifyActiveChanged() const
{
    if (controlsDisabled_ > 0)
        return;
    NotifySources([](TDataSource *source) { source->NotifyActiveChanged(); });
}

void TClientDataSet::NotifyDataSetChanged() const
{
    if (controlsDisabled_ > 0)
        return;
    NotifySources([](TDataSource *source) { source->NotifyDataSetChanged(); });
}

void TClientDataSet::NotifyScrolled() const
{
    if (controlsDisabled_ > 0)
        return;
    NotifySources([](TDataSource *source) { source->NotifyDataSetScrolled(); });
}

void TClientDataSet::NotifyEditingChanged() const
{
    if (controlsDisabled_ > 0)
        return;
    NotifySources([](TDataSource *source) { source->NotifyEditingChanged(); });
}

void TClientDataSet::NotifyUpdateData() const
{
    NotifySources([](TDataSource *source) { source->NotifyUpdateData(); });
}

}  // namespace Catraca
