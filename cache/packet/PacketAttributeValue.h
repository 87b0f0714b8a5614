#pragma once

#include "cache/packet/Packet.h"

#include <QList>
#include <QString>
#include <optional>

namespace Catraca {

class ByteReader;

// Values of column and table attributes. An attribute keeps the bytes that
// follow its type word in the binary form (length prefix or array count
// included), so one it does not understand is written back unchanged.
namespace PacketAttributeValue {

// Reads the value that follows a type word and returns its stored bytes.
QByteArray ReadStored(ByteReader &reader, quint32 typeWord);

// True when the bytes are exactly one value of the type word.
bool IsWellFormed(const QByteArray &stored, quint32 typeWord);

std::optional<qint64> Integer(const PacketAttribute &attribute);
std::optional<QString> Text(const PacketAttribute &attribute);
std::optional<QList<qint64>> IntegerList(const PacketAttribute &attribute);

PacketAttribute MakeInteger(const QByteArray &name, quint32 typeCode, int size, qint64 value);
// An 8-bit string with a 2-byte length prefix that counts a terminating zero;
// the text ends at its first NUL character, as it would when read back.
PacketAttribute MakeText(const QByteArray &name, const QString &text);
PacketAttribute MakeIntegerList(const QByteArray &name, quint32 typeCode, int size, const QList<qint64> &values);

// The XML form of an attribute: its value as text and the name of its type
// ("i4", "string", ...); nothing when the XML form cannot express it.
struct XmlValue {
    QString text;
    QString typeName;
    bool isList = false;
};
std::optional<XmlValue> ToXml(const PacketAttribute &attribute);
// The attribute an XML text of the given type stands for; an empty type
// name means a string. Raises the EDBClient error for text that does not fit.
PacketAttribute FromXml(const QByteArray &name, const QString &text, const QString &typeName, bool isList);

// The type that a table attribute of the engine's own has when the XML form
// names it without a type (AUTOINCVALUE, LCID, DEFAULT_ORDER, ...).
std::optional<XmlValue> KnownTableAttributeType(const QByteArray &name);

}  // namespace PacketAttributeValue

}  // namespace Catraca
