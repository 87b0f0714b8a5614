// The XML packet loader: inputs that would be taken for binary packets are
// left to the binary target.
#include "FuzzSupport.h"

#include "cache/packet/PacketCodec.h"

using namespace Catraca;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = FuzzSupport::Bytes(data, size);
    if (PacketCodec::IsBinaryPacket(bytes))
        return -1;
    Packet packet;
    if (FuzzSupport::DecodeRefusingCleanly(bytes, packet))
        FuzzSupport::Exercise(packet);
    return 0;
}
