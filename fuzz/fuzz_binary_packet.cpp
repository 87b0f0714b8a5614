// The binary packet loader: every input is read as a binary packet (the magic
// is put in front when the input lacks it, so no run is spent on XML).
#include "FuzzSupport.h"

#include "cache/packet/PacketCodec.h"

using namespace Catraca;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes = FuzzSupport::Bytes(data, size);
    if (!PacketCodec::IsBinaryPacket(bytes))
        bytes.prepend("\x96\x19\xE0\xBD", 4);
    Packet packet;
    if (FuzzSupport::DecodeRefusingCleanly(bytes, packet))
        FuzzSupport::Exercise(packet);
    return 0;
}
