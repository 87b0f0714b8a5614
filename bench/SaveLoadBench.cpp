#include "BenchFolder.h"
#include "BenchPlan.h"
#include "CacheFixtures.h"
#include "FloorIo.h"
#include "Sizes.h"

#include "cache/ReleaseCache.h"

#include <chrono>
#include <memory>

// Save and load of the whole release cache, against writing the same bytes
// durably and reading them back with bare system calls.
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct LoadedCache {
    explicit LoadedCache(int rows)
    {
        folder.Write(QStringLiteral("data.cds"), CacheFixtures::CacheFileBytes(rows));
        cache.cdsEmulador.Close();
        cache.cdsEmulador.LoadFromFile(folder.File(QStringLiteral("data.cds")));
    }
    BenchFolder folder;
    ReleaseCache cache;
};

void SaveToFileLoop(benchmark::State &state, int rows)
{
    LoadedCache fixture(rows);
    const QString path = fixture.folder.File(QStringLiteral("data.cds"));
    for (auto _ : state)
        fixture.cache.cdsEmulador.SaveToFile(path, dfBinary);
    state.SetBytesProcessed(state.iterations() * fixture.cache.cdsEmulador.SaveToBytes().size());
}

void WriteFlushRenameLoop(benchmark::State &state, int rows, bool flushFolder)
{
    LoadedCache fixture(rows);
    const QByteArray bytes = fixture.cache.cdsEmulador.SaveToBytes(dfBinary);
    const QString path = fixture.folder.File(QStringLiteral("floor.cds"));
    for (auto _ : state) {
        if (flushFolder)
            FloorIo::WriteFlushRenameFlushFolder(path, bytes);
        else
            FloorIo::WriteFlushRename(path, bytes);
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

// Start-up's path: the cache, open on its empty design-time content, is
// closed and loaded from data.cds. Only the load is timed.
void LoadFromFileLoop(benchmark::State &state, int rows)
{
    BenchFolder folder;
    folder.Write(QStringLiteral("data.cds"), CacheFixtures::CacheFileBytes(rows));
    const QString path = folder.File(QStringLiteral("data.cds"));
    for (auto _ : state) {
        auto cache = std::make_unique<ReleaseCache>();
        cache->cdsEmulador.Close();
        const Clock::time_point start = Clock::now();
        cache->cdsEmulador.LoadFromFile(path);
        state.SetIterationTime(SecondsSince(start));
        if (cache->cdsEmulador.RecordCount() != rows)
            throw std::runtime_error("the load gave the wrong number of rows");
    }
}

void ReadAllLoop(benchmark::State &state, int rows)
{
    BenchFolder folder;
    folder.Write(QStringLiteral("data.cds"), CacheFixtures::CacheFileBytes(rows));
    const QString path = folder.File(QStringLiteral("data.cds"));
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        QByteArray bytes = FloorIo::ReadAll(path);
        benchmark::DoNotOptimize(bytes.data());
        state.SetIterationTime(SecondsSince(start));
    }
}

BenchPlan::Comparison RowsComparison(const std::string &tag, const std::string &title, int rows,
                                     double goal, BenchPlan::Metric metric)
{
    BenchPlan::Comparison comparison;
    comparison.scenario = title;
    comparison.size = RowsLabel(rows);
    comparison.sizeValue = rows;
    comparison.oursName = tag + "/" + std::to_string(rows) + "/ours";
    comparison.anchorName = tag + "/" + std::to_string(rows) + "/anchor";
    comparison.goal = goal;
    comparison.metric = metric;
    return comparison;
}

}  // namespace

void RegisterSaveLoadBenchmarks()
{
    for (int rows : CacheSizes()) {
        const auto save = BenchPlan::Register(
            RowsComparison("save", "save (binary, durable)", rows, 1.3,
                           BenchPlan::Metric::RealTime),
            [rows](benchmark::State &state) { SaveToFileLoop(state, rows); },
            [rows](benchmark::State &state) { WriteFlushRenameLoop(state, rows, false); });
        // The floor above leaves the rename itself undurable; a save must not.
        // This second row measures what the save adds beyond flushing the folder.
        const auto saveWithFolder = BenchPlan::Register(
            RowsComparison("save_folder_flushed", "save, floor also flushes folder", rows, 1.3,
                           BenchPlan::Metric::RealTime),
            [rows](benchmark::State &state) { SaveToFileLoop(state, rows); },
            [rows](benchmark::State &state) { WriteFlushRenameLoop(state, rows, true); });
        for (auto *benchmark : {save.ours, save.anchor, saveWithFolder.ours, saveWithFolder.anchor}) {
            const int repetitions = RepetitionsFor(0);
            benchmark->Repetitions(repetitions)->DisplayAggregatesOnly(repetitions > 1);
            benchmark->Unit(benchmark::kMillisecond);
        }
        const auto load = BenchPlan::Register(
            RowsComparison("load", "load", rows, 3.0, BenchPlan::Metric::ManualTime),
            [rows](benchmark::State &state) { LoadFromFileLoop(state, rows); },
            [rows](benchmark::State &state) { ReadAllLoop(state, rows); });
        for (auto *benchmark : {load.ours, load.anchor}) {
            const int repetitions = RepetitionsFor(0);
            benchmark->Repetitions(repetitions)->DisplayAggregatesOnly(repetitions > 1);
            benchmark->Unit(benchmark::kMicrosecond);
        }
    }
}
