#include "BenchFolder.h"
#include "BenchPlan.h"
#include "CacheFixtures.h"
#include "Sizes.h"

#include "app/journal/GateJournal.h"
#include "cache/ReleaseCache.h"
#include "cache/table/Field.h"

#include <stdexcept>

namespace Catraca {

// A gate scan that releases a tab, with its journal line and without: the
// scan alone already saves data.cds durably; the journal adds one append and
// one flush of a single line before the memo shows the decision.
namespace {

void JournaledScanLoop(benchmark::State &state, int rows)
{
    BenchFolder folder;
    folder.Write(QStringLiteral("data.cds"), CacheFixtures::CacheFileBytes(rows));
    ReleaseCache cache;
    TClientDataSet &table = cache.cdsEmulador;
    table.Close();
    table.LoadFromFile(ReleaseCache::FilePath());
    GateJournal journal(folder.File(GateJournal::FolderName));
    const QString keyField = QStringLiteral("COD_BARRA");
    const QString barcode = CacheFixtures::Barcode(rows / 2);

    // What the gate does on Enter for a released tab.
    const auto scan = [&](bool journaled) {
        if (!table.Locate(keyField, QVariant(barcode), loCaseInsensitive | loPartialKey))
            throw std::runtime_error("the tab to release is missing");
        const QString event = table.FieldByName(QStringLiteral("EVENTO"))->AsString();
        table.Delete();
        table.SaveToFile(ReleaseCache::FilePath(), dfBinary);
        if (journaled)
            journal.Decision(GateJournal::Outcome::Released, barcode, event);
    };
    // Untimed: the tab comes back for the next scan.
    const auto putBack = [&] {
        table.Insert();
        table.FieldByName(keyField)->SetAsString(barcode);
        table.FieldByName(QStringLiteral("EVENTO"))->SetAsString(QStringLiteral("L"));
        table.Post();
    };

    double ours = 0, anchor = 0;
    long long round = 0;
    for (auto _ : state) {
        double oursSeconds = 0, anchorSeconds = 0;
        for (int turn = 0; turn < 2; ++turn) {
            const bool journaled = (turn == 0) == (round % 2 == 0);
            putBack();
            (journaled ? oursSeconds : anchorSeconds) = BenchPlan::Timed([&] { scan(journaled); });
        }
        ours += oursSeconds;
        anchor += anchorSeconds;
        state.SetIterationTime(oursSeconds + anchorSeconds);
        ++round;
    }
    if (journal.Failing() || journal.PendingLines() != 0)
        throw std::runtime_error("the journal could not be written");
    const double iterations = static_cast<double>(state.iterations());
    state.counters["ours_s"] = ours / iterations;
    state.counters["anchor_s"] = anchor / iterations;
}

}  // namespace

void RegisterJournalBenchmarks()
{
    for (int rows : CacheSizes()) {
        BenchPlan::Comparison comparison;
        comparison.scenario = "released scan, journaled / not journaled";
        comparison.size = RowsLabel(rows);
        comparison.sizeValue = rows;
        comparison.oursName = "journaled_scan/" + std::to_string(rows) + "/both";
        comparison.anchorName = comparison.oursName;
        comparison.counter = "anchor_s";
        // The save flushes twice (the file, then its folder); the journal
        // adds a third flush and an open: on a small cache, where flushes are
        // nearly all the cost, half as much again, and some room for a disk
        // whose flushes vary.
        comparison.goal = 1.7;
        comparison.metric = BenchPlan::Metric::Interleaved;
        auto *benchmark = BenchPlan::RegisterInterleaved(
            comparison, [rows](benchmark::State &state) { JournaledScanLoop(state, rows); });
        const int repetitions = RepetitionsFor(0.01 + rows * 2e-7);
        benchmark->Repetitions(repetitions)->DisplayAggregatesOnly(repetitions > 1);
        benchmark->Unit(benchmark::kMillisecond);
    }
}

}  // namespace Catraca
