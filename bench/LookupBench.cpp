#include "BenchFolder.h"
#include "BenchPlan.h"
#include "CacheFixtures.h"
#include "Sizes.h"

#include "cache/base/AnsiText.h"
#include "cache/packet/PacketCodec.h"
#include "cache/ReleaseCache.h"

#include <array>
#include <memory>

namespace Catraca {

// Barcode lookup: the search the gate and the collector run for every barcode,
// against a plain loop that makes the same comparison over the same bytes.
namespace {

// The comparison the search makes, with nothing around it: the first stored
// value that begins with the key, letters compared without regard to case.
class PrefixScan {
public:
    explicit PrefixScan(std::vector<QByteArray> stored) : stored_(std::move(stored))
    {
        for (int byte = 0; byte < 256; ++byte)
            upper_[static_cast<size_t>(byte)] = static_cast<unsigned char>(
                AnsiText::UpperCase(static_cast<char>(byte)));
    }

    // The key is taken to the code page the cheapest way that is right for
    // the barcodes used here (Latin-1 range, nothing above it).
    int Find(const QString &key) const
    {
        const qsizetype length = key.size();
        char wanted[64];
        if (length > qsizetype(sizeof wanted))
            return -1;
        for (qsizetype at = 0; at < length; ++at) {
            const char16_t character = key[at].unicode();
            wanted[at] = static_cast<char>(
                upper_[character < 0x100 ? static_cast<unsigned char>(character) : '?']);
        }
        for (size_t row = 0; row < stored_.size(); ++row) {
            const QByteArray &value = stored_[row];
            if (value.size() < length)
                continue;
            const char *bytes = value.constData();
            qsizetype at = 0;
            while (at < length
                   && upper_[static_cast<unsigned char>(bytes[at])]
                          == static_cast<unsigned char>(wanted[at]))
                ++at;
            if (at == length)
                return static_cast<int>(row);
        }
        return -1;
    }

private:
    std::vector<QByteArray> stored_;
    std::array<unsigned char, 256> upper_{};
};

struct LookupCache {
    explicit LookupCache(int rows)
    {
        folder.Write(QStringLiteral("data.cds"), CacheFixtures::CacheFileBytes(rows));
        cache.cdsEmulador.Close();
        cache.cdsEmulador.LoadFromFile(folder.File(QStringLiteral("data.cds")));
    }
    BenchFolder folder;
    ReleaseCache cache;
};

void LocateLoop(benchmark::State &state, int rows, const QString &key, bool expectFound)
{
    LookupCache fixture(rows);
    TClientDataSet &table = fixture.cache.cdsEmulador;
    const QString keyField = QStringLiteral("COD_BARRA");
    const QVariant keyValue(key);
    if (table.Locate(keyField, keyValue, loCaseInsensitive | loPartialKey) != expectFound)
        throw std::runtime_error("Locate gave the wrong answer for " + key.toStdString());
    for (auto _ : state) {
        bool found = table.Locate(keyField, keyValue, loCaseInsensitive | loPartialKey);
        benchmark::DoNotOptimize(found);
    }
}

void ScanLoop(benchmark::State &state, int rows, const QString &key, bool expectFound)
{
    // Decoded from the file's bytes as the table's load does, so the values
    // lie in memory as the table's own do.
    const PrefixScan scan(CacheFixtures::StoredBarcodes(
        PacketCodec::Decode(CacheFixtures::CacheFileBytes(rows))));
    if ((scan.Find(key) >= 0) != expectFound)
        throw std::runtime_error("the plain scan gave the wrong answer for " + key.toStdString());
    for (auto _ : state) {
        int row = scan.Find(key);
        benchmark::DoNotOptimize(row);
    }
}

void RegisterLookup(const std::string &tag, const std::string &title, int rows, const QString &key,
                    bool expectFound)
{
    BenchPlan::Comparison comparison;
    comparison.scenario = title;
    comparison.size = RowsLabel(rows);
    comparison.sizeValue = rows;
    comparison.oursName = tag + "/" + std::to_string(rows) + "/ours";
    comparison.anchorName = tag + "/" + std::to_string(rows) + "/anchor";
    comparison.goal = 1.5;
    comparison.metric = BenchPlan::Metric::CpuTime;
    const auto pair = BenchPlan::Register(
        comparison,
        [=](benchmark::State &state) { LocateLoop(state, rows, key, expectFound); },
        [=](benchmark::State &state) { ScanLoop(state, rows, key, expectFound); });
    const int repetitions = RepetitionsFor(0);
    for (auto *benchmark : {pair.ours, pair.anchor}) {
        benchmark->Repetitions(repetitions)->DisplayAggregatesOnly(repetitions > 1);
        benchmark->Unit(benchmark::kMicrosecond);
    }
}

}  // namespace

void RegisterLookupBenchmarks()
{
    for (int rows : CacheSizes()) {
        RegisterLookup("lookup_miss", "barcode lookup, miss", rows,
                       CacheFixtures::MissingBarcode(rows), false);
        // Upper case against the stored lower case: the search ignores case.
        RegisterLookup("lookup_hit_last", "barcode lookup, hit on last row", rows,
                       CacheFixtures::Barcode(rows - 1).toUpper(), true);
    }
}

}  // namespace Catraca
