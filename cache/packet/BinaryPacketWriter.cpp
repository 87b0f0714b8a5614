#include "cache/packet/BinaryPacket.h"

#include "cache/base/AnsiText.h"
#include "cache/packet/BcdValue.h"
#include "cache/packet/ByteWriter.h"
#include "cache/packet/PacketAttributeValue.h"
#include "cache/packet/PacketCodec.h"
#include "cache/packet/BinaryPacketFormat.h"
#include "cache/packet/Utf16Bytes.h"
#include "cache/packet/PacketTypeWord.h"

#include <QVarLengthArray>

#include <algorithm>
#include <bit>
#include <limits>
#include <span>

namespace Catraca {

namespace BinaryPacket {

namespace {

using namespace PacketTypeWord;
using namespace Format;

using PacketCodec::RefuseValue;

void WriteName(ByteWriter &writer, const QByteArray &name, const QString &what)
{
    if (name.size() > 255)
        PacketCodec::Refuse(QStringLiteral("the name of %1 is longer than 255 bytes").arg(what), PacketCodec::kCannotEncode);
    writer.U8(quint8(name.size()));
    writer.Bytes(name);
}

qint64 StoredLength(const Cell &cell)
{
    if (const auto *bytes = std::get_if<QByteArray>(&cell))
        return bytes->size();
    if (const auto *text = std::get_if<QString>(&cell))
        return qint64(text->size()) * 2;
    return 0;
}

int PrefixSizeFor(qint64 longest)
{
    if (longest <= 0xFF)
        return 1;
    return longest <= 0xFFFF ? 2 : 4;
}

// Cells as a Packet keeps them, row by row.
struct RowMajorCells {
    const std::vector<PacketRow> &rows;
    std::size_t RowCount() const { return rows.size(); }
    std::size_t Width(std::size_t row) const { return rows[row].cells.size(); }
    const Cell &At(std::size_t row, std::size_t column) const { return rows[row].cells[column]; }
};

// Cells as a table keeps them, column by column, each row in a slot of its own.
struct ColumnMajorCells {
    const std::vector<std::vector<Cell>> &columns;
    std::span<const int> rowSlots;
    std::size_t RowCount() const { return rowSlots.size(); }
    std::size_t Width(std::size_t) const { return columns.size(); }
    const Cell &At(std::size_t row, std::size_t column) const { return columns[column][std::size_t(rowSlots[row])]; }
};

template <typename Cells>
quint32 TypeWordFor(const PacketColumn &column, std::size_t columnIndex, const Cells &cells)
{
    const bool array = column.isArray;
    const auto integer = [&](quint32 code) {
        if (!IsIntegerSize(column.size))
            RefuseValue(column, QStringLiteral("has an integer size of %1 bytes").arg(column.size));
        return Make(code, quint32(column.size), false, array);
    };
    const auto varying = [&](quint32 code, qint64 declared) {
        qint64 longest = declared;
        for (std::size_t row = 0; row < cells.RowCount(); ++row) {
            if (columnIndex < cells.Width(row))
                longest = std::max(longest, StoredLength(cells.At(row, columnIndex)));
        }
        return Make(code, quint32(PrefixSizeFor(longest)), true, array);
    };
    switch (column.kind) {
    case ColumnKind::SignedInt: return integer(kSignedInt);
    case ColumnKind::UnsignedInt: return integer(kUnsignedInt);
    case ColumnKind::Boolean:
        return Make(kBoolean, (column.size == 1 || column.size == 4) ? quint32(column.size) : 2, false, array);
    case ColumnKind::Float: return Make(kFloat, 8, false, array);
    case ColumnKind::Bcd: return Make(kBcd, BcdValue::kStoredSize, false, array);
    case ColumnKind::Date: return Make(kDate, 4, false, array);
    case ColumnKind::Time: return Make(kTime, 4, false, array);
    case ColumnKind::Timestamp: return Make(kTimestamp, 8, false, array);
    case ColumnKind::AnsiString: return varying(kAnsiString, column.size);
    case ColumnKind::WideString: return varying(kWideString, column.size);
    case ColumnKind::Blob: return Make(kBlob, 4, true, array);
    case ColumnKind::Nested: return Make(kNested, 4, true, array);
    }
    RefuseValue(column, QStringLiteral("has an unknown kind"));
}

quint16 FlagsOf(const PacketColumn &column)
{
    return quint16((column.hidden ? kHiddenFlag : 0) | (column.readOnly ? kReadOnlyFlag : 0)
                   | (column.required ? kRequiredFlag : 0));
}

QList<PacketAttribute> AttributesOf(const PacketColumn &column)
{
    QList<PacketAttribute> attributes;
    const bool hasWidth = column.kind == ColumnKind::AnsiString || column.kind == ColumnKind::WideString
        || column.kind == ColumnKind::Bcd || ((column.kind == ColumnKind::Blob || column.kind == ColumnKind::Nested) && column.size > 0);
    if (column.size < 0 || column.size > 0xFFFF || column.decimals < 0 || column.decimals > 0xFFFF)
        RefuseValue(column, QStringLiteral("has a width or decimals the packet cannot hold"));
    if (hasWidth)
        attributes.append(PacketAttributeValue::MakeInteger("WIDTH", kUnsignedInt, 2, column.size));
    if (column.kind == ColumnKind::Bcd)
        attributes.append(PacketAttributeValue::MakeInteger("DECIMALS", kUnsignedInt, 2, column.decimals));
    if (!column.subtype.isEmpty())
        attributes.append(PacketAttributeValue::MakeText("SUBTYPE", column.subtype));
    for (const PacketAttribute &extra : column.extraAttributes)
        attributes.append(extra);
    return attributes;
}

void WriteAttribute(ByteWriter &writer, const PacketAttribute &attribute)
{
    const QString name = QString::fromLatin1(attribute.name);
    if (!PacketAttributeValue::IsWellFormed(attribute.value, attribute.typeWord))
        PacketCodec::Refuse(QStringLiteral("the attribute %1 does not match its type").arg(name), PacketCodec::kCannotEncode);
    WriteName(writer, attribute.name, QStringLiteral("attribute %1").arg(name));
    writer.U32(attribute.typeWord);
    writer.Bytes(attribute.value);
}

// Names are 8-bit text here. A name the code page cannot hold would be
// written with "?" in its place, and the column never found by it again.
QByteArray ColumnNameBytes(const PacketColumn &column)
{
    QByteArray bytes = AnsiText::Encode(column.name);
    if (AnsiText::ToUnicode(bytes) != column.name)
        RefuseValue(column, QStringLiteral("has a name that the 8-bit code page cannot hold"));
    return bytes;
}

void WriteColumn(ByteWriter &writer, const PacketColumn &column, quint32 typeWord)
{
    WriteName(writer, ColumnNameBytes(column), QStringLiteral("column %1").arg(column.name));
    writer.U32(typeWord);
    writer.U16(FlagsOf(column));
    const QList<PacketAttribute> attributes = AttributesOf(column);
    if (attributes.size() > 0xFFFF)
        RefuseValue(column, QStringLiteral("has too many attributes"));
    writer.U16(quint16(attributes.size()));
    for (const PacketAttribute &attribute : attributes)
        WriteAttribute(writer, attribute);
}

void WriteTableAttributes(ByteWriter &writer, const Packet &packet)
{
    QList<PacketAttribute> attributes;
    for (const PacketAttribute &attribute : packet.tableAttributes) {
        // The counter and the change log are the packet's own; stale copies are not kept.
        if (attribute.name != "AUTOINCVALUE" && attribute.name != "CHANGE_LOG")
            attributes.append(attribute);
    }
    if (packet.autoIncValue)
        attributes.append(PacketAttributeValue::MakeInteger("AUTOINCVALUE", kSignedInt, 4, *packet.autoIncValue));
    if (attributes.size() > 0xFFFF)
        PacketCodec::Refuse(QStringLiteral("the table has too many attributes"), PacketCodec::kCannotEncode);
    writer.U16(quint16(attributes.size()));
    for (const PacketAttribute &attribute : attributes)
        WriteAttribute(writer, attribute);
}

template <typename Value>
const Value &ValueOf(const Cell &cell, const PacketColumn &column)
{
    const Value *value = std::get_if<Value>(&cell);
    if (value == nullptr)
        RefuseValue(column, QStringLiteral("holds a value of the wrong type"));
    return *value;
}

void WriteLengthAndBytes(ByteWriter &writer, const QByteArray &bytes, quint32 typeWord, const PacketColumn &column)
{
    const int prefix = Size(typeWord);
    if (prefix < 8 && quint64(bytes.size()) >= (quint64(1) << (8 * prefix)))
        RefuseValue(column, QStringLiteral("holds a value longer than its length prefix allows"));
    writer.Unsigned(quint64(bytes.size()), prefix);
    writer.Bytes(bytes);
}

void WriteInteger(ByteWriter &writer, qint64 value, quint32 typeWord, const PacketColumn &column)
{
    const int size = Size(typeWord);
    if (!PacketCodec::IntegerFits(value, Code(typeWord) == kSignedInt, size))
        RefuseValue(column, QStringLiteral("holds %1, which does not fit in %2 bytes").arg(value).arg(size));
    writer.Unsigned(quint64(value), size);
}

void WriteCell(ByteWriter &writer, const Cell &cell, const PacketColumn &column, quint32 typeWord)
{
    if (column.isArray) {
        const QByteArray &stored = ValueOf<QByteArray>(cell, column);
        if (!PacketAttributeValue::IsWellFormed(stored, typeWord))
            RefuseValue(column, QStringLiteral("holds an array that does not match its type"));
        writer.Bytes(stored);
        return;
    }
    switch (column.kind) {
    case ColumnKind::SignedInt:
    case ColumnKind::UnsignedInt:
        WriteInteger(writer, ValueOf<qint64>(cell, column), typeWord, column);
        return;
    case ColumnKind::Boolean:
        writer.Unsigned(ValueOf<qint64>(cell, column) != 0 ? 1 : 0, Size(typeWord));
        return;
    case ColumnKind::Float:
    case ColumnKind::Timestamp:
        writer.Unsigned(std::bit_cast<quint64>(ValueOf<double>(cell, column)), 8);
        return;
    case ColumnKind::Bcd: {
        const QString &text = ValueOf<QString>(cell, column);
        const std::optional<QByteArray> stored = BcdValue::FromText(text);
        if (!stored)
            RefuseValue(column, QStringLiteral("holds \"%1\", which is not a decimal of at most %2 digits").arg(text).arg(BcdValue::kMaxDigits));
        writer.Bytes(*stored);
        return;
    }
    case ColumnKind::Date:
    case ColumnKind::Time:
        WriteInteger(writer, ValueOf<qint64>(cell, column), Make(kSignedInt, 4), column);
        return;
    case ColumnKind::AnsiString:
    case ColumnKind::Blob:
    case ColumnKind::Nested:
        WriteLengthAndBytes(writer, ValueOf<QByteArray>(cell, column), typeWord, column);
        return;
    case ColumnKind::WideString:
        WriteLengthAndBytes(writer, Utf16LittleEndianBytes(ValueOf<QString>(cell, column)), typeWord, column);
        return;
    }
}

template <typename Cells>
void WriteRow(ByteWriter &writer, const Cells &cells, std::size_t row, const Packet &shape, const std::vector<quint32> &typeWords)
{
    const auto columnCount = std::size_t(shape.columns.size());
    if (cells.Width(row) != columnCount)
        PacketCodec::Refuse(QStringLiteral("a row holds %1 values for %2 columns").arg(cells.Width(row)).arg(columnCount),
                            PacketCodec::kCannotEncode);
    writer.U8(0);
    QVarLengthArray<char, 16> flags(qsizetype(2 * columnCount + 7) / 8);
    std::fill(flags.begin(), flags.end(), '\0');
    for (std::size_t index = 0; index < columnCount; ++index) {
        if (std::holds_alternative<std::monostate>(cells.At(row, index)))
            flags[qsizetype(index / 4)] = char(static_cast<unsigned char>(flags[qsizetype(index / 4)]) | (kBlank << (2 * (index % 4))));
    }
    writer.Bytes(flags.constData(), flags.size());
    for (std::size_t index = 0; index < columnCount; ++index) {
        const Cell &cell = cells.At(row, index);
        if (!std::holds_alternative<std::monostate>(cell))
            WriteCell(writer, cell, shape.columns[qsizetype(index)], typeWords[index]);
    }
}

// `shape` gives the columns and the table attributes; the rows come from `cells`.
template <typename Cells>
QByteArray EncodeCells(const Packet &shape, const Cells &cells)
{
    if (shape.columns.size() > 0xFFFF)
        PacketCodec::Refuse(QStringLiteral("the table has too many columns"), PacketCodec::kCannotEncode);
    if (cells.RowCount() > std::numeric_limits<quint32>::max())
        PacketCodec::Refuse(QStringLiteral("the table has too many rows"), PacketCodec::kCannotEncode);
    std::vector<quint32> typeWords;
    for (qsizetype index = 0; index < shape.columns.size(); ++index)
        typeWords.push_back(TypeWordFor(shape.columns[index], std::size_t(index), cells));

    ByteWriter writer;
    writer.U32(kMagic);
    writer.U32(kHeaderFieldAt4);
    writer.U32(kHeaderSize);
    writer.U16(quint16(shape.columns.size()));
    writer.U32(quint32(cells.RowCount()));
    writer.U32(kHeaderFieldAt18);
    const qsizetype dataOffsetPosition = writer.Size();
    writer.U16(0);
    for (qsizetype index = 0; index < shape.columns.size(); ++index)
        WriteColumn(writer, shape.columns[index], typeWords[size_t(index)]);
    WriteTableAttributes(writer, shape);
    if (writer.Size() > 0xFFFF)
        PacketCodec::Refuse(QStringLiteral("the column descriptions are longer than 65535 bytes"), PacketCodec::kCannotEncode);
    writer.PatchUnsigned(dataOffsetPosition, quint64(writer.Size()), 2);
    for (std::size_t row = 0; row < cells.RowCount(); ++row)
        WriteRow(writer, cells, row, shape, typeWords);
    return writer.Result();
}

}  // namespace

QByteArray Encode(const Packet &packet)
{
    return EncodeCells(packet, RowMajorCells{packet.rows});
}

QByteArray EncodeColumns(const Packet &shape, const std::vector<std::vector<Cell>> &cellsByColumn,
                         std::span<const int> rowSlots)
{
    if (cellsByColumn.size() != std::size_t(shape.columns.size()))
        PacketCodec::Refuse(QStringLiteral("the table holds %1 columns of values for %2 columns").arg(cellsByColumn.size()).arg(shape.columns.size()),
                            PacketCodec::kCannotEncode);
    // Every column must hold a value in every slot up to the highest one used.
    std::size_t slotsUsed = 0;
    for (const int slot : rowSlots) {
        if (slot < 0)
            PacketCodec::Refuse(QStringLiteral("a row has the slot %1").arg(slot), PacketCodec::kCannotEncode);
        slotsUsed = std::max(slotsUsed, std::size_t(slot) + 1);
    }
    for (const auto &column : cellsByColumn) {
        if (column.size() < slotsUsed)
            PacketCodec::Refuse(QStringLiteral("a column holds %1 values for %2 rows").arg(column.size()).arg(slotsUsed),
                                PacketCodec::kCannotEncode);
    }
    return EncodeCells(shape, ColumnMajorCells{cellsByColumn, rowSlots});
}

}  // namespace BinaryPacket

}  // namespace Catraca
