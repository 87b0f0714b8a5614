#pragma once

#include "cache/packet/Packet.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QString>

namespace Catraca {

// Packets for the codec tests: a readable dump for comparisons, random
// packets for round trips, and a builder for binary packets laid out by hand.
namespace PacketSamples {

// Every column, attribute and cell as text, one line each, so a failed
// comparison shows where two packets differ.
QString Dump(const Packet &packet);

PacketColumn Column(const QString &name, ColumnKind kind, int size = 0);

// The release cache's empty table: ID, COD_BARRA(10), EVENTO(1), counter 1.
Packet EmptyReleaseCache();

// A random packet of every column kind that both forms hold, with values
// both forms can write (dates in the years 1 to 9999, no unpaired
// surrogates); some cells blank.
Packet RandomPacket(QRandomGenerator &random);

// Little-endian bytes laid out by hand, in the binary form's vocabulary.
class BinaryBuilder {
public:
    BinaryBuilder &U8(quint32 value);
    BinaryBuilder &U16(quint32 value);
    BinaryBuilder &U32(quint32 value);
    BinaryBuilder &U64(quint64 value);
    BinaryBuilder &Raw(const QByteArray &bytes);
    BinaryBuilder &Name(const QByteArray &name);  // length byte, then the name
    // The header: magic, 1, 24, column count, row count, 3, records offset
    // (patched by Records()).
    BinaryBuilder &Header(int columns, int rows);
    // Marks the start of the records in the header.
    BinaryBuilder &Records();
    QByteArray Bytes() const { return bytes_; }

private:
    QByteArray bytes_;
};

}  // namespace PacketSamples

}  // namespace Catraca
