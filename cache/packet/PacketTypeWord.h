#pragma once

#include <QtGlobal>

namespace Catraca {

// The 32-bit type word of the binary packet form: bits 16 to 21 hold the
// type code, bit 22 marks a varying-length value, bit 23 an array, and the
// low 16 bits the size of the value (or of the length prefix of a varying one).
namespace PacketTypeWord {

enum TypeCode : quint32 {
    kSignedInt = 1,
    kUnsignedInt = 2,
    kBoolean = 3,
    kFloat = 4,
    kBcd = 5,
    kDate = 6,
    kTime = 7,
    kTimestamp = 8,
    kAnsiString = 9,
    kWideString = 10,
    kBlob = 11,
    kNested = 13,
};

constexpr quint32 kVaryingFlag = 0x00400000;
constexpr quint32 kArrayFlag = 0x00800000;

constexpr quint32 Make(quint32 code, quint32 size, bool varying = false, bool array = false)
{
    return (code << 16) | (size & 0xFFFF) | (varying ? kVaryingFlag : 0) | (array ? kArrayFlag : 0);
}

constexpr quint32 Code(quint32 typeWord) { return (typeWord >> 16) & 0x3F; }
constexpr int Size(quint32 typeWord) { return int(typeWord & 0xFFFF); }
constexpr bool IsVarying(quint32 typeWord) { return (typeWord & kVaryingFlag) != 0; }
constexpr bool IsArray(quint32 typeWord) { return (typeWord & kArrayFlag) != 0; }
constexpr quint32 Element(quint32 typeWord) { return typeWord & ~kArrayFlag; }

}  // namespace PacketTypeWord

}  // namespace Catraca
