#include "cache/packet/XmlPacket.h"

#include "cache/base/AnsiText.h"
#include "cache/packet/ChangeLog.h"
#include "cache/packet/PacketAttributeValue.h"
#include "cache/packet/PacketCodec.h"
#include "cache/packet/Utf16Bytes.h"
#include "cache/packet/PacketValueText.h"
#include "cache/packet/XmlText.h"

#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <limits>

namespace XmlPacket {

namespace {

// Column attribute that keeps the description (FIELDS, PARAMS) of a nested
// table as XML text, so that it is written back as it was read.
const QByteArray kNestedMetadata = "nested.metadata";
const QString kRowState = QStringLiteral("RowState");

struct FieldType {
    const char *name;
    ColumnKind kind;
    int size;             // 0: from WIDTH
    const char *subtype;  // the variant of the kind that this type name stands for
};

constexpr FieldType kFieldTypes[] = {
    {"string", ColumnKind::AnsiString, 0, ""},      {"string.uni", ColumnKind::WideString, 0, ""},
    {"i1", ColumnKind::SignedInt, 1, ""},           {"i2", ColumnKind::SignedInt, 2, ""},
    {"i4", ColumnKind::SignedInt, 4, ""},           {"i8", ColumnKind::SignedInt, 8, ""},
    {"ui1", ColumnKind::UnsignedInt, 1, ""},        {"ui2", ColumnKind::UnsignedInt, 2, ""},
    {"ui4", ColumnKind::UnsignedInt, 4, ""},        {"ui8", ColumnKind::UnsignedInt, 8, ""},
    {"r8", ColumnKind::Float, 8, ""},               {"boolean", ColumnKind::Boolean, 2, ""},
    {"fixed", ColumnKind::Bcd, 0, ""},              {"fixedFMT", ColumnKind::Bcd, 0, "FMTBcd"},
    {"date", ColumnKind::Date, 4, ""},              {"time", ColumnKind::Time, 4, ""},
    {"dateTime", ColumnKind::Timestamp, 8, ""},     {"SQLdateTime", ColumnKind::Timestamp, 8, "SQLdateTime"},
    {"bin.hex", ColumnKind::Blob, 0, ""},           {"nested", ColumnKind::Nested, 0, ""},
};

// The type name for a column: a variant's own name where its subtype marks one.
const FieldType *VariantTypeOf(const PacketColumn &column)
{
    for (const FieldType &type : kFieldTypes) {
        if (type.kind == column.kind && *type.subtype != '\0'
            && column.subtype.compare(QLatin1String(type.subtype), Qt::CaseInsensitive) == 0)
            return &type;
    }
    return nullptr;
}

bool IsTrue(const QString &text)
{
    return text.trimmed().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

bool IsPlainTextMemo(const PacketColumn &column)
{
    return column.subtype.compare(QLatin1String("Text"), Qt::CaseInsensitive) == 0;
}

bool IsWideTextMemo(const PacketColumn &column)
{
    return column.subtype.compare(QLatin1String("WideText"), Qt::CaseInsensitive) == 0;
}

bool FitsInteger(qint64 value, ColumnKind kind, int size)
{
    if (size >= 8)
        return kind == ColumnKind::SignedInt || value >= 0;
    const int bits = 8 * size;
    if (kind == ColumnKind::SignedInt)
        return value >= -(qint64(1) << (bits - 1)) && value < (qint64(1) << (bits - 1));
    return value >= 0 && value < (qint64(1) << bits);
}

// ================================================================ reading

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
            if (!FitsInteger(value, column.kind, column.size))
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

// ================================================================ writing

class Writer {
public:
    Writer(const Packet &packet, bool utf8) : packet_(packet), utf8_(utf8) {}

    QByteArray Write()
    {
        out_ += utf8_ ? QLatin1String("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>")
                      : QLatin1String("<?xml version=\"1.0\" standalone=\"yes\"?>");
        out_ += QLatin1String("  <DATAPACKET Version=\"2.0\"><METADATA><FIELDS>");
        ChooseAttributeNames();
        for (qsizetype index = 0; index < packet_.columns.size(); ++index)
            WriteField(packet_.columns[index], attrNames_[index]);
        out_ += QLatin1String("</FIELDS>");
        WriteParams();
        out_ += QLatin1String("</METADATA><ROWDATA>");
        for (const PacketRow &row : packet_.rows)
            WriteRow(row);
        out_ += QLatin1String("</ROWDATA></DATAPACKET>");
        return utf8_ ? out_.toUtf8() : out_.toLatin1();
    }

private:
    [[noreturn]] static void Refuse(const QString &reason)
    {
        PacketCodec::Refuse(reason, PacketCodec::kCannotEncode);
    }

    static bool IsXmlName(const QString &name)
    {
        // Anchored whole: "$" would also match before a final line feed, and
        // "NAME\n" is no XML name (a reader takes it for NAME and a blank).
        static const QRegularExpression pattern(QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z_][A-Za-z0-9._-]*")));
        return pattern.match(name).hasMatch();
    }

    // Row values are XML attributes named after their columns; a column whose
    // name is not an XML name gets one and keeps its own as fieldname.
    void ChooseAttributeNames()
    {
        QSet<QString> taken {kRowState};
        for (const PacketColumn &column : packet_.columns) {
            if (IsXmlName(column.name))
                taken.insert(column.name);
        }
        QSet<QString> used {kRowState};
        for (const PacketColumn &column : packet_.columns) {
            QString name = column.name;
            if (!IsXmlName(name) || used.contains(name)) {
                QString base;
                for (const QChar character : column.name)
                    base += (character.unicode() < 0x80 && (character.isLetterOrNumber() || character == u'_')) ? character : QChar(u'_');
                if (base.isEmpty() || !IsXmlName(base.left(1)))
                    base.prepend(QLatin1Char('_'));
                name = base;
                for (int suffix = 1; used.contains(name) || (taken.contains(name) && name != column.name); ++suffix)
                    name = base + QString::number(suffix);
            }
            used.insert(name);
            attrNames_.append(name);
        }
    }

    void Attribute(const QString &name, const QString &value)
    {
        out_ += QLatin1Char(' ') + name + QLatin1String("=\"");
        XmlText::AppendEscaped(out_, value, !utf8_);
        out_ += QLatin1Char('"');
    }

    static QString FieldTypeOf(const PacketColumn &column)
    {
        if (const FieldType *variant = VariantTypeOf(column))
            return QLatin1String(variant->name);
        const auto integer = [&column](const char *prefix) {
            if (column.size != 1 && column.size != 2 && column.size != 4 && column.size != 8)
                Refuse(QStringLiteral("column %1 has an integer size of %2 bytes").arg(column.name).arg(column.size));
            return QLatin1String(prefix) + QString::number(column.size);
        };
        switch (column.kind) {
        case ColumnKind::SignedInt: return integer("i");
        case ColumnKind::UnsignedInt: return integer("ui");
        case ColumnKind::Boolean: return QStringLiteral("boolean");
        case ColumnKind::Float: return QStringLiteral("r8");
        case ColumnKind::Bcd: return QStringLiteral("fixed");
        case ColumnKind::Date: return QStringLiteral("date");
        case ColumnKind::Time: return QStringLiteral("time");
        case ColumnKind::Timestamp: return QStringLiteral("dateTime");
        case ColumnKind::AnsiString: return QStringLiteral("string");
        case ColumnKind::WideString: return QStringLiteral("string.uni");
        case ColumnKind::Blob: return QStringLiteral("bin.hex");
        case ColumnKind::Nested: return QStringLiteral("nested");
        }
        Refuse(QStringLiteral("column %1 has an unknown kind").arg(column.name));
    }

    static bool HasWidth(const PacketColumn &column)
    {
        switch (column.kind) {
        case ColumnKind::AnsiString:
        case ColumnKind::WideString:
        case ColumnKind::Bcd:
            return true;
        case ColumnKind::Blob:
            return column.size > 0;
        default:
            return false;
        }
    }

    // Nested tables are kept as XML text; only well-formed text goes out,
    // so what this side writes can always be read again. It goes out as the
    // reading side captures it (parsed and written again), so that a second
    // trip gives the same bytes: a parser turns a raw carriage return into a
    // line feed and a writer escapes ">", whatever the text had before.
    QString Fragment(const QString &xml, const PacketColumn &column) const
    {
        QXmlStreamReader check(QStringLiteral("<check>") + xml + QStringLiteral("</check>"));
        check.setNamespaceProcessing(false);
        QString canonical;
        QXmlStreamWriter writer(&canonical);
        int depth = 0;
        while (!check.atEnd()) {
            check.readNext();
            if (check.hasError())
                break;
            const bool wrapper = (check.isStartElement() && depth++ == 0) || (check.isEndElement() && --depth == 0);
            if (!wrapper && depth > 0)
                writer.writeCurrentToken(check);
        }
        if (check.hasError())
            RefuseValue(column, QStringLiteral("holds a nested table that is not well-formed XML"));
        return utf8_ ? canonical : XmlText::AsciiOnly(canonical);
    }

    void WriteField(const PacketColumn &column, const QString &attrName)
    {
        if (column.isArray)
            Refuse(QStringLiteral("column %1 holds arrays, which the XML form cannot hold").arg(column.name));
        out_ += QLatin1String("<FIELD");
        Attribute(QStringLiteral("attrname"), attrName);
        if (attrName != column.name)
            Attribute(QStringLiteral("fieldname"), column.name);
        Attribute(QStringLiteral("fieldtype"), FieldTypeOf(column));
        if (column.readOnly)
            Attribute(QStringLiteral("readonly"), QStringLiteral("true"));
        if (column.required)
            Attribute(QStringLiteral("required"), QStringLiteral("true"));
        if (column.hidden)
            Attribute(QStringLiteral("hidden"), QStringLiteral("true"));
        if (!column.subtype.isEmpty() && VariantTypeOf(column) == nullptr)
            Attribute(QStringLiteral("SUBTYPE"), column.subtype);
        if (column.kind == ColumnKind::Bcd)
            Attribute(QStringLiteral("DECIMALS"), QString::number(column.decimals));
        if (HasWidth(column))
            Attribute(QStringLiteral("WIDTH"), QString::number(column.size));

        static const QStringList kFieldAttributes = {
            QStringLiteral("attrname"), QStringLiteral("fieldname"), QStringLiteral("fieldtype"),
            QStringLiteral("readonly"), QStringLiteral("required"),  QStringLiteral("hidden"),
            QStringLiteral("SUBTYPE"),  QStringLiteral("DECIMALS"),  QStringLiteral("WIDTH"),
        };
        QString children;
        for (const PacketAttribute &attribute : column.extraAttributes) {
            if (attribute.name == kNestedMetadata)
                children += Fragment(PacketAttributeValue::Text(attribute).value_or(QString()), column);
            else
                WriteExtraAttribute(attribute, kFieldAttributes, children);
        }
        if (children.isEmpty()) {
            out_ += QLatin1String("/>");
        } else {
            out_ += QLatin1Char('>') + children + QLatin1String("</FIELD>");
        }
    }

    // Strings whose name is an XML name go into the element's attributes;
    // anything else that the XML form can express becomes a PARAM child.
    // An attribute of a type the XML form has no words for is not written,
    // nor one without a name, which no PARAM can carry.
    void WriteExtraAttribute(const PacketAttribute &attribute, const QStringList &reserved, QString &children)
    {
        const std::optional<PacketAttributeValue::XmlValue> value = PacketAttributeValue::ToXml(attribute);
        if (!value || attribute.name.isEmpty())
            return;
        const QString name = AnsiText::ToUnicode(attribute.name);
        const bool asAttribute = value->typeName == QLatin1String("string") && IsXmlName(name) && !reserved.contains(name)
            && !PacketAttributeValue::KnownTableAttributeType(attribute.name);
        if (asAttribute) {
            Attribute(name, value->text);
            return;
        }
        children += QLatin1String("<PARAM Name=\"");
        XmlText::AppendEscaped(children, name, !utf8_);
        children += QLatin1String("\" Value=\"");
        XmlText::AppendEscaped(children, value->text, !utf8_);
        children += QLatin1String("\" Type=\"") + value->typeName + QLatin1String("\"/>");
    }

    void WriteParams()
    {
        out_ += QLatin1String("<PARAMS");
        QString children;
        for (const PacketAttribute &attribute : packet_.tableAttributes) {
            if (attribute.name == "AUTOINCVALUE" || attribute.name == "CHANGE_LOG")
                continue;
            const std::optional<PacketAttributeValue::XmlValue> known = PacketAttributeValue::KnownTableAttributeType(attribute.name);
            const std::optional<PacketAttributeValue::XmlValue> value = PacketAttributeValue::ToXml(attribute);
            if (known && value && value->isList == known->isList && value->typeName == known->typeName)
                Attribute(AnsiText::ToUnicode(attribute.name), value->text);
            else
                WriteExtraAttribute(attribute, {}, children);
        }
        if (packet_.autoIncValue)
            Attribute(QStringLiteral("AUTOINCVALUE"), QString::number(*packet_.autoIncValue));
        if (children.isEmpty())
            out_ += QLatin1String("/>");
        else
            out_ += QLatin1Char('>') + children + QLatin1String("</PARAMS>");
    }

    [[noreturn]] static void RefuseValue(const PacketColumn &column, const QString &problem)
    {
        Refuse(QStringLiteral("column %1 %2").arg(column.name, problem));
    }

    template <typename Value>
    static const Value &ValueOf(const Cell &cell, const PacketColumn &column)
    {
        const Value *value = std::get_if<Value>(&cell);
        if (value == nullptr)
            RefuseValue(column, QStringLiteral("holds a value of the wrong type"));
        return *value;
    }

    template <typename Value>
    static Value Writable(const std::optional<Value> &value, const PacketColumn &column)
    {
        if (!value)
            RefuseValue(column, QStringLiteral("holds a value outside the years 1 to 9999 or outside a day"));
        return *value;
    }

    static QString TextOf(const Cell &cell, const PacketColumn &column)
    {
        switch (column.kind) {
        case ColumnKind::SignedInt:
        case ColumnKind::UnsignedInt: return QString::number(ValueOf<qint64>(cell, column));
        case ColumnKind::Boolean: return ValueOf<qint64>(cell, column) != 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        case ColumnKind::Float: return PacketValueText::FloatText(ValueOf<double>(cell, column));
        case ColumnKind::Bcd: {
            const QString &text = ValueOf<QString>(cell, column);
            if (!PacketValueText::NormalizeDecimal(text))
                RefuseValue(column, QStringLiteral("holds \"%1\", which is not a decimal number").arg(text));
            return text;
        }
        case ColumnKind::Date: return Writable(PacketValueText::DateText(ValueOf<qint64>(cell, column)), column);
        case ColumnKind::Time: return Writable(PacketValueText::TimeText(ValueOf<qint64>(cell, column)), column);
        case ColumnKind::Timestamp: return Writable(PacketValueText::TimestampText(ValueOf<double>(cell, column)), column);
        case ColumnKind::AnsiString: return AnsiText::ToUnicode(ValueOf<QByteArray>(cell, column));
        case ColumnKind::WideString: return ValueOf<QString>(cell, column);
        case ColumnKind::Blob: {
            const QByteArray &bytes = ValueOf<QByteArray>(cell, column);
            if (IsPlainTextMemo(column))
                return AnsiText::ToUnicode(bytes);
            if (IsWideTextMemo(column))
                return TextOfUtf16LittleEndian(bytes);
            return QString::fromLatin1(bytes.toBase64());
        }
        case ColumnKind::Nested: break;
        }
        return {};
    }

    void WriteRow(const PacketRow &row)
    {
        if (qsizetype(row.cells.size()) != packet_.columns.size())
            Refuse(QStringLiteral("a row holds %1 values for %2 columns").arg(row.cells.size()).arg(packet_.columns.size()));
        out_ += QLatin1String("<ROW");
        QString nested;
        for (qsizetype index = 0; index < packet_.columns.size(); ++index) {
            const Cell &cell = row.cells[size_t(index)];
            const PacketColumn &column = packet_.columns[index];
            if (std::holds_alternative<std::monostate>(cell))
                continue;
            if (column.kind == ColumnKind::Nested) {
                nested += QLatin1Char('<') + attrNames_[index] + QLatin1Char('>')
                    + Fragment(QString::fromUtf8(ValueOf<QByteArray>(cell, column)), column) + QLatin1String("</")
                    + attrNames_[index] + QLatin1Char('>');
                continue;
            }
            Attribute(attrNames_[index], TextOf(cell, column));
        }
        if (nested.isEmpty())
            out_ += QLatin1String("/>");
        else
            out_ += QLatin1Char('>') + nested + QLatin1String("</ROW>");
    }

    const Packet &packet_;
    bool utf8_;
    QString out_;
    QStringList attrNames_;
};

}  // namespace

Packet Decode(const QByteArray &bytes)
{
    return Reader(bytes).Read();
}

QByteArray Encode(const Packet &packet, bool utf8)
{
    return Writer(packet, utf8).Write();
}

}  // namespace XmlPacket
