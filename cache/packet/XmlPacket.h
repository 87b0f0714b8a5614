#pragma once

#include "cache/packet/Packet.h"

#include <QByteArray>

namespace Catraca {

// The XML form of a data packet: a DATAPACKET element holding METADATA
// (FIELDS and PARAMS) and ROWDATA with one ROW element per record.
namespace XmlPacket {

// Reads UTF-8, UTF-16 or 8-bit (Windows-1252) text. Raises the EDBClient
// error for anything that is not a whole packet.
Packet Decode(const QByteArray &bytes);

// utf8 false: ASCII with every other character as a character reference,
// under a declaration that names no encoding; true: UTF-8, declared.
QByteArray Encode(const Packet &packet, bool utf8);

}  // namespace XmlPacket

}  // namespace Catraca
