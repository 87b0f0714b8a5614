#include "BenchFolder.h"
#include "BenchPlan.h"
#include "CacheFixtures.h"
#include "FloorIo.h"
#include "Sizes.h"

#include "cache/ReleaseCache.h"

#include <chrono>
#include <memory>

namespace Catraca {

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

// Ours and both floors take turns within every iteration, so a disk that is
// slower for a while slows all three alike.
void SaveInterleavedLoop(benchmark::State &state, int rows)
{
    LoadedCache fixture(rows);
    TClientDataSet &table = fixture.cache.cdsEmulador;
    const QString path = fixture.folder.File(QStringLiteral("data.cds"));
    const QString floorPath = fixture.folder.File(QStringLiteral("floor.cds"));
    const QByteArray bytes = table.SaveToBytes(dfBinary);
    double ours = 0, floor = 0, floorWithFolder = 0;
    long long turn = 0;
    for (auto _ : state) {
        double spent = 0;
        for (int step = 0; step < 3; ++step) {
            switch ((turn + step) % 3) {
            case 0: {
                const double seconds = BenchPlan::Timed([&] { table.SaveToFile(path, dfBinary); });
                ours += seconds;
                spent += seconds;
                break;
            }
            case 1: {
                const double seconds = BenchPlan::Timed([&] { FloorIo::WriteFlushRename(floorPath, bytes); });
                floor += seconds;
                spent += seconds;
                break;
            }
            default: {
                const double seconds = BenchPlan::Timed(
                    [&] { FloorIo::WriteFlushRenameFlushFolder(floorPath, bytes); });
                floorWithFolder += seconds;
                spent += seconds;
                break;
            }
            }
        }
        ++turn;
        state.SetIterationTime(spent);
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["ours_s"] = ours / iterations;
    state.counters["anchor_s"] = floor / iterations;
    state.counters["anchor_folder_s"] = floorWithFolder / iterations;
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
        BenchPlan::Comparison save = RowsComparison("save", "save (binary, durable)", rows, 1.3,
                                                    BenchPlan::Metric::Interleaved);
        save.oursName = "save/" + std::to_string(rows) + "/ours_and_floors";
        save.anchorName = save.oursName;
        save.counter = "anchor_s";
        auto *saveBenchmark = BenchPlan::RegisterInterleaved(
            save, [rows](benchmark::State &state) { SaveInterleavedLoop(state, rows); });
        const int saveRepetitions = RepetitionsFor(0);
        saveBenchmark->Repetitions(saveRepetitions)->DisplayAggregatesOnly(saveRepetitions > 1);
        saveBenchmark->Unit(benchmark::kMillisecond);
        // The floor above leaves the rename itself undurable; a save must not.
        // This row shows what the save adds beyond flushing the folder too.
        BenchPlan::Comparison saveWithFolder = save;
        saveWithFolder.scenario = "save, floor also flushes folder";
        saveWithFolder.counter = "anchor_folder_s";
        BenchPlan::AddComparison(saveWithFolder);
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

}  // namespace Catraca
