#include "cache/table/UpperCaseBytes.h"

#include "cache/base/AnsiText.h"

namespace Catraca {

const UpperCaseTable &UpperCaseBytes()
{
    static const UpperCaseTable table = [] {
        UpperCaseTable bytes{};
        for (int value = 0; value < 256; ++value)
            bytes[value] = static_cast<unsigned char>(AnsiText::UpperCase(char(value)));
        return bytes;
    }();
    return table;
}

}  // namespace Catraca
