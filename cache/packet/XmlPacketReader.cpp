#include "cache/packet/XmlPacket.h"

#include "cache/base/AnsiText.h"
#include "cache/packet/ChangeLog.h"
#include "cache/packet/PacketAttributeValue.h"
#include "cache/packet/PacketCodec.h"
#include "cache/packet/PacketValueText.h"
#include "cache/packet/Utf16Bytes.h"
#include "cache/packet/XmlPacketFormat.h"
#include "cache/packet/XmlText.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

#include <limits>

namespace Catraca {

namespace XmlPacket {

namespace {

using namespace Format;

bool IsTrue(const QString &text)
{
    return text.trimmed().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

class Reader {
public:
    explicit Reader(const QByteArray &bytes) : xml_(controls_.Protect(XmlText::Decode(bytes)))
    {
        xml_.setNamespaceProcessing(false);
    }

    Packet Read()
    {
        if (!xml_.readNextStartElement() || xml_.name() != QLatin1String("DATAPACKET"))
            Fail(QStringLiteral("the XML text is not a DATAPACKET"));
        bool sawMetadata = false;
        while (xml_.readNextStartElement()) {
            if (xml_.name() == QLatin1String("METADATA")) {
                ReadMetadata();
                sawMetadata = true;
            } else if (xml_.name() == QLatin1String("ROWDATA")) {
                if (!sawMetadata)
                    Fail(QStringLiteral("ROWDATA comes before METADATA"));
                ReadRowData();
            } else {
                xml_.skipCurrentElement();
            }
        }
        while (!xml_.atEnd())
            xml_.readNext();
        CheckWellFormed();
        if (!sawMetadata)
            Fail(QStringLiteral("the packet has no METADATA"));
        packet_.rows = ChangeLog::VisibleRows(std::move(records_), changeLog_);
        return std::move(packet_);
    }

private:
    [[noreturn]] void Fail(const QString &reason)
    {
        CheckWellFormed();
        PacketCodec::Refuse(reason);
    }

    void CheckWellFormed()
    {
        if (xml_.hasError())
            PacketCodec::Refuse(QStringLiteral("%1 (line %2, column %3)")
                                    .arg(xml_.errorString())
                                    .arg(xml_.lineNumber())
                                    .arg(xml_.columnNumber()));
    }

    QString Value(const QXmlStreamAttribute &attribute) const
    {
        return controls_.Restore(attribute.value().toString());
    }

    QString AttributeText(const QString &name) const
    {
        for (const QXmlStreamAttribute &attribute : xml_.attributes()) {
            if (attribute.qualifiedName() == name)
                return Value(attribute);
        }
        return {};
    }

    // ------------------------------------------------------------ metadata

    void ReadMetadata()
    {
        while (xml_.readNextStartElement()) {
            if (xml_.name() == QLatin1String("FIELDS"))
                ReadFields();
            else if (xml_.name() == QLatin1String("PARAMS"))
                ReadParams();
            else
                xml_.skipCurrentElement();
        }
    }

    void ReadFields()
    {
        while (xml_.readNextStartElement()) {
            if (xml_.name() == QLatin1String("FIELD"))
                ReadField();
            else
                xml_.skipCurrentElement();
        }
    }

    static PacketColumn ColumnOfType(const QString &fieldType, const QString &columnName)
    {
        for (const FieldType &type : kFieldTypes) {
            if (fieldType.compare(QLatin1String(type.name), Qt::CaseInsensitive) == 0) {
                PacketColumn column;
                column.kind = type.kind;
                column.size = type.size;
                column.subtype = QLatin1String(type.subtype);
                return column;
            }
        }
        PacketCodec::Refuse(QStringLiteral("column %1 has the type \"%2\", which cannot be read").arg(columnName, fieldType),
                            PacketCodec::kUnsupportedType);
    }

    int NumberAttribute(const QString &text, const QString &what, const QString &columnName)
    {
        const std::optional<qint64> number = PacketValueText::ParseInteger(text);
        if (!number || *number < 0 || *number > std::numeric_limits<int>::max())
            Fail(QStringLiteral("column %1 has an invalid %2 \"%3\"").arg(columnName, what, text));
        return int(*number);
    }

    void ReadField()
    {
        const QString attrName = AttributeText(QStringLiteral("attrname"));
        const QString fieldName = AttributeText(QStringLiteral("fieldname"));
        if (attrName.isEmpty())
            Fail(QStringLiteral("a FIELD has no attrname"));
        if (attrNames_.contains(attrName))
            Fail(QStringLiteral("two columns are named %1").arg(attrName));
        // A fieldname that is there but empty names a column without a name.
        const QString columnName = xml_.attributes().hasAttribute(QStringLiteral("fieldname")) ? fieldName : attrName;
        PacketColumn column = ColumnOfType(AttributeText(QStringLiteral("fieldtype")), columnName);
        column.name = columnName;
        for (const QXmlStreamAttribute &attribute : xml_.attributes())
            ApplyFieldAttribute(column, attribute.qualifiedName().toString(), Value(attribute));
        ReadFieldChildren(column);
        packet_.columns.append(column);
        attrNames_.append(attrName);
    }

    void ApplyFieldAttribute(PacketColumn &column, const QString &name, const QString &value)
    {
        static const QStringList kHandled = {QStringLiteral("attrname"), QStringLiteral("fieldname"),
                                             QStringLiteral("fieldtype")};
        if (kHandled.contains(name))
            return;
        if (name == QLatin1String("WIDTH")) {
            const int width = NumberAttribute(value, name, column.name);
            if (column.size == 0)
                column.size = width;
        } else if (name == QLatin1String("DECIMALS")) {
            column.decimals = NumberAttribute(value, name, column.name);
        } else if (name == QLatin1String("SUBTYPE")) {
            column.subtype = value.left(value.indexOf(QChar(0)));  // as a zero-terminated attribute keeps it
        } else if (name == QLatin1String("readonly")) {
            column.readOnly = IsTrue(value);
        } else if (name == QLatin1String("required")) {
            column.required = IsTrue(value);
        } else if (name == QLatin1String("hidden")) {
            column.hidden = IsTrue(value);
        } else {
            column.extraAttributes.append(PacketAttributeValue::MakeText(AnsiText::Encode(name), value));
        }
    }

    void ReadFieldChildren(PacketColumn &column)
    {
        QString nestedMetadata;
        while (xml_.readNextStartElement()) {
            if (xml_.name() == QLatin1String("PARAM"))
                column.extraAttributes.append(ReadParam());
            else if (column.kind == ColumnKind::Nested)
                nestedMetadata += CaptureElement();
            else
                xml_.skipCurrentElement();
        }
        if (!nestedMetadata.isEmpty())
            column.extraAttributes.append(PacketAttributeValue::FromXml(kNestedMetadata, nestedMetadata,
                                                                        QStringLiteral("string.uni"), false));
    }

    // A PARAM element: Name, Value and optionally Type.
    PacketAttribute ReadParam()
    {
        const QString name = AttributeText(QStringLiteral("Name"));
        const QString value = AttributeText(QStringLiteral("Value"));
        const QString type = AttributeText(QStringLiteral("Type"));
        xml_.skipCurrentElement();
        if (name.isEmpty())
            Fail(QStringLiteral("a PARAM has no Name"));
        // Lists are numbers separated by blanks; an empty number is an empty list.
        const bool isList = !type.isEmpty() && !type.startsWith(QLatin1String("string"))
            && (value.trimmed().isEmpty() || value.trimmed().contains(QLatin1Char(' ')));
        return PacketAttributeValue::FromXml(AnsiText::Encode(name), value, type, isList);
    }

    void ReadParams()
    {
        for (const QXmlStreamAttribute &attribute : xml_.attributes())
            ApplyTableAttribute(AnsiText::Encode(attribute.qualifiedName().toString()), Value(attribute));
        while (xml_.readNextStartElement()) {
            if (xml_.name() == QLatin1String("PARAM"))
                packet_.tableAttributes.append(ReadParam());
            else
                xml_.skipCurrentElement();
        }
    }

    void ApplyTableAttribute(const QByteArray &name, const QString &value)
    {
        const std::optional<PacketAttributeValue::XmlValue> known = PacketAttributeValue::KnownTableAttributeType(name);
        const PacketAttribute attribute = known ? PacketAttributeValue::FromXml(name, value, known->typeName, known->isList)
                                                : PacketAttributeValue::MakeText(name, value);
        if (name == "AUTOINCVALUE")
            packet_.autoIncValue = qint32(*PacketAttributeValue::Integer(attribute));
        else if (name == "CHANGE_LOG")
            changeLog_ = *PacketAttributeValue::IntegerList(attribute);
        else
            packet_.tableAttributes.append(attribute);
    }

    // ------------------------------------------------------------ rows

    int ColumnOfAttribute(const QString &name) const
    {
        return int(attrNames_.indexOf(name));
    }

    void ReadRowData()
    {
        rowStateIsColumn_ = attrNames_.contains(kRowState);
        while (xml_.readNextStartElement()) {
            if (xml_.name() == QLatin1String("ROW"))
                records_.push_back(ReadRow());
            else
                xml_.skipCurrentElement();
        }
    }

    ChangeLog::StoredRecord ReadRow()
    {
        const qsizetype columnCount = packet_.columns.size();
        ChangeLog::StoredRecord record;
        record.cells.resize(size_t(columnCount));
        std::vector<bool> present(size_t(columnCount), false);
        for (const QXmlStreamAttribute &attribute : xml_.attributes()) {
            const QString name = attribute.qualifiedName().toString();
            if (name == kRowState && !rowStateIsColumn_) {
                record.status = RowState(Value(attribute));
                continue;
            }
            const int column = ColumnOfAttribute(name);
            if (column < 0)
                continue;  // a value of no column has nowhere to go
            record.cells[size_t(column)] = CellOf(packet_.columns[column], Value(attribute));
            present[size_t(column)] = true;
        }
        while (xml_.readNextStartElement()) {
            const int column = ColumnOfAttribute(xml_.name().toString());
            if (column >= 0 && packet_.columns[column].kind == ColumnKind::Nested) {
                record.cells[size_t(column)] = CaptureContent().toUtf8();
                present[size_t(column)] = true;
            } else {
                xml_.skipCurrentElement();
            }
        }
        // A modified row lists only what changed; the rest is its base row's.
        record.notChanged.resize(size_t(columnCount), false);
        if (record.status & ChangeLog::kModified) {
            for (qsizetype index = 0; index < columnCount; ++index)
                record.notChanged[size_t(index)] = !present[size_t(index)];
        }
        return record;
    }

    int RowState(const QString &text)
    {
        const std::optional<qint64> state = PacketValueText::ParseInteger(text);
        if (!state || *state < 0 || *state > 0xFF)
            Fail(QStringLiteral("a ROW has the invalid RowState \"%1\"").arg(text));
        return int(*state);
    }

    [[noreturn]] void FailValue(const PacketColumn &column, const QString &text)
    {
        Fail(QStringLiteral("the value \"%1\" of column %2 is not valid").arg(text, column.name));
    }

    template <typename Value>
    Value Required(const std::optional<Value> &value, const PacketColumn &column, const QString &text)
    {
        if (!value)
            FailValue(column, text);
        return *value;
    }

    Cell CellOf(const PacketColumn &column, const QString &text)
    {
        switch (column.kind) {
        case ColumnKind::AnsiString: return AnsiText::Encode(text);
        case ColumnKind::WideString: return text;
        case ColumnKind::Blob: return BlobOf(column, text);
        case ColumnKind::Nested: {  // given as an attribute, the value is plain text content
            QString escaped;
            XmlText::AppendEscaped(escaped, text, false);
            return escaped.toUtf8();
        }
        default: break;
        }
        if (text.trimmed().isEmpty())
            return std::monostate {};
        switch (column.kind) {
        case ColumnKind::SignedInt:
        case ColumnKind::UnsignedInt: {
            const qint64 value = Required(PacketValueText::ParseInteger(text), column, text);
            if (!PacketCodec::IntegerFits(value, column.kind == ColumnKind::SignedInt, column.size))
                FailValue(column, text);
            return value;
        }
        case ColumnKind::Boolean:
            if (IsTrue(text))
                return qint64(1);
            if (text.trimmed().compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
                return qint64(0);
            FailValue(column, text);
        case ColumnKind::Float: return Required(PacketValueText::ParseFloat(text), column, text);
        case ColumnKind::Bcd: return Required(PacketValueText::NormalizeDecimal(text), column, text);
        case ColumnKind::Date: return Required(PacketValueText::ParseDate(text), column, text);
        case ColumnKind::Time: return Required(PacketValueText::ParseTime(text), column, text);
        case ColumnKind::Timestamp: return Required(PacketValueText::ParseTimestamp(text), column, text);
        default: break;
        }
        FailValue(column, text);
    }

    Cell BlobOf(const PacketColumn &column, const QString &text)
    {
        if (IsPlainTextMemo(column))
            return AnsiText::Encode(text);
        if (IsWideTextMemo(column))
            return Utf16LittleEndianBytes(text);
        QByteArray compact = text.toLatin1();
        compact.replace(' ', QByteArray());
        const QByteArray::FromBase64Result decoded =
            QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded || text.contains(QRegularExpression(QStringLiteral("[^\\x20-\\x7E]"))))
            FailValue(column, text.left(40));
        return decoded.decoded;
    }

    // ------------------------------------------------------------ nested tables

    // The current element, start and end tags included, as XML text.
    QString CaptureElement()
    {
        QString captured;
        QXmlStreamWriter writer(&captured);
        writer.writeCurrentToken(xml_);
        CopyUntilEndOfElement(writer);
        writer.writeCurrentToken(xml_);
        return controls_.RestoreAsReferences(captured);
    }

    // What lies between the current element's start and end tags, as XML text.
    QString CaptureContent()
    {
        QString captured;
        QXmlStreamWriter writer(&captured);
        CopyUntilEndOfElement(writer);
        return controls_.RestoreAsReferences(captured);
    }

    void CopyUntilEndOfElement(QXmlStreamWriter &writer)
    {
        int depth = 1;
        while (!xml_.atEnd()) {
            xml_.readNext();
            if (xml_.isStartElement())
                ++depth;
            if (xml_.isEndElement() && --depth == 0)
                return;
            if (xml_.hasError())
                return;
            writer.writeCurrentToken(xml_);
        }
    }

    XmlText::ControlCharacters controls_;
    QXmlStreamReader xml_;
    Packet packet_;
    QStringList attrNames_;
    bool rowStateIsColumn_ = false;
    std::vector<ChangeLog::StoredRecord> records_;
    QList<qint64> changeLog_;
};

}  // namespace

Packet Decode(const QByteArray &bytes)
{
    return Reader(bytes).Read();
}

}  // namespace XmlPacket

}  // namespace Catraca
