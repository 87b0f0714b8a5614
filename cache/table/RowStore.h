#pragma once

#include "cache/packet/Packet.h"

#include <span>
#include <vector>

namespace Catraca {

// The cells of an open table, column by column, each row in a slot that it
// keeps for as long as it lives. The rows' order is a separate list of slots,
// so a new row anywhere moves a few integers instead of every cell behind it,
// and a search over one column still runs over one contiguous array. A
// deleted row's slot is blanked and taken again by a later new row.
class RowStore {
public:
    // The rows of a decoded packet, in their order.
    void Assign(std::vector<PacketRow> &rows, std::size_t columnCount);
    void Clear();

    int RowCount() const { return int(order_.size()); }
    std::size_t ColumnCount() const { return cellsBySlot_.size(); }

    int SlotAt(int position) const { return order_[std::size_t(position)]; }
    const Cell &At(std::size_t column, int position) const { return cellsBySlot_[column][std::size_t(SlotAt(position))]; }
    Cell &At(std::size_t column, int position) { return cellsBySlot_[column][std::size_t(SlotAt(position))]; }

    // Every slot's cell of one column, free slots blank: for whatever reads a
    // whole column regardless of the order.
    const std::vector<Cell> &ColumnBySlot(std::size_t column) const { return cellsBySlot_[column]; }
    const std::vector<std::vector<Cell>> &ColumnsBySlot() const { return cellsBySlot_; }
    // The slots in row order.
    std::span<const int> Order() const { return order_; }

    // Moves `cells` (one per column) into a slot placed at `position`; returns the slot.
    int Insert(int position, std::vector<Cell> &cells);
    void Remove(int position);

    // The position of a live slot. The positions are worked out again, in one
    // pass, only when asked for after rows came or went.
    int PositionOf(int slot);

private:
    std::vector<std::vector<Cell>> cellsBySlot_;
    std::vector<int> order_;
    std::vector<int> freeSlots_;
    std::vector<int> positionOfSlot_;
    int slotCount_ = 0;
    bool positionsStale_ = true;
};

}  // namespace Catraca
