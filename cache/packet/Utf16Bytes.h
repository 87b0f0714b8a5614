#pragma once

#include <QByteArray>
#include <QString>

namespace Catraca {

// Unicode text as packets store it: UTF-16 code units, low byte first,
// whatever the byte order of the machine.
inline QByteArray Utf16LittleEndianBytes(const QString &text)
{
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    for (qsizetype index = 0; index < text.size(); ++index) {
        const char16_t unit = text[index].unicode();
        bytes[2 * index] = char(unit & 0xFF);
        bytes[2 * index + 1] = char(unit >> 8);
    }
    return bytes;
}

// The text of such bytes; an odd last byte, half a code unit, is left out.
inline QString TextOfUtf16LittleEndian(const QByteArray &bytes)
{
    QString text(bytes.size() / 2, Qt::Uninitialized);
    for (qsizetype index = 0; index < text.size(); ++index) {
        const auto low = static_cast<unsigned char>(bytes[2 * index]);
        const auto high = static_cast<unsigned char>(bytes[2 * index + 1]);
        text[index] = QChar(char16_t(low | (high << 8)));
    }
    return text;
}

}  // namespace Catraca
