#include "tests/support/PacketSamples.h"

#include <QStringList>

#include <cmath>

namespace Catraca {

namespace PacketSamples {

namespace {

QString KindName(ColumnKind kind)
{
    static const char *const kNames[] = {"SignedInt", "UnsignedInt", "Boolean", "Float", "Bcd", "Date",
                                         "Time", "Timestamp", "AnsiString", "WideString", "Blob", "Nested"};
    return QString::fromLatin1(kNames[int(kind)]);
}

QString CellText(const Cell &cell)
{
    if (std::holds_alternative<std::monostate>(cell))
        return QStringLiteral("<blank>");
    if (const auto *number = std::get_if<qint64>(&cell))
        return QStringLiteral("int %1").arg(*number);
    if (const auto *real = std::get_if<double>(&cell))
        return QStringLiteral("double %1").arg(QString::asprintf("%.17g", *real));
    if (const auto *bytes = std::get_if<QByteArray>(&cell))
        return QStringLiteral("bytes %1").arg(QString::fromLatin1(bytes->toHex(' ')));
    return QStringLiteral("text \"%1\"").arg(std::get<QString>(cell));
}

QString AttributeText(const PacketAttribute &attribute)
{
    return QStringLiteral("%1 %2 %3")
        .arg(QString::fromLatin1(attribute.name))
        .arg(attribute.typeWord, 8, 16, QLatin1Char('0'))
        .arg(QString::fromLatin1(attribute.value.toHex(' ')));
}

int Between(QRandomGenerator &random, int low, int high)
{
    return int(random.bounded(low, high + 1));
}

QString RandomText(QRandomGenerator &random, int maxLength, bool wide)
{
    static const char16_t kSamples[] = {u'a', u'Z', u'0', u' ', u'&', u'<', u'>', u'"', u'\'', u'\t',
                                        u'\n', u'\r', u'\x01', u'\x1F', u'\xE7', u'\xE3', u'\xFF', u'\x81',
                                        u'\x8D', u'\x20AC', u'\x0160', u'\x2122', u'\x9D'};
    static const char16_t kWideOnly[] = {u'\x4E2D', u'\x03A9', u'\x0416', u'\xD55C'};
    QString text;
    const int length = Between(random, 0, maxLength);
    for (int index = 0; index < length; ++index) {
        const int pick = Between(random, 0, 100);
        if (wide && pick < 10)
            text += QChar(kWideOnly[random.bounded(int(std::size(kWideOnly)))]);
        else if (wide && pick < 14)
            text += QString::fromUcs4(U"\U0001F600", 1);
        else
            text += QChar(kSamples[random.bounded(int(std::size(kSamples)))]);
    }
    return text;
}

QByteArray RandomBytes(QRandomGenerator &random, int maxLength)
{
    QByteArray bytes;
    const int length = Between(random, 0, maxLength);
    for (int index = 0; index < length; ++index)
        bytes.append(char(random.bounded(256)));
    return bytes;
}

// A byte string without NUL: the XML form has no way to write a string that
// holds one as the same bytes.
QByteArray RandomAnsi(QRandomGenerator &random, int maxLength)
{
    QByteArray bytes = RandomBytes(random, maxLength);
    bytes.replace('\0', 'x');
    return bytes;
}

qint64 RandomInteger(QRandomGenerator &random, bool isSigned, int size)
{
    const quint64 raw = random.generate64();
    if (size == 8)
        return isSigned ? qint64(raw) : qint64(raw >> 1);
    const int bits = 8 * size;
    const quint64 masked = raw & ((quint64(1) << bits) - 1);
    if (!isSigned)
        return qint64(masked);
    const int unused = 64 - bits;
    return qint64(masked << unused) >> unused;
}

QString RandomDecimal(QRandomGenerator &random)
{
    QString text = random.bounded(2) ? QStringLiteral("-") : QString();
    const int integerDigits = Between(random, 1, 20);
    text += QString::number(Between(random, 1, 9));
    for (int index = 1; index < integerDigits; ++index)
        text += QString::number(Between(random, 0, 9));
    const int places = Between(random, 0, 10);
    if (places > 0) {
        text += QLatin1Char('.');
        for (int index = 0; index < places; ++index)
            text += QString::number(Between(random, 0, 9));
    }
    return text;
}

double RandomDouble(QRandomGenerator &random)
{
    switch (random.bounded(4)) {
    case 0: return double(Between(random, -1000, 1000)) / 8.0;
    case 1: return std::ldexp(random.generateDouble() - 0.5, Between(random, -1060, 1020));
    case 2: return -0.0;
    default: return random.generateDouble() * 1e6;
    }
}

constexpr qint64 kLastDay = 3652059;  // 9999-12-31

Cell RandomCell(QRandomGenerator &random, const PacketColumn &column)
{
    if (random.bounded(8) == 0)
        return std::monostate {};
    switch (column.kind) {
    case ColumnKind::SignedInt: return RandomInteger(random, true, column.size);
    case ColumnKind::UnsignedInt: return RandomInteger(random, false, column.size);
    case ColumnKind::Boolean: return qint64(random.bounded(2));
    case ColumnKind::Float: return RandomDouble(random);
    case ColumnKind::Bcd: return RandomDecimal(random);
    case ColumnKind::Date: return qint64(random.bounded(kLastDay) + 1);
    case ColumnKind::Time: return qint64(random.bounded(86400000));
    case ColumnKind::Timestamp:
        return double(random.bounded(kLastDay) + 1) * 86400000.0 + double(random.bounded(86400000));
    case ColumnKind::AnsiString: return RandomAnsi(random, column.size);
    case ColumnKind::WideString: return RandomText(random, column.size / 2, true);
    case ColumnKind::Blob:
        if (column.subtype == QLatin1String("Text"))
            return RandomAnsi(random, 300);
        return RandomBytes(random, 300);
    case ColumnKind::Nested: break;
    }
    return std::monostate {};
}

PacketColumn RandomColumn(QRandomGenerator &random, int index)
{
    static const int kIntegerSizes[] = {1, 2, 4, 8};
    const auto kind = ColumnKind(random.bounded(int(ColumnKind::Nested)));
    PacketColumn column = Column(QStringLiteral("C%1").arg(index), kind);
    switch (kind) {
    case ColumnKind::SignedInt:
    case ColumnKind::UnsignedInt: column.size = kIntegerSizes[random.bounded(4)]; break;
    case ColumnKind::Bcd: column.size = 32; column.decimals = Between(random, 0, 10); break;
    case ColumnKind::AnsiString: column.size = Between(random, 1, 300); break;
    case ColumnKind::WideString: column.size = 2 * Between(random, 1, 150); break;
    case ColumnKind::Blob:
        column.subtype = random.bounded(2) ? QStringLiteral("Text") : QStringLiteral("Binary");
        break;
    default: break;
    }
    if (random.bounded(3) == 0) {
        // Names that are not XML names make the XML form carry them apart.
        static const char *const kOddNames[] = {"1st", "Preço", "a b", "x:y", "RowState", "ROW-ID"};
        column.name = QString::fromUtf8(kOddNames[random.bounded(int(std::size(kOddNames)))]) + QString::number(index);
    }
    column.readOnly = random.bounded(4) == 0;
    column.required = random.bounded(4) == 0;
    return column;
}

}  // namespace

QString Dump(const Packet &packet)
{
    QStringList lines;
    for (const PacketColumn &column : packet.columns) {
        lines << QStringLiteral("column %1 %2 size %3 decimals %4 subtype \"%5\"%6%7%8%9")
                     .arg(column.name, KindName(column.kind))
                     .arg(column.size)
                     .arg(column.decimals)
                     .arg(column.subtype, column.readOnly ? QStringLiteral(" readonly") : QString(),
                          column.required ? QStringLiteral(" required") : QString(),
                          column.hidden ? QStringLiteral(" hidden") : QString(),
                          column.isArray ? QStringLiteral(" array") : QString());
        for (const PacketAttribute &attribute : column.extraAttributes)
            lines << QStringLiteral("  attribute ") + AttributeText(attribute);
    }
    lines << (packet.autoIncValue ? QStringLiteral("autoinc %1").arg(*packet.autoIncValue) : QStringLiteral("no autoinc"));
    for (const PacketAttribute &attribute : packet.tableAttributes)
        lines << QStringLiteral("table attribute ") + AttributeText(attribute);
    for (size_t row = 0; row < packet.rows.size(); ++row) {
        QStringList cells;
        for (const Cell &cell : packet.rows[row].cells)
            cells << CellText(cell);
        lines << QStringLiteral("row %1: ").arg(row + 1) + cells.join(QStringLiteral(" | "));
    }
    return lines.join(QLatin1Char('\n'));
}

PacketColumn Column(const QString &name, ColumnKind kind, int size)
{
    PacketColumn column;
    column.name = name;
    column.kind = kind;
    column.size = size;
    switch (kind) {
    case ColumnKind::Boolean: column.size = 2; break;
    case ColumnKind::Float:
    case ColumnKind::Timestamp: column.size = 8; break;
    case ColumnKind::Date:
    case ColumnKind::Time: column.size = 4; break;
    default: break;
    }
    return column;
}

Packet EmptyReleaseCache()
{
    Packet packet;
    PacketColumn id = Column(QStringLiteral("ID"), ColumnKind::SignedInt, 4);
    id.readOnly = true;
    id.subtype = QStringLiteral("Autoinc");
    packet.columns = {id, Column(QStringLiteral("COD_BARRA"), ColumnKind::AnsiString, 10),
                      Column(QStringLiteral("EVENTO"), ColumnKind::AnsiString, 1)};
    packet.autoIncValue = 1;
    return packet;
}

Packet RandomPacket(QRandomGenerator &random)
{
    Packet packet;
    const int columnCount = Between(random, 1, 8);
    for (int index = 0; index < columnCount; ++index)
        packet.columns.append(RandomColumn(random, index));
    const int rowCount = Between(random, 0, 12);
    for (int row = 0; row < rowCount; ++row) {
        PacketRow packetRow;
        for (const PacketColumn &column : packet.columns)
            packetRow.cells.push_back(RandomCell(random, column));
        packet.rows.push_back(std::move(packetRow));
    }
    if (random.bounded(2))
        packet.autoIncValue = qint32(random.generate());
    return packet;
}

BinaryBuilder &BinaryBuilder::U8(quint32 value)
{
    bytes_.append(char(value & 0xFF));
    return *this;
}

BinaryBuilder &BinaryBuilder::U16(quint32 value)
{
    return U8(value).U8(value >> 8);
}

BinaryBuilder &BinaryBuilder::U32(quint32 value)
{
    return U16(value).U16(value >> 16);
}

BinaryBuilder &BinaryBuilder::U64(quint64 value)
{
    return U32(quint32(value)).U32(quint32(value >> 32));
}

BinaryBuilder &BinaryBuilder::Raw(const QByteArray &bytes)
{
    bytes_.append(bytes);
    return *this;
}

BinaryBuilder &BinaryBuilder::Name(const QByteArray &name)
{
    return U8(quint32(name.size())).Raw(name);
}

BinaryBuilder &BinaryBuilder::Header(int columns, int rows)
{
    return U32(0xBDE01996).U32(1).U32(24).U16(quint32(columns)).U32(quint32(rows)).U32(3).U16(0);
}

BinaryBuilder &BinaryBuilder::Records()
{
    const qsizetype offset = bytes_.size();
    bytes_[22] = char(offset & 0xFF);
    bytes_[23] = char((offset >> 8) & 0xFF);
    return *this;
}

}  // namespace PacketSamples

}  // namespace Catraca
