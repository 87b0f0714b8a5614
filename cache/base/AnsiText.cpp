#include "cache/base/AnsiText.h"

#include <array>

namespace Catraca {

namespace {

// Characters of the bytes 0x80 to 0x9F. The five bytes the code page leaves
// undefined map to the C1 controls of the same number, so every byte value
// survives a trip through Unicode and back.
constexpr std::array<char16_t, 32> kHighControlRange = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t CharacterOfByte(unsigned char byte)
{
    if (byte >= 0x80 && byte <= 0x9F)
        return kHighControlRange[byte - 0x80];
    return byte;  // ASCII and 0xA0..0xFF are the same numbers in Unicode
}

// The byte of a character, or -1 when the code page cannot hold it.
int ByteOfCharacter(char32_t character)
{
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF))
        return int(character);
    for (int index = 0; index < int(kHighControlRange.size()); ++index) {
        if (kHighControlRange[index] == character)
            return 0x80 + index;
    }
    return -1;
}

}  // namespace

namespace AnsiText {

// Walks the UTF-16 units directly: every value read from a command file
// passes through here. A surrogate pair is one character the code page
// cannot hold, so one '?'; a lone surrogate is one '?' too.
QByteArray Encode(const QString &text)
{
    const qsizetype count = text.size();
    QByteArray bytes(count, Qt::Uninitialized);
    char *out = bytes.data();
    const QChar *units = text.constData();
    for (qsizetype index = 0; index < count; ++index) {
        const char16_t unit = units[index].unicode();
        if (QChar::isHighSurrogate(unit) && index + 1 < count && units[index + 1].isLowSurrogate()) {
            ++index;
            *out++ = '?';
            continue;
        }
        const int byte = ByteOfCharacter(unit);
        *out++ = byte < 0 ? '?' : char(byte);
    }
    bytes.truncate(out - bytes.constData());
    return bytes;
}

bool CanEncode(char32_t character)
{
    return ByteOfCharacter(character) >= 0;
}

QByteArray FromUnicode(const QString &text, int width)
{
    const qsizetype nul = text.indexOf(QChar(0));
    QByteArray bytes = Encode(nul < 0 ? text : text.left(nul));
    FitToWidth(bytes, width);
    return bytes;
}

void FitToWidth(QByteArray &bytes, int width)
{
    const bool tooWide = width > 0 && bytes.size() > width;
    if (!tooWide && !bytes.endsWith(' '))
        return;  // the usual case: nothing to change, nothing copied
    if (tooWide)
        bytes.truncate(width);
    qsizetype length = bytes.size();
    while (length > 0 && bytes.at(length - 1) == ' ')
        --length;
    bytes.truncate(length);
}

QString ToUnicode(const QByteArray &bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char byte : bytes)
        *out++ = QChar(CharacterOfByte(static_cast<unsigned char>(byte)));
    return text;
}

char UpperCase(char byte)
{
    const auto value = static_cast<unsigned char>(byte);
    if (value >= 'a' && value <= 'z')
        return char(value - 0x20);
    switch (value) {
    case 0x9A: return char(0x8A);  // s with caron
    case 0x9C: return char(0x8C);  // ligature oe
    case 0x9E: return char(0x8E);  // z with caron
    case 0xFF: return char(0x9F);  // y with diaeresis
    default: break;
    }
    // Latin-1 small letters a-grave..thorn, except the division sign.
    if (value >= 0xE0 && value <= 0xFE && value != 0xF7)
        return char(value - 0x20);
    return byte;
}

}  // namespace AnsiText

}  // namespace Catraca
