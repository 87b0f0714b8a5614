#include "cache/packet/PacketCodec.h"

#include "cache/packet/BinaryPacket.h"
#include "cache/base/Exceptions.h"
#include "cache/packet/XmlPacket.h"

#include <QtEndian>

namespace Catraca {

namespace PacketCodec {

bool IsBinaryPacket(const QByteArray &bytes)
{
    return bytes.size() >= 4 && qFromLittleEndian<quint32>(bytes.constData()) == BinaryPacket::kMagic;
}

Packet Decode(const QByteArray &bytes)
{
    if (IsBinaryPacket(bytes))
        return BinaryPacket::Decode(bytes);
    return XmlPacket::Decode(bytes);
}

QByteArray EncodeBinary(const Packet &packet)
{
    return BinaryPacket::Encode(packet);
}

QByteArray EncodeBinaryColumns(const Packet &shape, const std::vector<std::vector<Cell>> &cellsByColumn,
                               std::span<const int> rowSlots)
{
    return BinaryPacket::EncodeColumns(shape, cellsByColumn, rowSlots);
}

QByteArray EncodeXml(const Packet &packet, bool utf8)
{
    return XmlPacket::Encode(packet, utf8);
}

void Refuse(const QString &reason, int errorCode)
{
    const QString prefix = errorCode == kCannotEncode ? QStringLiteral("Cannot write the data packet: ")
                                                      : QStringLiteral("Invalid data packet: ");
    throw EDBClient(prefix + reason, errorCode);
}

void RefuseValue(const PacketColumn &column, const QString &problem)
{
    Refuse(QStringLiteral("column %1 %2").arg(column.name, problem), kCannotEncode);
}

bool IntegerFits(qint64 value, bool isSigned, int size)
{
    if (size >= 8)
        return isSigned || value >= 0;
    const qint64 limit = qint64(1) << (8 * size - (isSigned ? 1 : 0));
    return isSigned ? (value >= -limit && value < limit) : (value >= 0 && value < limit);
}

}  // namespace PacketCodec

}  // namespace Catraca
