#include "cache/table/RowStore.h"

#include <numeric>

namespace Catraca {

void RowStore::Assign(std::vector<PacketRow> &rows, std::size_t columnCount)
{
    cellsBySlot_.assign(columnCount, {});
    for (auto &cells : cellsBySlot_)
        cells.reserve(rows.size());
    for (PacketRow &row : rows) {
        row.cells.resize(columnCount);
        for (std::size_t column = 0; column < columnCount; ++column)
            cellsBySlot_[column].push_back(std::move(row.cells[column]));
    }
    slotCount_ = int(rows.size());
    order_.resize(rows.size());
    std::iota(order_.begin(), order_.end(), 0);
    freeSlots_.clear();
    positionsStale_ = true;
}

void RowStore::Clear()
{
    cellsBySlot_.clear();
    order_.clear();
    freeSlots_.clear();
    positionOfSlot_.clear();
    slotCount_ = 0;
    positionsStale_ = true;
}

int RowStore::Insert(int position, std::vector<Cell> &cells)
{
    order_.reserve(order_.size() + 1);  // so that nothing throws once the cells moved in
    int slot = 0;
    if (freeSlots_.empty()) {
        slot = slotCount_++;
        for (std::size_t column = 0; column < cellsBySlot_.size(); ++column)
            cellsBySlot_[column].push_back(std::move(cells[column]));
    } else {
        slot = freeSlots_.back();
        freeSlots_.pop_back();
        for (std::size_t column = 0; column < cellsBySlot_.size(); ++column)
            cellsBySlot_[column][std::size_t(slot)] = std::move(cells[column]);
    }
    order_.insert(order_.begin() + position, slot);
    positionsStale_ = true;
    return slot;
}

void RowStore::Remove(int position)
{
    const int slot = SlotAt(position);
    for (auto &cells : cellsBySlot_)
        cells[std::size_t(slot)] = Cell{};
    order_.erase(order_.begin() + position);
    freeSlots_.push_back(slot);
    positionsStale_ = true;
}

int RowStore::PositionOf(int slot)
{
    if (positionsStale_) {
        positionOfSlot_.assign(std::size_t(slotCount_), -1);
        for (std::size_t position = 0; position < order_.size(); ++position)
            positionOfSlot_[std::size_t(order_[position])] = int(position);
        positionsStale_ = false;
    }
    return positionOfSlot_[std::size_t(slot)];
}

}  // namespace Catraca
