#include "cache/table/ClientDataSet.h"

#include "cache/base/AnsiText.h"
#include "cache/packet/BinaryPacket.h"
#include "cache/table/DataSource.h"
#include "cache/base/Exceptions.h"
#include "cache/table/FieldKinds.h"
#include "cache/packet/PacketCodec.h"
#include "cache/base/Platform.h"

#include <QStringList>
#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace {

const char *const kClosedDataset = "Cannot perform this operation on a closed dataset";
const char *const kEmptyDataset = "Cannot perform this operation on an empty dataset";
const char *const kNotEditing = "Dataset not in edit or insert mode";
const char *const kMissingPacket = "Missing data provider or data packet";

using UpperCaseTable = std::array<unsigned char, 256>;

// The code page's upper case of every byte, built once: a search compares
// bytes through it without calling out per byte.
const UpperCaseTable &UpperCaseBytes()
{
    static const UpperCaseTable table = [] {
        UpperCaseTable bytes{};
        for (int value = 0; value < 256; ++value)
            bytes[value] = static_cast<unsigned char>(AnsiText::UpperCase(char(value)));
        return bytes;
    }();
    return table;
}

// True for the bytes that another byte turns into when upper-cased (the
// upper-case letters): a literal without them compares the same with or
// without regard to case, so plain memcmp serves, as for a numeric barcode.
const std::array<bool, 256> &HasLowerCaseForm()
{
    static const std::array<bool, 256> table = [] {
        std::array<bool, 256> hasLower{};
        const UpperCaseTable &upper = UpperCaseBytes();
        for (int value = 0; value < 256; ++value) {
            if (upper[value] != value)
                hasLower[upper[value]] = true;
        }
        return hasLower;
    }();
    return table;
}

bool EqualIgnoringCase(const char *stored, const char *upperLiteral, qsizetype length, const UpperCaseTable &upper)
{
    for (qsizetype index = 0; index < length; ++index) {
        if (upper[static_cast<unsigned char>(stored[index])] != static_cast<unsigned char>(upperLiteral[index]))
            return false;
    }
    return true;
}

bool IsBlank(const Cell &cell)
{
    return std::holds_alternative<std::monostate>(cell);
}

bool IsEightBitString(TFieldType type)
{
    return type == ftString || type == ftFixedChar;
}

bool SameName(const QString &left, const QString &right)
{
    return left == right || left.toUpper() == right.toUpper();
}

bool IsList(const QVariant &value)
{
    const int type = value.typeId();
    return type == QMetaType::QVariantList || type == QMetaType::QStringList;
}

// The bytes of a search text: its characters in the code page up to a NUL,
// nothing trimmed. Plain ASCII, the usual barcode, is copied directly.
void AppendSearchBytes(QVarLengthArray<char, 32> &bytes, const QString &text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    const qsizetype length = nul < 0 ? text.size() : nul;
    const QChar *characters = text.constData();
    const bool ascii = std::all_of(characters, characters + length, [](QChar c) { return c.unicode() < 0x80; });
    if (ascii) {
        for (qsizetype index = 0; index < length; ++index)
            bytes.append(char(characters[index].unicode()));
        return;
    }
    const QByteArray encoded = AnsiText::Encode(text.left(length));
    bytes.append(encoded.constData(), encoded.size());
}

// Values read from a packet take the stored form an assigned value takes: a
// fixed-width column arrives with its values padded by blanks, and "AB   "
// would never again match the "AB" that a command or the operator gives.
void FitStringCells(std::vector<Cell> &cells, const PacketColumn &column)
{
    if (column.kind != ColumnKind::AnsiString || column.isArray)
        return;
    for (Cell &cell : cells) {
        if (auto *bytes = std::get_if<QByteArray>(&cell))
            AnsiText::FitToWidth(*bytes, column.size);
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
    current_ = rowCount_ > 0 ? 0 : -1;
    bof_ = true;
    eof_ = rowCount_ == 0;
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
    const auto columnCount = static_cast<std::size_t>(columns_.size());
    cellsByColumn_.assign(columnCount, {});
    for (auto &cells : cellsByColumn_)
        cells.reserve(packet.rows.size());
    for (PacketRow &row : packet.rows) {
        row.cells.resize(columnCount);
        for (std::size_t column = 0; column < columnCount; ++column)
            cellsByColumn_[column].push_back(std::move(row.cells[column]));
    }
    for (std::size_t column = 0; column < columnCount; ++column)
        FitStringCells(cellsByColumn_[column], columns_[qsizetype(column)]);
    rowCount_ = static_cast<int>(packet.rows.size());
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
    packet.rows.resize(static_cast<std::size_t>(rowCount_));
    for (int row = 0; row < rowCount_; ++row) {
        auto &cells = packet.rows[row].cells;
        cells.reserve(cellsByColumn_.size());
        for (const auto &column : cellsByColumn_)
            cells.push_back(column[row]);
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
    packet.rows.resize(static_cast<std::size_t>(rowCount_));
    for (int row = 0; row < rowCount_; ++row) {
        auto &cells = packet.rows[row].cells;
        cells.reserve(cellsByColumn_.size());
        for (auto &column : cellsByColumn_)
            cells.push_back(std::move(column[row]));
    }
    return packet;
}

void TClientDataSet::DropRows()
{
    columns_.clear();
    cellsByColumn_.clear();
    rowCount_ = 0;
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
        return BinaryPacket::EncodeColumns(ShapePacket(), cellsByColumn_, std::size_t(rowCount_));
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
    MoveTo(rowCount_ > 0 ? 0 : -1, true, rowCount_ == 0);
}

void TClientDataSet::Last()
{
    CheckBrowseMode();
    MoveTo(rowCount_ - 1, rowCount_ == 0, true);
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
    if (rowCount_ == 0) {
        MoveTo(-1, distance < 0, distance > 0);
        return 0;
    }
    const qint64 wanted = qint64(current_) + distance;
    const int target = int(std::clamp<qint64>(wanted, 0, rowCount_ - 1));
    const bool stoppedShort = target != wanted;
    const int moved = target - current_;
    MoveTo(target, stoppedShort && distance < 0, stoppedShort && distance > 0);
    return moved;
}

bool TClientDataSet::IsEmpty() const
{
    if (!Active())
        return true;
    return state_ != dsInsert && rowCount_ == 0;
}

// --- pending rows ------------------------------------------------------------

void TClientDataSet::SetState(TDataSetState state)
{
    state_ = state;
    modified_ = false;
}

void TClientDataSet::StartPending(bool copyCurrent)
{
    pending_.assign(cellsByColumn_.size(), Cell{});
    if (!copyCurrent)
        return;
    for (std::size_t column = 0; column < cellsByColumn_.size(); ++column)
        pending_[column] = cellsByColumn_[column][current_];
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
    if (rowCount_ == 0) {
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
            for (const Cell &cell : cellsByColumn_[column]) {
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
        for (std::size_t column = 0; column < cellsByColumn_.size(); ++column)
            cellsByColumn_[column][current_] = std::move(pending_[column]);
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

void TClientDataSet::InsertStoredRow(int position)
{
    for (std::size_t column = 0; column < cellsByColumn_.size(); ++column) {
        auto &cells = cellsByColumn_[column];
        cells.insert(cells.begin() + position, std::move(pending_[column]));
    }
    ++rowCount_;
}

void TClientDataSet::RemoveStoredRow(int position)
{
    for (auto &cells : cellsByColumn_)
        cells.erase(cells.begin() + position);
    --rowCount_;
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
    if (rowCount_ == 0)
        throw TableError(QLatin1String(kEmptyDataset));
    const bool wasEditing = state_ == dsEdit;
    RemoveStoredRow(current_);
    pending_.clear();
    if (rowCount_ == 0) {
        current_ = -1;
        bof_ = eof_ = true;
    } else {
        current_ = std::min(current_, rowCount_ - 1);
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
    return rowCount_;
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
    return &cellsByColumn_[columnIndex][current_];
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
    NotifySources([field](TDataSource *source) { source->NotifyRecordChanged(field); });
}

// --- search ------------------------------------------------------------------

bool TClientDataSet::Locate(const QString &keyFields, const QVariant &keyValues, TLocateOptions options)
{
    CheckBrowseMode();
    const std::vector<TField *> &fields = KeyFieldsOf(keyFields);
    const bool ignoreCase = (options & loCaseInsensitive) != 0;
    int row = -1;
    if (fields.size() == 1 && !IsList(keyValues)) {
        const SearchKey key = MakeSearchKey(fields.front(), keyValues, true, options);
        row = FindRow(std::span(&key, 1), ignoreCase);
    } else {
        const QVariantList values = IsList(keyValues) ? keyValues.toList() : QVariantList{keyValues};
        if (values.size() != qsizetype(fields.size())) {
            throw TableError(QStringLiteral("Locate: %1 key values for %2 key fields")
                                 .arg(values.size())
                                 .arg(fields.size()));
        }
        std::vector<SearchKey> keys;
        keys.reserve(fields.size());
        for (std::size_t index = 0; index < fields.size(); ++index)
            keys.push_back(MakeSearchKey(fields[index], values[qsizetype(index)], index + 1 == fields.size(), options));
        row = FindRow(keys, ignoreCase);
    }
    if (row < 0)
        return false;
    MoveTo(row, false, false);
    return true;
}

const std::vector<TField *> &TClientDataSet::KeyFieldsOf(const QString &keyFields)
{
    if (!lastKeyFieldList_.empty() && keyFields == lastKeyFields_)
        return lastKeyFieldList_;
    std::vector<TField *> fields;
    for (const QString &name : keyFields.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        fields.push_back(FieldByName(name.trimmed()));
    if (fields.empty())
        throw TableError(QStringLiteral("Field '%1' not found").arg(keyFields));
    lastKeyFields_ = keyFields;
    lastKeyFieldList_ = std::move(fields);
    return lastKeyFieldList_;
}

// The search literal is the key as typed, with one "*" appended to the last
// key when searching by prefix; a literal longer than one character that
// ends in "*" then compares only what comes before that "*". An empty key
// thus looks for the "*" alone, and a "*" anywhere else is an ordinary
// character.
TClientDataSet::SearchKey TClientDataSet::MakeSearchKey(const TField *field, const QVariant &value, bool last,
                                                        TLocateOptions options) const
{
    SearchKey key;
    key.column = field->ColumnIndex();
    key.type = field->DataType();
    if (!value.isValid() || value.isNull()) {
        key.blank = true;
        return key;
    }
    const bool partial = (options & loPartialKey) != 0;
    if (IsEightBitString(key.type)) {
        AppendSearchBytes(key.bytes, value.toString());
        if (partial && last)
            key.bytes.append('*');
        key.prefix = partial && key.bytes.size() > 1 && key.bytes.back() == '*';
        if (key.prefix)
            key.bytes.removeLast();
        key.caseless = true;
        if (options & loCaseInsensitive) {
            const UpperCaseTable &upper = UpperCaseBytes();
            const std::array<bool, 256> &hasLower = HasLowerCaseForm();
            for (char &byte : key.bytes) {
                byte = char(upper[static_cast<unsigned char>(byte)]);
                key.caseless = key.caseless && !hasLower[static_cast<unsigned char>(byte)];
            }
        }
    } else {
        key.text = value.toString();
        if (partial && last)
            key.text.append(QLatin1Char('*'));
        key.prefix = partial && key.text.size() > 1 && key.text.endsWith(QLatin1Char('*'));
        if (key.prefix)
            key.text.chop(1);
    }
    return key;
}

int TClientDataSet::FindRow(std::span<const SearchKey> keys, bool ignoreCase) const
{
    if (keys.size() == 1 && !keys.front().blank && IsEightBitString(keys.front().type))
        return FindAnsiPrefix(keys.front(), ignoreCase);
    for (int row = 0; row < rowCount_; ++row) {
        const bool all = std::all_of(keys.begin(), keys.end(),
                                     [&](const SearchKey &key) { return Matches(key, row, ignoreCase); });
        if (all)
            return row;
    }
    return -1;
}

// The search the program makes for every barcode: one 8-bit string column,
// compared byte by byte where the rows keep them, with nothing allocated.
int TClientDataSet::FindAnsiPrefix(const SearchKey &key, bool ignoreCase) const
{
    const std::vector<Cell> &cells = cellsByColumn_[key.column];
    const char *literal = key.bytes.constData();
    const qsizetype length = key.bytes.size();
    const UpperCaseTable &upper = UpperCaseBytes();
    const bool byCase = ignoreCase && !key.caseless;
    for (int row = 0; row < rowCount_; ++row) {
        const QByteArray *stored = std::get_if<QByteArray>(&cells[row]);
        if (!stored)
            continue;
        const qsizetype size = stored->size();
        if (key.prefix ? size < length : size != length)
            continue;
        const bool equal = byCase ? EqualIgnoringCase(stored->constData(), literal, length, upper)
                                  : std::memcmp(stored->constData(), literal, std::size_t(length)) == 0;
        if (equal)
            return row;
    }
    return -1;
}

bool TClientDataSet::Matches(const SearchKey &key, int row, bool ignoreCase) const
{
    const Cell &cell = cellsByColumn_[key.column][row];
    if (key.blank)
        return IsBlank(cell);
    if (IsBlank(cell))
        return false;
    if (IsEightBitString(key.type)) {
        const QByteArray *stored = std::get_if<QByteArray>(&cell);
        if (!stored)
            return false;
        const qsizetype length = key.bytes.size();
        if (key.prefix ? stored->size() < length : stored->size() != length)
            return false;
        return ignoreCase ? EqualIgnoringCase(stored->constData(), key.bytes.constData(), length, UpperCaseBytes())
                          : std::memcmp(stored->constData(), key.bytes.constData(), std::size_t(length)) == 0;
    }
    const QString value = FieldCellText(cell, key.type);
    const Qt::CaseSensitivity sensitivity = ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive;
    if (key.prefix)
        return value.startsWith(key.text, sensitivity);
    return value.compare(key.text, sensitivity) == 0;
}

// --- views -------------------------------------------------------------------

int TClientDataSet::ViewRowCount() const
{
    return rowCount_ + (state_ == dsInsert ? 1 : 0);
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
    return field->TextOf(cellsByColumn_[column][storedRow]);
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

void TClientDataSet::NotifyActiveChanged() const
{
    NotifySources([](TDataSource *source) { source->NotifyActiveChanged(); });
}

void TClientDataSet::NotifyDataSetChanged() const
{
    NotifySources([](TDataSource *source) { source->NotifyDataSetChanged(); });
}

void TClientDataSet::NotifyScrolled() const
{
    NotifySources([](TDataSource *source) { source->NotifyDataSetScrolled(); });
}

void TClientDataSet::NotifyEditingChanged() const
{
    NotifySources([](TDataSource *source) { source->NotifyEditingChanged(); });
}

void TClientDataSet::NotifyUpdateData() const
{
    NotifySources([](TDataSource *source) { source->NotifyUpdateData(); });
}
