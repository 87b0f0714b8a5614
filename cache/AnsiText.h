#pragma once

#include <QByteArray>
#include <QString>

// Text of 8-bit string columns is held in the system's 8-bit code page, which
// is Windows-1252 in every build so that a data.cds reads the same anywhere.
namespace AnsiText {

// Unicode to column bytes: unrepresentable characters become '?', text from an
// embedded NUL on is dropped, the result is cut to width bytes (width <= 0:
// no cut) and trailing blanks are trimmed.
QByteArray FromUnicode(const QString &text, int width);

QString ToUnicode(const QByteArray &bytes);

// Byte-wise upper case of the code page, for comparisons without regard to case.
char UpperCase(char byte);

}  // namespace AnsiText
