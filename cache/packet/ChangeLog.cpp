#include "cache/packet/ChangeLog.h"

#include "cache/packet/PacketCodec.h"

#include <algorithm>
#include <numeric>

namespace Catraca {

namespace ChangeLog {

namespace {

// Base record of every record (0-based, -1 for none) from the triples.
std::vector<qsizetype> BaseRecords(qsizetype recordCount, const QList<qint64> &triples)
{
    if (triples.size() % 3 != 0)
        PacketCodec::Refuse(QStringLiteral("the change log does not hold whole entries"));
    std::vector<qsizetype> bases(size_t(recordCount), -1);
    for (qsizetype index = 0; index < triples.size(); index += 3) {
        const qint64 record = triples[index];
        const qint64 base = triples[index + 1];
        if (record < 1 || record > recordCount || base < 0 || base > recordCount || base == record)
            PacketCodec::Refuse(QStringLiteral("the change log names a record the packet does not hold"));
        bases[size_t(record - 1)] = qsizetype(base) - 1;
    }
    return bases;
}

// Follows each record's chain of bases once, so every record is resolved
// from an already resolved base: the values of its "not changed" columns and
// the original record whose place it takes.
class Resolver {
public:
    Resolver(std::vector<StoredRecord> &records, const std::vector<qsizetype> &bases)
        : records_(records), bases_(bases), anchors_(records.size(), -1), state_(records.size(), kUnresolved)
    {
    }

    void ResolveAll()
    {
        for (size_t record = 0; record < records_.size(); ++record)
            Resolve(record);
    }

    qsizetype Anchor(size_t record) const { return anchors_[record]; }

private:
    enum State { kUnresolved, kInProgress, kResolved };

    void Resolve(size_t first)
    {
        std::vector<size_t> chain;
        size_t record = first;
        while (state_[record] == kUnresolved) {
            state_[record] = kInProgress;
            chain.push_back(record);
            if (bases_[record] < 0)
                break;
            record = size_t(bases_[record]);
        }
        if (state_[record] == kInProgress && bases_[record] >= 0)
            PacketCodec::Refuse(QStringLiteral("the change log loops"));
        for (auto it = chain.rbegin(); it != chain.rend(); ++it)
            Settle(*it);
    }

    void Settle(size_t record)
    {
        const qsizetype base = bases_[record];
        StoredRecord &current = records_[record];
        if (base < 0) {
            anchors_[record] = qsizetype(record);
            std::fill(current.notChanged.begin(), current.notChanged.end(), false);
        } else {
            const StoredRecord &from = records_[size_t(base)];
            for (size_t column = 0; column < current.notChanged.size() && column < current.cells.size(); ++column) {
                if (current.notChanged[column])
                    current.cells[column] = from.cells[column];
            }
            anchors_[record] = anchors_[size_t(base)];
        }
        state_[record] = kResolved;
    }

    std::vector<StoredRecord> &records_;
    const std::vector<qsizetype> &bases_;
    std::vector<qsizetype> anchors_;
    std::vector<State> state_;
};


// A packet without a change log (every one the program writes) keeps its
// records in place: each stands for itself, so only the hidden ones drop out.
std::vector<PacketRow> RowsWithoutLog(std::vector<StoredRecord> &records)
{
    std::vector<PacketRow> rows;
    rows.reserve(records.size());
    for (StoredRecord &record : records) {
        if ((record.status & (kSuperseded | kDeleted)) == 0)
            rows.push_back(PacketRow {std::move(record.cells)});
    }
    return rows;
}

}  // namespace

std::vector<PacketRow> VisibleRows(std::vector<StoredRecord> records, const QList<qint64> &triples)
{
    if (triples.isEmpty())
        return RowsWithoutLog(records);
    const std::vector<qsizetype> bases = BaseRecords(qsizetype(records.size()), triples);
    Resolver resolver(records, bases);
    resolver.ResolveAll();

    std::vector<size_t> visible;
    for (size_t record = 0; record < records.size(); ++record) {
        if ((records[record].status & (kSuperseded | kDeleted)) == 0)
            visible.push_back(record);
    }
    std::stable_sort(visible.begin(), visible.end(), [&resolver](size_t left, size_t right) {
        return resolver.Anchor(left) < resolver.Anchor(right);
    });

    std::vector<PacketRow> rows;
    rows.reserve(visible.size());
    for (const size_t record : visible)
        rows.push_back(PacketRow {std::move(records[record].cells)});
    return rows;
}

}  // namespace ChangeLog

}  // namespace Catraca
