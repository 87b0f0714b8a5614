#pragma once

#include <QByteArray>
#include <QString>

namespace Catraca {

// Text of 8-bit string columns is held in the system's 8-bit code page, which
// is Windows-1252 in every build so that a data.cds reads the same anywhere.
namespace AnsiText {

// Unicode to column bytes: unrepresentable characters become '?', text from an
// embedded NUL on is dropped, the result is cut to width bytes (width <= 0:
// no cut) and trailing blanks are trimmed.
QByteArray FromUnicode(const QString &text, int width);

// Brings column bytes to their stored form: cut to width bytes (width <= 0:
// no cut), trailing blanks trimmed.
void FitToWidth(QByteArray &bytes, int width);

QString ToUnicode(const QByteArray &bytes);

// Every character to its byte, '?' for those the code page cannot hold;
// nothing is cut, trimmed or dropped (packet text such as names and memos).
QByteArray Encode(const QString &text);

// True when the code page holds the character.
bool CanEncode(char32_t character);

// Byte-wise upper case of the code page, for comparisons without regard to case.
char UpperCase(char byte);

}  // namespace AnsiText

}  // namespace Catraca
