#include "cache/packet/XmlPacket.h"

#include "cache/base/AnsiText.h"
#include "cache/packet/PacketAttributeValue.h"
#include "cache/packet/PacketCodec.h"
#include "cache/packet/PacketValueText.h"
#include "cache/packet/Utf16Bytes.h"
#include "cache/packet/XmlPacketFormat.h"
#include "cache/packet/XmlText.h"

#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamWriter>

namespace Catraca {


namespace XmlPacket {

namespace {

using namespace Format;
using PacketCodec::RefuseValue;

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

QByteArray Encode(const Packet &packet, bool utf8)
{
    return Writer(packet, utf8).Write();
}

}  // namespace XmlPacket

}  // namespace Catraca
