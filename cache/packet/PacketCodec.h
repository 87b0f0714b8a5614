#pragma once

#include "cache/packet/Packet.h"

#include <QByteArray>
#include <QString>
#include <span>
#include <vector>

namespace Catraca {

// Reading and writing the two forms of a data packet. The form is told from
// the content: binary when the first four bytes are the magic 96 19 E0 BD,
// XML otherwise. Any input that is not a packet ends in an EDBClient error.
//
// Sizes in the model: fixed-size kinds hold their byte size (Boolean 2,
// Float 8, Date 4, Time 4, Timestamp 8, integers 1/2/4/8); AnsiString and
// WideString hold the packet's WIDTH (for WideString that is bytes, two per
// character); Bcd holds its precision in digits. A column with isArray set
// keeps each value as the stored bytes (int32 count, then the elements).
// The XML types fixedFMT and SQLdateTime read as Bcd and Timestamp with the
// subtypes "FMTBcd" and "SQLdateTime", and are written back under their names.
namespace PacketCodec {

// Error codes carried by EDBClient errors of this layer.
enum ErrorCode {
    kInvalidPacket = 10001,     // not a packet, truncated or inconsistent
    kUnsupportedType = 10002,   // a column or attribute type that cannot be read
    kCannotEncode = 10003,      // a value the requested form cannot hold
};

Packet Decode(const QByteArray &bytes);

QByteArray EncodeBinary(const Packet &packet);

// The same bytes for a table that keeps its cells column by column
// (cellsByColumn[column][slot]), its rows being the slots of `rowSlots` in
// that order; `shape` gives the columns and the table attributes, its rows
// are not read.
QByteArray EncodeBinaryColumns(const Packet &shape, const std::vector<std::vector<Cell>> &cellsByColumn,
                               std::span<const int> rowSlots);

// dfXML writes 8-bit text with every character outside ASCII as a character
// reference; dfXMLUTF8 writes UTF-8 and declares it.
QByteArray EncodeXml(const Packet &packet, bool utf8);

// True when the bytes start with the magic of the binary form.
bool IsBinaryPacket(const QByteArray &bytes);

// Raises the EDBClient error of a packet that cannot be read or written.
[[noreturn]] void Refuse(const QString &reason, int errorCode = kInvalidPacket);
// Refuses to write a packet because of a column's value ("column NAME problem").
[[noreturn]] void RefuseValue(const PacketColumn &column, const QString &problem);

// Whether an integer fits a signed or unsigned integer of `size` bytes (1 to 8).
bool IntegerFits(qint64 value, bool isSigned, int size);

}  // namespace PacketCodec

}  // namespace Catraca
