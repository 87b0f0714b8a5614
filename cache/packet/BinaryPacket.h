#pragma once

#include "cache/packet/Packet.h"

#include <QByteArray>
#include <span>
#include <vector>

namespace Catraca {

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

// The same bytes for a table that keeps its cells column by column
// (cellsByColumn[column][slot]), without copying them into rows first; the
// rows are the slots of `rowSlots`, in its order. `shape` gives the columns
// and the table attributes, its rows are not read.
QByteArray EncodeColumns(const Packet &shape, const std::vector<std::vector<Cell>> &cellsByColumn,
                         std::span<const int> rowSlots);

}  // namespace BinaryPacket

}  // namespace Catraca
