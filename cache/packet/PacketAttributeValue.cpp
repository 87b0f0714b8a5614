#include "cache/packet/PacketAttributeValue.h"

#include "cache/base/AnsiText.h"
#include "cache/packet/ByteReader.h"
#include "cache/packet/ByteWriter.h"
#include "cache/base/Exceptions.h"
#include "cache/packet/PacketCodec.h"
#include "cache/packet/PacketTypeWord.h"
#include "cache/packet/Utf16Bytes.h"
#include "cache/packet/PacketValueText.h"

#include <QStringList>

#include <bit>

namespace Catraca {

namespace PacketAttributeValue {

namespace {

using namespace PacketTypeWord;

bool IsPrefixSize(int size)
{
    return size == 1 || size == 2 || size == 4;
}

bool IsIntegerSize(int size)
{
    return size == 1 || size == 2 || size == 4 || size == 8;
}

void ReadScalar(ByteReader &reader, quint32 typeWord)
{
    if (!IsVarying(typeWord)) {
        reader.Bytes(Size(typeWord), "an attribute value");
        return;
    }
    if (!IsPrefixSize(Size(typeWord)))
        PacketCodec::Refuse(QStringLiteral("an attribute has a length prefix of %1 bytes").arg(Size(typeWord)));
    const quint64 length = reader.Unsigned(Size(typeWord), "an attribute length");
    reader.Bytes(qint64(length), "an attribute value");
}

void ReadValue(ByteReader &reader, quint32 typeWord)
{
    if (!IsArray(typeWord)) {
        ReadScalar(reader, typeWord);
        return;
    }
    const qint32 count = reader.I32("an array count");
    const quint32 element = Element(typeWord);
    const int smallestElement = Size(element);
    if (count < 0 || (count > 0 && smallestElement <= 0))
        PacketCodec::Refuse(QStringLiteral("an array has an impossible element count"));
    reader.Require(qint64(count) * smallestElement, "an array");
    for (qint32 index = 0; index < count; ++index)
        ReadScalar(reader, element);
}

bool IsNumber(quint32 typeWord)
{
    const quint32 code = Code(typeWord);
    return (code == kSignedInt || code == kUnsignedInt || code == kBoolean) && !IsVarying(typeWord)
        && IsIntegerSize(Size(typeWord));
}

qint64 NumberFromBytes(const QByteArray &bytes, quint32 typeWord)
{
    ByteReader reader(bytes);
    const int size = Size(typeWord);
    const quint64 raw = reader.Unsigned(size, "a number");
    if (Code(typeWord) != kSignedInt || size == 8)
        return qint64(raw);
    const int unusedBits = 64 - 8 * size;
    return qint64(raw << unusedBits) >> unusedBits;
}

QByteArray NumberBytes(qint64 value, int size)
{
    ByteWriter writer;
    writer.Unsigned(quint64(value), size);
    return writer.Result();
}

bool FitsInteger(qint64 value, quint32 typeCode, int size)
{
    if (size == 8)
        return typeCode != kUnsignedInt || value >= 0;
    const int bits = 8 * size;
    if (typeCode == kSignedInt)
        return value >= -(qint64(1) << (bits - 1)) && value < (qint64(1) << (bits - 1));
    return value >= 0 && value < (qint64(1) << bits);
}

QString IntegerTypeName(quint32 typeCode, int size)
{
    return QStringLiteral("%1%2").arg(typeCode == kSignedInt ? QStringLiteral("i") : QStringLiteral("ui")).arg(size);
}

struct NumberType {
    quint32 code;
    int size;
};

std::optional<NumberType> NumberTypeOf(const QString &typeName)
{
    static const struct {
        const char *name;
        NumberType type;
    } kTypes[] = {
        {"i1", {kSignedInt, 1}},   {"i2", {kSignedInt, 2}},   {"i4", {kSignedInt, 4}},
        {"i8", {kSignedInt, 8}},   {"ui1", {kUnsignedInt, 1}}, {"ui2", {kUnsignedInt, 2}},
        {"ui4", {kUnsignedInt, 4}}, {"ui8", {kUnsignedInt, 8}}, {"boolean", {kBoolean, 2}},
    };
    for (const auto &entry : kTypes) {
        if (typeName.compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0)
            return entry.type;
    }
    return std::nullopt;
}

// An 8-byte unsigned attribute keeps its bits in a qint64, so values from
// 2^63 up are negative there; as text they are written and read unsigned.
bool IsWideUnsigned(quint32 typeCode, int size)
{
    return typeCode == kUnsignedInt && size == 8;
}

QString IntegerText(qint64 value, quint32 typeCode, int size)
{
    return IsWideUnsigned(typeCode, size) ? QString::number(quint64(value)) : QString::number(value);
}

qint64 ParseNumber(const QByteArray &name, const QString &text, NumberType type)
{
    std::optional<qint64> value;
    const bool wideUnsigned = IsWideUnsigned(type.code, type.size);
    if (type.code == kBoolean) {
        if (text.trimmed().compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0)
            value = 1;
        else if (text.trimmed().compare(QLatin1String("FALSE"), Qt::CaseInsensitive) == 0)
            value = 0;
    } else if (wideUnsigned) {
        bool ok = false;
        const quint64 unsignedValue = text.trimmed().toULongLong(&ok, 10);
        if (ok)
            value = qint64(unsignedValue);
    } else {
        value = PacketValueText::ParseInteger(text);
    }
    if (!value || (!wideUnsigned && !FitsInteger(*value, type.code, type.size)))
        PacketCodec::Refuse(QStringLiteral("the value \"%1\" of attribute %2 is not valid")
                                .arg(text, QString::fromLatin1(name)));
    return *value;
}

}  // namespace

QByteArray ReadStored(ByteReader &reader, quint32 typeWord)
{
    const qsizetype start = reader.Position();
    ReadValue(reader, typeWord);
    const qsizetype end = reader.Position();
    reader.Seek(start);
    return reader.Bytes(end - start, "an attribute value");
}

bool IsWellFormed(const QByteArray &stored, quint32 typeWord)
{
    try {
        ByteReader reader(stored);
        ReadValue(reader, typeWord);
        return reader.Remaining() == 0;
    } catch (const EDBClient &) {
        return false;
    }
}

std::optional<qint64> Integer(const PacketAttribute &attribute)
{
    if (IsArray(attribute.typeWord) || !IsNumber(attribute.typeWord)
        || attribute.value.size() != Size(attribute.typeWord))
        return std::nullopt;
    return NumberFromBytes(attribute.value, attribute.typeWord);
}

std::optional<QString> Text(const PacketAttribute &attribute)
{
    const quint32 typeWord = attribute.typeWord;
    const quint32 code = Code(typeWord);
    if (IsArray(typeWord) || (code != kAnsiString && code != kWideString)
        || !IsWellFormed(attribute.value, typeWord))
        return std::nullopt;
    const int prefix = IsVarying(typeWord) ? Size(typeWord) : 0;
    const QByteArray bytes = attribute.value.mid(prefix);
    if (code == kAnsiString) {
        const qsizetype end = bytes.indexOf('\0');
        return AnsiText::ToUnicode(end < 0 ? bytes : bytes.left(end));
    }
    const QString text = TextOfUtf16LittleEndian(bytes);
    const qsizetype end = text.indexOf(QChar(0));
    return end < 0 ? text : text.left(end);
}

std::optional<QList<qint64>> IntegerList(const PacketAttribute &attribute)
{
    const quint32 element = Element(attribute.typeWord);
    if (!IsArray(attribute.typeWord) || !IsNumber(element) || !IsWellFormed(attribute.value, attribute.typeWord))
        return std::nullopt;
    QList<qint64> values;
    const int size = Size(element);
    for (qsizetype offset = 4; offset + size <= attribute.value.size(); offset += size)
        values.append(NumberFromBytes(attribute.value.mid(offset, size), element));
    return values;
}

PacketAttribute MakeInteger(const QByteArray &name, quint32 typeCode, int size, qint64 value)
{
    return PacketAttribute {name, Make(typeCode, quint32(size)), NumberBytes(value, size)};
}

PacketAttribute MakeText(const QByteArray &name, const QString &text)
{
    const qsizetype end = text.indexOf(QChar(0));
    const QByteArray bytes = AnsiText::Encode(end < 0 ? text : text.left(end)) + '\0';
    const int prefix = bytes.size() <= 0xFFFF ? 2 : 4;
    return PacketAttribute {name, Make(kAnsiString, quint32(prefix), true), NumberBytes(bytes.size(), prefix) + bytes};
}

PacketAttribute MakeIntegerList(const QByteArray &name, quint32 typeCode, int size, const QList<qint64> &values)
{
    QByteArray stored = NumberBytes(values.size(), 4);
    for (const qint64 value : values)
        stored += NumberBytes(value, size);
    return PacketAttribute {name, Make(typeCode, quint32(size), false, true), stored};
}

std::optional<XmlValue> ToXml(const PacketAttribute &attribute)
{
    const quint32 code = Code(attribute.typeWord);
    const int size = Size(attribute.typeWord);
    if (const std::optional<qint64> number = Integer(attribute)) {
        if (code == kBoolean)
            return XmlValue {*number != 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE"), QStringLiteral("boolean")};
        return XmlValue {IntegerText(*number, code, size), IntegerTypeName(code, size)};
    }
    if (const std::optional<QList<qint64>> values = IntegerList(attribute)) {
        if (Code(Element(attribute.typeWord)) == kBoolean)
            return std::nullopt;
        QStringList texts;
        const quint32 element = Element(attribute.typeWord);
        for (const qint64 value : *values)
            texts.append(IntegerText(value, Code(element), Size(element)));
        return XmlValue {texts.join(QLatin1Char(' ')), IntegerTypeName(code, size), true};
    }
    if (const std::optional<QString> text = Text(attribute))
        return XmlValue {*text, code == kWideString ? QStringLiteral("string.uni") : QStringLiteral("string")};
    if (code == kFloat && !IsVarying(attribute.typeWord) && !IsArray(attribute.typeWord) && size == 8
        && attribute.value.size() == 8) {
        ByteReader reader(attribute.value);
        return XmlValue {PacketValueText::FloatText(std::bit_cast<double>(reader.U64("a number"))), QStringLiteral("r8")};
    }
    return std::nullopt;
}

PacketAttribute FromXml(const QByteArray &name, const QString &text, const QString &typeName, bool isList)
{
    if (const std::optional<NumberType> type = NumberTypeOf(typeName)) {
        if (!isList)
            return MakeInteger(name, type->code, type->size, ParseNumber(name, text, *type));
        QList<qint64> values;
        for (const QString &part : text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts))
            values.append(ParseNumber(name, part, *type));
        return MakeIntegerList(name, type->code, type->size, values);
    }
    if (typeName.compare(QLatin1String("r8"), Qt::CaseInsensitive) == 0 && !isList) {
        const std::optional<double> value = PacketValueText::ParseFloat(text);
        if (!value)
            PacketCodec::Refuse(QStringLiteral("the value \"%1\" of attribute %2 is not valid")
                                    .arg(text, QString::fromLatin1(name)));
        return PacketAttribute {name, Make(kFloat, 8), NumberBytes(std::bit_cast<qint64>(*value), 8)};
    }
    if (typeName.compare(QLatin1String("string.uni"), Qt::CaseInsensitive) == 0) {
        QByteArray bytes;
        for (const QChar character : text + QChar(0))
            bytes += NumberBytes(character.unicode(), 2);
        const int prefix = bytes.size() <= 0xFFFF ? 2 : 4;
        return PacketAttribute {name, Make(kWideString, quint32(prefix), true), NumberBytes(bytes.size(), prefix) + bytes};
    }
    return MakeText(name, text);
}

std::optional<XmlValue> KnownTableAttributeType(const QByteArray &name)
{
    if (name == "AUTOINCVALUE" || name == "LCID")
        return XmlValue {QString(), QStringLiteral("i4")};
    if (name == "CHANGE_LOG")
        return XmlValue {QString(), QStringLiteral("i4"), true};
    if (name == "DEFAULT_ORDER" || name == "PRIMARY_KEY")
        return XmlValue {QString(), QStringLiteral("ui2"), true};
    return std::nullopt;
}

}  // namespace PacketAttributeValue

}  // namespace Catraca
