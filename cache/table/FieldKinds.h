#pragma once

#include "cache/table/Field.h"
#include "cache/packet/Packet.h"

#include <memory>

namespace Catraca {

class TClientDataSet;

// How a packet column appears as a column object: the type it has and the
// field class a table without declared columns makes for it.
namespace FieldKinds {

TFieldType TypeOfColumn(const PacketColumn &column);

std::unique_ptr<TField> MakeField(TClientDataSet *table, const PacketColumn &column);

bool IsAutoIncrement(const PacketColumn &column);

}  // namespace FieldKinds

}  // namespace Catraca
