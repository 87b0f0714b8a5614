#pragma once

#include "cache/Packet.h"

#include <QByteArray>

// Reading and writing the two forms of a data packet. The form is told from
// the content: binary when the first four bytes are the magic 96 19 E0 BD,
// XML otherwise. Any input that is not a packet ends in an EDBClient error.
namespace PacketCodec {

Packet Decode(const QByteArray &bytes);

QByteArray EncodeBinary(const Packet &packet);

// dfXML writes 8-bit text with every character outside ASCII as a character
// reference; dfXMLUTF8 writes UTF-8 and declares it.
QByteArray EncodeXml(const Packet &packet, bool utf8);

}  // namespace PacketCodec
