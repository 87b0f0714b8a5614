#include "cache/packet/BinaryPacket.h"

#include "cache/base/AnsiText.h"
#include "cache/packet/BcdValue.h"
#include "cache/packet/ByteReader.h"
#include "cache/packet/ChangeLog.h"
#include "cache/packet/PacketAttributeValue.h"
#include "cache/packet/PacketCodec.h"
#include "cache/packet/BinaryPacketFormat.h"
#include "cache/packet/Utf16Bytes.h"
#include "cache/packet/PacketTypeWord.h"


#include <algorithm>
#include <bit>
#include <limits>

namespace Catraca {

namespace BinaryPacket {

namespace {

using namespace PacketTypeWord;
using namespace Format;

[[noreturn]] void RefuseColumn(const QString &column, const QString &problem, int code = PacketCodec::kInvalidPacket)
{
    PacketCodec::Refuse(QStringLiteral("column %1 %2").arg(column, problem), code);
}

QByteArray ReadNameBytes(ByteReader &reader, const char *what)
{
    const quint8 length = reader.U8(what);
    return reader.Bytes(length, what);
}

bool IsPrefixSize(int size)
{
    return size == 1 || size == 2 || size == 4;
}

// The kind of a column's values, after checking that the type word
// describes values this reader can step over safely.
ColumnKind KindOf(quint32 typeWord, const QString &column)
{
    const quint32 element = Element(typeWord);
    const int size = Size(element);
    const bool varying = IsVarying(element);
    const auto fixed = [&](bool sizeFits, ColumnKind kind) {
        if (varying || !sizeFits)
            RefuseColumn(column, QStringLiteral("has a value size of %1 bytes that its type does not allow").arg(size));
        return kind;
    };
    const auto text = [&](ColumnKind kind) {
        if (varying ? !IsPrefixSize(size) : size <= 0)
            RefuseColumn(column, QStringLiteral("has a length prefix of %1 bytes").arg(size));
        return kind;
    };
    switch (Code(element)) {
    case kSignedInt: return fixed(IsIntegerSize(size), ColumnKind::SignedInt);
    case kUnsignedInt: return fixed(IsIntegerSize(size), ColumnKind::UnsignedInt);
    case kBoolean: return fixed(size == 1 || size == 2 || size == 4, ColumnKind::Boolean);
    case kFloat: return fixed(size == 8, ColumnKind::Float);
    case kBcd: return fixed(size >= 2 && size <= BcdValue::kStoredSize, ColumnKind::Bcd);
    case kDate: return fixed(size == 4, ColumnKind::Date);
    case kTime: return fixed(size == 4, ColumnKind::Time);
    case kTimestamp: return fixed(size == 8, ColumnKind::Timestamp);
    case kAnsiString: return text(ColumnKind::AnsiString);
    case kWideString: return text(ColumnKind::WideString);
    case kBlob: return text(ColumnKind::Blob);
    case kNested: return text(ColumnKind::Nested);
    default:
        RefuseColumn(column, QStringLiteral("has the type %1, which cannot be read").arg(Code(element)),
                     PacketCodec::kUnsupportedType);
    }
}

void ApplyColumnAttribute(PacketColumn &column, const PacketAttribute &attribute)
{
    if (attribute.name == "WIDTH" || attribute.name == "DECIMALS") {
        const std::optional<qint64> number = PacketAttributeValue::Integer(attribute);
        if (!number || *number < 0 || *number > std::numeric_limits<int>::max())
            RefuseColumn(column.name, QStringLiteral("has an invalid %1").arg(QString::fromLatin1(attribute.name)));
        (attribute.name == "WIDTH" ? column.size : column.decimals) = int(*number);
        return;
    }
    if (attribute.name == "SUBTYPE") {
        if (const std::optional<QString> text = PacketAttributeValue::Text(attribute)) {
            column.subtype = *text;
            return;
        }
    }
    column.extraAttributes.append(attribute);
}

struct DecodedColumn {
    PacketColumn column;
    quint32 typeWord = 0;
};

DecodedColumn ReadColumn(ByteReader &reader)
{
    DecodedColumn decoded;
    PacketColumn &column = decoded.column;
    column.name = AnsiText::ToUnicode(ReadNameBytes(reader, "a column name"));
    decoded.typeWord = reader.U32("a column type");
    const quint16 flags = reader.U16("column flags");
    column.kind = KindOf(decoded.typeWord, column.name);
    column.isArray = IsArray(decoded.typeWord);
    column.hidden = (flags & kHiddenFlag) != 0;
    column.readOnly = (flags & kReadOnlyFlag) != 0;
    column.required = (flags & kRequiredFlag) != 0;
    const bool sizedByWidth = column.kind == ColumnKind::AnsiString || column.kind == ColumnKind::WideString
        || column.kind == ColumnKind::Blob || column.kind == ColumnKind::Bcd || column.kind == ColumnKind::Nested;
    column.size = sizedByWidth ? 0 : Size(decoded.typeWord);
    if (!IsVarying(decoded.typeWord) && (column.kind == ColumnKind::AnsiString || column.kind == ColumnKind::WideString))
        column.size = Size(decoded.typeWord);

    const quint16 attributeCount = reader.U16("a column's attribute count");
    reader.Require(qint64(attributeCount) * 5, "column attributes");
    for (int index = 0; index < attributeCount; ++index) {
        PacketAttribute attribute;
        attribute.name = ReadNameBytes(reader, "an attribute name");
        attribute.typeWord = reader.U32("an attribute type");
        attribute.value = PacketAttributeValue::ReadStored(reader, attribute.typeWord);
        ApplyColumnAttribute(column, attribute);
    }
    // Values are read at the type's size; a WIDTH that says otherwise would
    // make the table claim values its column cannot hold.
    if (!sizedByWidth && !column.isArray && column.size != Size(decoded.typeWord))
        RefuseColumn(column.name, QStringLiteral("has a WIDTH of %1 for values of %2 bytes").arg(column.size).arg(Size(decoded.typeWord)));
    return decoded;
}

qint64 SignExtend(quint64 raw, int size)
{
    if (size == 8)
        return qint64(raw);
    const int unusedBits = 64 - 8 * size;
    return qint64(raw << unusedBits) >> unusedBits;
}

QString WideText(const QByteArray &bytes, const QString &column)
{
    if (bytes.size() % 2 != 0)
        RefuseColumn(column, QStringLiteral("holds a Unicode string of an odd number of bytes"));
    return TextOfUtf16LittleEndian(bytes);
}

QByteArray ReadStringBytes(ByteReader &reader, quint32 typeWord)
{
    if (!IsVarying(typeWord)) {
        const QByteArray fixed = reader.Bytes(Size(typeWord), "a string value");
        const qsizetype end = fixed.indexOf('\0');
        return end < 0 ? fixed : fixed.left(end);
    }
    const quint64 length = reader.Unsigned(Size(typeWord), "a value length");
    return reader.Bytes(qint64(length), "a value");
}

Cell ReadCell(ByteReader &reader, const PacketColumn &column, quint32 typeWord)
{
    if (column.isArray)
        return PacketAttributeValue::ReadStored(reader, typeWord);
    const int size = Size(typeWord);
    switch (column.kind) {
    case ColumnKind::SignedInt:
        return SignExtend(reader.Unsigned(size, "a value"), size);
    case ColumnKind::UnsignedInt: {
        const quint64 value = reader.Unsigned(size, "a value");
        if (value > quint64(std::numeric_limits<qint64>::max()))
            RefuseColumn(column.name, QStringLiteral("holds a number too large to read"));
        return qint64(value);
    }
    case ColumnKind::Boolean:
        return qint64(reader.Unsigned(size, "a value") != 0 ? 1 : 0);
    case ColumnKind::Float:
    case ColumnKind::Timestamp:
        return std::bit_cast<double>(reader.U64("a value"));
    case ColumnKind::Bcd: {
        const std::optional<QString> text = BcdValue::ToText(reader.Bytes(size, "a value"));
        if (!text)
            RefuseColumn(column.name, QStringLiteral("holds a decimal value that is not valid"));
        return *text;
    }
    case ColumnKind::Date:
    case ColumnKind::Time:
        return qint64(reader.I32("a value"));
    case ColumnKind::AnsiString:
        return ReadStringBytes(reader, typeWord);
    case ColumnKind::WideString:
        return WideText(ReadStringBytes(reader, typeWord), column.name);
    case ColumnKind::Blob:
    case ColumnKind::Nested:
        return ReadStringBytes(reader, typeWord);
    }
    return std::monostate {};
}

int FlagOf(const char *flags, qsizetype column)
{
    return (static_cast<unsigned char>(flags[column / 4]) >> (2 * (column % 4))) & 3;
}

// Nothing is allocated for a record beyond its cells: the flags are read in
// place and the "not changed" marks only exist when a column carries one.
ChangeLog::StoredRecord ReadRecord(ByteReader &reader, const std::vector<DecodedColumn> &columns)
{
    const qsizetype columnCount = qsizetype(columns.size());
    ChangeLog::StoredRecord record;
    record.status = reader.U8("a record's status");
    const char *flags = reader.View((2 * columnCount + 7) / 8, "a record's flags");
    record.cells.resize(size_t(columnCount));
    for (qsizetype index = 0; index < columnCount; ++index) {
        const int flag = FlagOf(flags, index);
        if (flag == kHasValue) {
            record.cells[size_t(index)] = ReadCell(reader, columns[size_t(index)].column, columns[size_t(index)].typeWord);
        } else if (flag == kNotChanged) {
            record.notChanged.resize(size_t(columnCount), false);
            record.notChanged[size_t(index)] = true;
        }
    }
    return record;
}

void ApplyTableAttribute(Packet &packet, QList<qint64> &changeLog, const PacketAttribute &attribute)
{
    if (attribute.name == "AUTOINCVALUE") {
        const std::optional<qint64> number = PacketAttributeValue::Integer(attribute);
        if (!number || *number < std::numeric_limits<qint32>::min() || *number > std::numeric_limits<qint32>::max())
            PacketCodec::Refuse(QStringLiteral("the attribute AUTOINCVALUE is not a 32-bit number"));
        packet.autoIncValue = qint32(*number);
        return;
    }
    if (attribute.name == "CHANGE_LOG") {
        const std::optional<QList<qint64>> triples = PacketAttributeValue::IntegerList(attribute);
        if (!triples)
            PacketCodec::Refuse(QStringLiteral("the change log is not a list of numbers"));
        changeLog = *triples;
        return;
    }
    packet.tableAttributes.append(attribute);
}

}  // namespace

Packet Decode(const QByteArray &bytes)
{
    ByteReader reader(bytes);
    if (reader.U32("the header") != kMagic)
        PacketCodec::Refuse(QStringLiteral("the binary header is missing"));
    reader.U32("the header");
    const quint32 headerSize = reader.U32("the header");
    const quint16 columnCount = reader.U16("the header");
    const quint32 rowCount = reader.U32("the header");
    reader.U32("the header");
    const quint16 dataOffset = reader.U16("the header");
    if (headerSize < kHeaderSize)
        PacketCodec::Refuse(QStringLiteral("the header is too short"));
    reader.Seek(qsizetype(std::min<quint32>(headerSize, quint32(bytes.size()) + 1)));

    reader.Require(qint64(columnCount) * 9, "the column descriptions");
    std::vector<DecodedColumn> columns;
    columns.reserve(columnCount);
    Packet packet;
    for (int index = 0; index < columnCount; ++index) {
        columns.push_back(ReadColumn(reader));
        packet.columns.append(columns.back().column);
    }

    const quint16 attributeCount = reader.U16("the table attribute count");
    reader.Require(qint64(attributeCount) * 5, "the table attributes");
    QList<qint64> changeLog;
    for (int index = 0; index < attributeCount; ++index) {
        PacketAttribute attribute;
        attribute.name = ReadNameBytes(reader, "a table attribute name");
        attribute.typeWord = reader.U32("a table attribute type");
        attribute.value = PacketAttributeValue::ReadStored(reader, attribute.typeWord);
        ApplyTableAttribute(packet, changeLog, attribute);
    }

    if (dataOffset < reader.Position())
        PacketCodec::Refuse(QStringLiteral("the records start inside the column descriptions"));
    reader.Seek(dataOffset);
    const qint64 smallestRecord = 1 + (2 * qint64(columnCount) + 7) / 8;
    reader.Require(qint64(rowCount) * smallestRecord, "the records");
    std::vector<ChangeLog::StoredRecord> records;
    records.reserve(rowCount);
    for (quint32 index = 0; index < rowCount; ++index)
        records.push_back(ReadRecord(reader, columns));
    packet.rows = ChangeLog::VisibleRows(std::move(records), changeLog);
    return packet;
}

}  // namespace BinaryPacket

}  // namespace Catraca
