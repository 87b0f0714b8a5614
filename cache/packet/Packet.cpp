#include "cache/packet/Packet.h"

namespace Catraca {

// Column names match without regard to case, both sides upper-cased.
int Packet::columnIndex(const QString &name) const
{
    const QString wanted = name.toUpper();
    for (int index = 0; index < columns.size(); ++index) {
        const QString &candidate = columns[index].name;
        if (candidate == name || candidate.toUpper() == wanted)
            return index;
    }
    return -1;
}

}  // namespace Catraca
