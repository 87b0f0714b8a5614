#include "cache/packet/XmlText.h"

#include "cache/base/AnsiText.h"
#include "cache/packet/PacketCodec.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>

namespace Catraca {

namespace XmlText {

namespace {

constexpr char32_t kPrivateUseStart = 0xF0000;
constexpr char32_t kMarkerBlock = 0x20;  // one marker per control character 0..31

bool IsForbiddenControl(char32_t character)
{
    return character < 0x20 && character != 0x09 && character != 0x0A && character != 0x0D;
}

std::optional<QString> DecodeStrictly(QStringDecoder decoder, const QByteArray &bytes)
{
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

QString StrictUtf8(const QByteArray &bytes)
{
    const std::optional<QString> text = DecodeStrictly(QStringDecoder(QStringDecoder::Utf8), bytes);
    if (!text)
        PacketCodec::Refuse(QStringLiteral("the XML text is not valid UTF-8"));
    return *text;
}

QString StrictUtf16(const QByteArray &bytes, QStringDecoder::Encoding encoding)
{
    const std::optional<QString> text = DecodeStrictly(QStringDecoder(encoding), bytes);
    if (!text)
        PacketCodec::Refuse(QStringLiteral("the XML text is not valid UTF-16"));
    return *text;
}

QByteArray DeclaredEncoding(const QByteArray &bytes)
{
    if (!bytes.startsWith("<?xml"))
        return {};
    const qsizetype end = bytes.indexOf("?>");
    if (end < 0 || end > 1024)
        return {};
    static const QRegularExpression pattern(QStringLiteral("encoding\\s*=\\s*([\"'])([A-Za-z0-9._-]+)\\1"));
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(bytes.left(end)));
    return match.hasMatch() ? match.captured(2).toLatin1().toLower() : QByteArray();
}

bool IsEightBitName(const QByteArray &encoding)
{
    static const QList<QByteArray> kNames = {
        "windows-1252", "cp1252", "iso-8859-1", "iso8859-1", "iso_8859-1", "latin1", "latin-1", "us-ascii", "ascii",
    };
    return kNames.contains(encoding);
}

// Appends one code point (QString::fromUcs4 would drop a byte order mark).
// Appending in place matters: a packet of 8-bit garbage escapes every byte.
void AppendCodePoint(QString &out, char32_t character)
{
    if (QChar::requiresSurrogates(character)) {
        out += QChar(QChar::highSurrogate(character));
        out += QChar(QChar::lowSurrogate(character));
        return;
    }
    out += QChar(char16_t(character));
}

// Appends "&#nnn;", the decimal at least three digits wide.
void AppendReference(QString &out, uint code)
{
    char digits[10];
    int count = 0;
    do {
        digits[count++] = char('0' + code % 10);
        code /= 10;
    } while (code != 0);
    while (count < 3)
        digits[count++] = '0';
    out += QLatin1String("&#");
    while (count > 0)
        out += QLatin1Char(digits[--count]);
    out += QLatin1Char(';');
}

// Parses "&#...;" at position; returns the value and the length of the reference.
std::optional<std::pair<char32_t, qsizetype>> ReferenceAt(const QString &text, qsizetype position)
{
    if (position + 3 > text.size() || text[position] != QLatin1Char('&') || text[position + 1] != QLatin1Char('#'))
        return std::nullopt;
    qsizetype index = position + 2;
    const bool hex = text[index] == QLatin1Char('x');
    if (hex)
        ++index;
    const qsizetype digitsStart = index;
    while (index < text.size() && index - digitsStart < 10 && text[index] != QLatin1Char(';'))
        ++index;
    if (index >= text.size() || text[index] != QLatin1Char(';') || index == digitsStart)
        return std::nullopt;
    bool ok = false;
    const uint value = text.mid(digitsStart, index - digitsStart).toUInt(&ok, hex ? 16 : 10);
    if (!ok || value > 0x10FFFF)
        return std::nullopt;
    return std::make_pair(char32_t(value), index + 1 - position);
}

// The first block of private-use characters that the text does not use,
// literally or as references.
char32_t UnusedMarkerBase(const QString &text)
{
    QSet<char32_t> usedBlocks;
    const auto note = [&usedBlocks](char32_t character) {
        if (character >= kPrivateUseStart)
            usedBlocks.insert((character - kPrivateUseStart) / kMarkerBlock);
    };
    for (const char32_t character : text.toUcs4())
        note(character);
    for (qsizetype position = text.indexOf(QLatin1String("&#")); position >= 0;
         position = text.indexOf(QLatin1String("&#"), position + 2)) {
        if (const auto reference = ReferenceAt(text, position))
            note(reference->first);
    }
    for (char32_t block = 0; block < (0x110000 - kPrivateUseStart) / kMarkerBlock; ++block) {
        if (!usedBlocks.contains(block))
            return kPrivateUseStart + block * kMarkerBlock;
    }
    PacketCodec::Refuse(QStringLiteral("the XML text uses every private-use character"));
}

}  // namespace

QString Decode(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return StrictUtf8(bytes.mid(3));
    if (bytes.startsWith("\xFF\xFE"))
        return StrictUtf16(bytes.mid(2), QStringDecoder::Utf16LE);
    if (bytes.startsWith("\xFE\xFF"))
        return StrictUtf16(bytes.mid(2), QStringDecoder::Utf16BE);
    if (bytes.startsWith(QByteArray("<\0?\0", 4)))
        return StrictUtf16(bytes, QStringDecoder::Utf16LE);
    if (bytes.startsWith(QByteArray("\0<\0?", 4)))
        return StrictUtf16(bytes, QStringDecoder::Utf16BE);

    const QByteArray encoding = DeclaredEncoding(bytes);
    if (encoding.isEmpty()) {
        const std::optional<QString> utf8 = DecodeStrictly(QStringDecoder(QStringDecoder::Utf8), bytes);
        return utf8 ? *utf8 : AnsiText::ToUnicode(bytes);
    }
    if (encoding == "utf-8" || encoding == "utf8")
        return StrictUtf8(bytes);
    if (IsEightBitName(encoding))
        return AnsiText::ToUnicode(bytes);
    QStringDecoder decoder(encoding.constData());
    if (!decoder.isValid())
        PacketCodec::Refuse(QStringLiteral("the XML text is in the encoding %1, which cannot be read")
                                .arg(QString::fromLatin1(encoding)),
                            PacketCodec::kUnsupportedType);
    const std::optional<QString> text = DecodeStrictly(std::move(decoder), bytes);
    if (!text)
        PacketCodec::Refuse(QStringLiteral("the XML text is not valid %1").arg(QString::fromLatin1(encoding)));
    return *text;
}

QString ControlCharacters::Protect(const QString &text)
{
    bool needed = false;
    for (qsizetype position = 0; position < text.size() && !needed; ++position) {
        if (IsForbiddenControl(text[position].unicode()))
            needed = true;
        else if (const auto reference = ReferenceAt(text, position))
            needed = IsForbiddenControl(reference->first);
    }
    if (!needed)
        return text;

    base_ = UnusedMarkerBase(text);
    const auto marker = [this](char32_t control) {
        return QStringLiteral("&#x%1;").arg(uint(base_ + control), 0, 16);
    };
    QString protectedText;
    protectedText.reserve(text.size());
    for (qsizetype position = 0; position < text.size(); ++position) {
        const char16_t unit = text[position].unicode();
        if (IsForbiddenControl(unit)) {
            protectedText += marker(unit);
            continue;
        }
        if (unit == u'&') {
            if (const auto reference = ReferenceAt(text, position); reference && IsForbiddenControl(reference->first)) {
                protectedText += marker(reference->first);
                position += reference->second - 1;
                continue;
            }
        }
        protectedText += text[position];
    }
    return protectedText;
}

QString ControlCharacters::Restore(const QString &value) const
{
    if (base_ == 0)
        return value;
    QString restored;
    restored.reserve(value.size());
    for (const char32_t character : value.toUcs4()) {
        if (character >= base_ && character < base_ + kMarkerBlock)
            restored += QChar(char16_t(character - base_));
        else
            AppendCodePoint(restored, character);
    }
    return restored;
}

QString ControlCharacters::RestoreAsReferences(const QString &xml) const
{
    if (base_ == 0)
        return xml;
    QString restored;
    for (const char32_t character : xml.toUcs4()) {
        if (character >= base_ && character < base_ + kMarkerBlock)
            AppendReference(restored, uint(character - base_));
        else
            AppendCodePoint(restored, character);
    }
    return restored;
}

void AppendEscaped(QString &out, const QString &value, bool asciiOnly)
{
    for (qsizetype index = 0; index < value.size(); ++index) {
        const QChar unit = value[index];
        char32_t character = unit.unicode();
        if (unit.isHighSurrogate() && index + 1 < value.size() && value[index + 1].isLowSurrogate()) {
            character = QChar::surrogateToUcs4(unit, value[index + 1]);
            ++index;
        } else if (unit.isSurrogate() || character == 0xFFFE || character == 0xFFFF) {
            PacketCodec::Refuse(QStringLiteral("the text holds the character U+%1, which XML cannot carry")
                                    .arg(uint(character), 4, 16, QLatin1Char('0')).toUpper(),
                                PacketCodec::kCannotEncode);
        }
        switch (character) {
        case '&': out += QLatin1String("&amp;"); continue;
        case '<': out += QLatin1String("&lt;"); continue;
        case '>': out += QLatin1String("&gt;"); continue;
        case '"': out += QLatin1String("&quot;"); continue;
        case '\'': out += QLatin1String("&apos;"); continue;
        default: break;
        }
        if (character < 0x20 || (asciiOnly && character >= 0x7F))
            AppendReference(out, uint(character));
        else
            AppendCodePoint(out, character);
    }
}

QString AsciiOnly(const QString &xml)
{
    QString out;
    out.reserve(xml.size());
    for (const char32_t character : xml.toUcs4()) {
        if (character >= 0x7F)
            AppendReference(out, uint(character));
        else
            out += QChar(char16_t(character));
    }
    return out;
}

}  // namespace XmlText

}  // namespace Catraca
