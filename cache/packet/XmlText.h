#pragma once

#include <QByteArray>
#include <QString>

namespace Catraca {

// The text layer under the XML packet form: turning the file's bytes into
// text, keeping control characters that XML 1.0 does not allow (but packets
// carry as references such as &#001;) through the XML reader, and escaping
// values for writing.
namespace XmlText {

// UTF-8 or UTF-16 after a byte order mark, the encoding the declaration
// names, else UTF-8 when the bytes are valid UTF-8 and Windows-1252 when
// not. Raises the EDBClient error for text in an encoding it cannot read.
QString Decode(const QByteArray &bytes);

// The XML reader refuses control characters that XML 1.0 forbids, also as
// references. Protect() replaces each, literal or referenced, by a reference
// to a private-use character that the text does not otherwise contain;
// Restore() turns values read back into the original characters.
class ControlCharacters {
public:
    QString Protect(const QString &text);
    QString Restore(const QString &value) const;
    // A value as XML text again, protected characters as references.
    QString RestoreAsReferences(const QString &xml) const;

private:
    char32_t base_ = 0;  // 0: nothing was replaced
};

// Appends a value escaped for an attribute or element text: markup
// characters and control characters as references, and with asciiOnly every
// character outside ASCII too. Raises the EDBClient error for characters XML
// cannot carry at all (unpaired surrogates, U+FFFE, U+FFFF).
void AppendEscaped(QString &out, const QString &value, bool asciiOnly);

// Every character outside ASCII as a reference, for XML text that is
// already escaped.
QString AsciiOnly(const QString &xml);

}  // namespace XmlText

}  // namespace Catraca
