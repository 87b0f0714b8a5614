#pragma once

#include "cache/packet/Packet.h"

#include <QByteArray>
#include <QByteArrayView>
#include <set>
#include <vector>

namespace Catraca {

// The values of one 8-bit string column, upper-cased through the code page's
// table and sorted byte by byte (unsigned), each with the slot of its row: the
// values that begin with a literal then lie side by side. Upper-cased values
// beginning with the upper-cased literal are a superset of the matches with
// or without regard to case, so the caller checks each with its own rule.
// Blank cells are not indexed, as no search by a value finds them.
class PrefixIndex {
public:
    bool Built() const { return column_ >= 0; }
    bool Covers(int column) const { return Built() && column == column_; }
    int Column() const { return column_; }

    // Indexes every slot's cell of `column`.
    void Build(int column, const std::vector<Cell> &cellsBySlot);
    void Drop();

    // A row's value arrives or leaves; nothing happens before a Build.
    void Add(int slot, const Cell &cell);
    void Remove(int slot, const Cell &cell);
    void Replace(int slot, const Cell &before, const Cell &after);

    // Calls visit(slot) for every value whose upper case begins with
    // `upperLiteral` (is it, with `prefix` false), in the index's order.
    template <class Visit>
    void ForEachCandidate(QByteArrayView upperLiteral, bool prefix, Visit visit) const
    {
        for (auto entry = entries_.lower_bound(upperLiteral); entry != entries_.end(); ++entry) {
            const QByteArrayView value(entry->upper);
            if (prefix ? !value.startsWith(upperLiteral) : value != upperLiteral)
                break;
            visit(entry->slot);
        }
    }

    // The upper case of stored bytes; the bytes themselves, shared, when no
    // byte changes (digits, as most barcodes are).
    static QByteArray UpperCased(const QByteArray &bytes);

private:
    struct Entry {
        QByteArray upper;
        int slot = -1;
    };
    // By value, then slot; a bare value finds the first entry of that value.
    struct EntryOrder {
        using is_transparent = void;
        bool operator()(const Entry &left, const Entry &right) const;
        bool operator()(const Entry &left, QByteArrayView right) const { return QByteArrayView(left.upper) < right; }
        bool operator()(QByteArrayView left, const Entry &right) const { return left < QByteArrayView(right.upper); }
    };

    std::set<Entry, EntryOrder> entries_;
    int column_ = -1;
};

}  // namespace Catraca
