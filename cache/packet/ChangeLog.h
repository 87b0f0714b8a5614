#pragma once

#include "cache/packet/Packet.h"

#include <QList>
#include <vector>

namespace Catraca {

// A packet may carry the history of its rows: every stored record has a
// status (bit set: 1 superseded by a later version, 2 deleted, 4 inserted,
// 8 modified), and the change log lists (record, base record, action)
// triples, records counted from 1. The table shows only the current
// versions, each modified one in the place of the row it changed.
namespace ChangeLog {

enum RecordStatus : int {
    kSuperseded = 1,
    kDeleted = 2,
    kInserted = 4,
    kModified = 8,
};

struct StoredRecord {
    int status = 0;
    std::vector<Cell> cells;
    std::vector<bool> notChanged;  // per column: the value is the base record's; empty when none is
};

// The visible rows in their order; "not changed" columns take their values
// from the base record. Raises the EDBClient error for a change log that
// names records the packet lacks or that loops.
std::vector<PacketRow> VisibleRows(std::vector<StoredRecord> records, const QList<qint64> &triples);

}  // namespace ChangeLog

}  // namespace Catraca
