#pragma once

#include <QtGlobal>

namespace Catraca {

// What the binary reader and writer of packets agree on beyond the type
// words: the header and the flags of columns and cells.
namespace BinaryPacket::Format {

inline constexpr quint32 kHeaderSize = 24;
// Header fields whose meaning the packets do not show; written as found in
// the packets of an empty table.
inline constexpr quint32 kHeaderFieldAt4 = 1;
inline constexpr quint32 kHeaderFieldAt18 = 3;

enum ColumnFlag : quint16 {
    kHiddenFlag = 1,
    kReadOnlyFlag = 2,
    kRequiredFlag = 4,
};

enum CellFlag : int {
    kHasValue = 0,
    kBlank = 1,
    kNotChanged = 2,
};

inline bool IsIntegerSize(int size)
{
    return size == 1 || size == 2 || size == 4 || size == 8;
}

}  // namespace BinaryPacket::Format

}  // namespace Catraca
