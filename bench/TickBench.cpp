#include "BenchFolder.h"
#include "BenchPlan.h"
#include "CacheFixtures.h"
#include "Sizes.h"
#include "SqliteStore.h"

#include "cache/base/Platform.h"
#include "cache/ReleaseCache.h"
#include "intake/uThreadsXML.h"

#include <QDir>

namespace Catraca {

// Tick: the collector applies K command records of one command file to an
// N-row cache, all reaching data.cds in one save; the anchors make the same K
// changes in SQLite, one durable transaction each, and all of them in one
// transaction (the fair anchor, durable per command file as the tick is).
namespace {

std::vector<int> RecordCounts()
{
    if (BenchPlan::Smoke())
        return {1};
    return {1, 100, 1000};
}

// Alternates the event so every record really changes its row.
QString EventForRound(long long round)
{
    return round % 2 == 0 ? QStringLiteral("L") : QStringLiteral("C");
}

// The collector's tick and the SQLite transactions take turns within every
// iteration (which goes first alternates), so a disk whose flushes are slow
// for a while slows both alike.
void TickInterleavedLoop(benchmark::State &state, int records, int rows)
{
    BenchFolder folder;
    folder.Write(QStringLiteral("data.cds"), CacheFixtures::CacheFileBytes(rows));
    ReleaseCache cache;
    cache.cdsEmulador.Close();
    cache.cdsEmulador.LoadFromFile(ReleaseCache::FilePath());
    if (!QDir().mkpath(folder.File(QStringLiteral("XML"))))
        throw std::runtime_error("cannot create the command folder");
    const QString commandFile = QStringLiteral("XML") + Platform::PathSeparator()
                                + QStringLiteral("command.xml");
    ProcessoXML collector;
    collector.SetFonte_Dados(&cache.cdsEmulador);
    collector.IniciarColeta();

    SqliteStore store(folder.File(QStringLiteral("cache.sqlite")), rows);

    double ours = 0, anchor = 0, anchorPerFile = 0;
    long long round = 0;
    std::vector<CacheFixtures::Command> commands;
    for (auto _ : state) {
        commands = CacheFixtures::CommandsFor(records, rows, EventForRound(round));
        folder.Write(commandFile, CacheFixtures::CommandFileXml(commands));
        std::vector<std::pair<std::string, std::string>> changes;
        changes.reserve(commands.size());
        for (const auto &command : commands)
            changes.emplace_back(command.barcode.toStdString(), command.event.toStdString());

        const auto tick = [&] { collector.ThisOnTimer(nullptr); };
        const auto upserts = [&] {
            for (const auto &[barcode, event] : changes)
                store.Upsert(barcode, event);
        };
        const auto perFile = [&] { store.UpsertAll(changes); };
        double oursSeconds = 0, anchorSeconds = 0, perFileSeconds = 0;
        if (round % 2 == 0) {
            oursSeconds = BenchPlan::Timed(tick);
            anchorSeconds = BenchPlan::Timed(upserts);
            perFileSeconds = BenchPlan::Timed(perFile);
        } else {
            perFileSeconds = BenchPlan::Timed(perFile);
            anchorSeconds = BenchPlan::Timed(upserts);
            oursSeconds = BenchPlan::Timed(tick);
        }
        ours += oursSeconds;
        anchor += anchorSeconds;
        anchorPerFile += perFileSeconds;
        state.SetIterationTime(oursSeconds + anchorSeconds + perFileSeconds);
        ++round;
    }
    if (!collector.Reader()->GetLog().isEmpty())
        throw std::runtime_error("the reader failed: " + collector.Reader()->GetLog().toStdString());
    if (Platform::FileExists(folder.File(commandFile)))
        throw std::runtime_error("the collector left the command file unread");
    if (cache.cdsEmulador.RecordCount() != rows)
        throw std::runtime_error("the tick changed the number of rows");
    if (!commands.empty()
        && store.EventOf(commands.back().barcode.toStdString()) != commands.back().event.toStdString())
        throw std::runtime_error("SQLite lost an upsert");
    const double iterations = static_cast<double>(state.iterations());
    state.counters["ours_s"] = ours / iterations;
    state.counters["anchor_s"] = anchor / iterations;
    state.counters["anchor_file_s"] = anchorPerFile / iterations;
    state.counters["records"] = records;
}

}  // namespace

void RegisterTickBenchmarks()
{
    for (int records : RecordCounts()) {
        for (int rows : CacheSizes()) {
            BenchPlan::Comparison comparison;
            comparison.scenario = "tick, K = " + BenchPlan::Grouped(records)
                                  + (records == 1 ? " record" : " records");
            comparison.size = RowsLabel(rows);
            comparison.sizeValue = rows;
            const std::string tag = "tick/K" + std::to_string(records) + "/" + std::to_string(rows);
            comparison.oursName = tag + "/ours_and_sqlite";
            comparison.anchorName = comparison.oursName;
            comparison.counter = "anchor_s";
            comparison.goal = 1.0;
            comparison.metric = BenchPlan::Metric::Interleaved;
            comparison.crossoverGroup = "tick, K = " + BenchPlan::Grouped(records);
            auto *benchmark = BenchPlan::RegisterInterleaved(
                comparison,
                [records, rows](benchmark::State &state) { TickInterleavedLoop(state, records, rows); });
            BenchPlan::Comparison fair = comparison;
            fair.scenario = "tick, K = " + BenchPlan::Grouped(records) + ", SQLite per file";
            fair.counter = "anchor_file_s";
            fair.crossoverGroup = fair.scenario;
            BenchPlan::AddComparison(fair);
            // A tick of 1,000 records on a large cache takes seconds: once is enough.
            const double roughSeconds = records * (0.002 + rows * 1e-7);
            const int repetitions = RepetitionsFor(roughSeconds);
            benchmark->Repetitions(repetitions)->DisplayAggregatesOnly(repetitions > 1);
            benchmark->Unit(benchmark::kMillisecond);
            if (!BenchPlan::Smoke() && roughSeconds > 0.5)
                benchmark->Iterations(1);
        }
    }
}

}  // namespace Catraca
