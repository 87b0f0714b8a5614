#pragma once

#include "cache/Packet.h"

#include <QByteArray>

// The binary form of a data packet: a fixed header, the column descriptions,
// the table attributes, then the records, each a status byte, two bits of
// blank/"not changed" flags per column and the remaining values.
namespace BinaryPacket {

constexpr quint32 kMagic = 0xBDE01996;

// Raises the EDBClient error for anything that is not a whole packet.
Packet Decode(const QByteArray &bytes);

// Writes every row with status 0 (no change log). Raises the EDBClient
// error for a packet the form cannot hold.
QByteArray Encode(const Packet &packet);

}  // namespace BinaryPacket
