#include "cache/packet/PacketCodec.h"

#include "cache/packet/BinaryPacket.h"
#include "cache/base/Exceptions.h"
#include "cache/packet/XmlPacket.h"

namespace PacketCodec {

bool IsBinaryPacket(const QByteArray &bytes)
{
    return bytes.startsWith(QByteArray::fromRawData("\x96\x19\xE0\xBD", 4));
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

}  // namespace PacketCodec
