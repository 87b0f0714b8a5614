#pragma once

#include <QByteArray>
#include <QString>

// Unicode text as packets store it: UTF-16 code units, low byte first,
// whatever the byte order of the machine.
inline QByteArray Utf16LittleEndianBytes(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (const QChar character : text) {
        bytes.append(char(character.unicode() & 0xFF));
        bytes.append(char(character.unicode() >> 8));
    }
    return bytes;
}
