#pragma once

#include <array>

namespace Catraca {

using UpperCaseTable = std::array<unsigned char, 256>;

// The code page's upper case of every byte, built once: a search compares
// bytes through it without calling out per byte, and the prefix index sorts
// by it, so both must take the one table.
const UpperCaseTable &UpperCaseBytes();

}  // namespace Catraca
