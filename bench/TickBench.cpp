#include "BenchFolder.h"
#include "BenchPlan.h"
#include "CacheFixtures.h"
#include "Sizes.h"
#include "SqliteStore.h"

#include "cache/Platform.h"
#include "cache/ReleaseCache.h"
#include "intake/uThreadsXML.h"

#include <QDir>

// Tick: the collector applies K command records to an N-row cache, saving the
// whole cache after every record; the anchor makes the same K changes in
// SQLite, one durable transaction each.
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

void CollectorTickLoop(benchmark::State &state, int records, int rows)
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

    long long round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const auto commands = CacheFixtures::CommandsFor(records, rows, EventForRound(round++));
        folder.Write(commandFile, CacheFixtures::CommandFileXml(commands));
        state.ResumeTiming();

        collector.ThisOnTimer(nullptr);
    }
    if (!collector.Reader()->GetLog().isEmpty())
        throw std::runtime_error("the reader failed: " + collector.Reader()->GetLog().toStdString());
    if (Platform::FileExists(folder.File(commandFile)))
        throw std::runtime_error("the collector left the command file unread");
    if (cache.cdsEmulador.RecordCount() != rows)
        throw std::runtime_error("the tick changed the number of rows");
    state.counters["records"] = records;
}

void SqliteUpsertLoop(benchmark::State &state, int records, int rows)
{
    BenchFolder folder;
    SqliteStore store(folder.File(QStringLiteral("cache.sqlite")), rows);
    long long round = 0;
    std::vector<CacheFixtures::Command> commands;
    for (auto _ : state) {
        state.PauseTiming();
        commands = CacheFixtures::CommandsFor(records, rows, EventForRound(round++));
        std::vector<std::pair<std::string, std::string>> changes;
        changes.reserve(commands.size());
        for (const auto &command : commands)
            changes.emplace_back(command.barcode.toStdString(), command.event.toStdString());
        state.ResumeTiming();

        for (const auto &[barcode, event] : changes)
            store.Upsert(barcode, event);
    }
    if (!commands.empty()
        && store.EventOf(commands.back().barcode.toStdString()) != commands.back().event.toStdString())
        throw std::runtime_error("SQLite lost an upsert");
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
            comparison.oursName = tag + "/ours";
            comparison.anchorName = tag + "/anchor";
            comparison.goal = 1.0;
            comparison.metric = BenchPlan::Metric::RealTime;
            comparison.crossoverGroup = "tick, K = " + BenchPlan::Grouped(records);
            const auto pair = BenchPlan::Register(
                comparison,
                [records, rows](benchmark::State &state) { CollectorTickLoop(state, records, rows); },
                [records, rows](benchmark::State &state) { SqliteUpsertLoop(state, records, rows); });
            // A tick of 1,000 records on a large cache takes seconds: once is enough.
            const double roughSeconds = records * (0.002 + rows * 1e-7);
            const int repetitions = RepetitionsFor(roughSeconds);
            for (auto *benchmark : {pair.ours, pair.anchor}) {
                benchmark->Repetitions(repetitions)->DisplayAggregatesOnly(repetitions > 1);
                benchmark->Unit(benchmark::kMillisecond);
                if (!BenchPlan::Smoke() && roughSeconds > 0.5)
                    benchmark->Iterations(1);
            }
        }
    }
}
