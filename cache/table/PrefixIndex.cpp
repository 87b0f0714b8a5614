#include "cache/table/PrefixIndex.h"

#include "cache/table/UpperCaseBytes.h"

#include <algorithm>

namespace Catraca {

bool PrefixIndex::EntryOrder::operator()(const Entry &left, const Entry &right) const
{
    const QByteArrayView leftValue(left.upper);
    const QByteArrayView rightValue(right.upper);
    if (leftValue != rightValue)
        return leftValue < rightValue;
    return left.slot < right.slot;
}

QByteArray PrefixIndex::UpperCased(const QByteArray &bytes)
{
    const UpperCaseTable &upper = UpperCaseBytes();
    const auto changes = [&](char byte) { return upper[static_cast<unsigned char>(byte)] != static_cast<unsigned char>(byte); };
    const auto first = std::find_if(bytes.cbegin(), bytes.cend(), changes);
    if (first == bytes.cend())
        return bytes;
    QByteArray result = bytes;
    for (auto byte = result.begin() + (first - bytes.cbegin()); byte != result.end(); ++byte)
        *byte = char(upper[static_cast<unsigned char>(*byte)]);
    return result;
}

void PrefixIndex::Build(int column, const std::vector<Cell> &cellsBySlot)
{
    std::vector<Entry> sorted;
    sorted.reserve(cellsBySlot.size());
    for (std::size_t slot = 0; slot < cellsBySlot.size(); ++slot) {
        if (const auto *bytes = std::get_if<QByteArray>(&cellsBySlot[slot]))
            sorted.push_back({UpperCased(*bytes), int(slot)});
    }
    std::sort(sorted.begin(), sorted.end(), EntryOrder{});
    entries_.clear();
    for (Entry &entry : sorted)
        entries_.insert(entries_.end(), std::move(entry));
    column_ = column;
}

void PrefixIndex::Drop()
{
    entries_.clear();
    column_ = -1;
}

void PrefixIndex::Add(int slot, const Cell &cell)
{
    if (!Built())
        return;
    if (const auto *bytes = std::get_if<QByteArray>(&cell))
        entries_.insert({UpperCased(*bytes), slot});
}

void PrefixIndex::Remove(int slot, const Cell &cell)
{
    if (!Built())
        return;
    if (const auto *bytes = std::get_if<QByteArray>(&cell))
        entries_.erase(Entry{UpperCased(*bytes), slot});
}

void PrefixIndex::Replace(int slot, const Cell &before, const Cell &after)
{
    if (before == after)
        return;
    Remove(slot, before);
    Add(slot, after);
}

}  // namespace Catraca
