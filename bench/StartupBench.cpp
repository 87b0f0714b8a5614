#include "BenchFolder.h"
#include "BenchPlan.h"
#include "ProgramLaunch.h"

#include <set>
#include <string>

#ifndef CATRACA_GATE_PROGRAM
#define CATRACA_GATE_PROGRAM ""
#endif
#ifndef CATRACA_EMPTY_WINDOW_PROGRAM
#define CATRACA_EMPTY_WINDOW_PROGRAM ""
#endif

namespace Catraca {

// Start-up and idle memory of the real program, started with an empty cache
// on the offscreen platform, against a Qt Widgets program that only shows an
// empty window.
namespace {

// The gate program's timer ticks once a second; idling past the first tick
// means its collector has run once.
double IdleSeconds() { return BenchPlan::Smoke() ? 0.2 : 2.5; }

QString Prepared(const BenchFolder &folder, const char *executable, bool withEmptyCache)
{
    return ProgramLaunch::CopyIntoFolder(QString::fromLocal8Bit(executable), folder.Path(),
                                         withEmptyCache);
}

// The first start of a program reads its libraries from disk; it is not counted.
void WarmUpOnce(const QString &program, const char *executable)
{
    static std::set<std::string> warmed;
    if (warmed.insert(executable).second)
        ProgramLaunch::RunUntilShown(program, 0);
}

void StartupLoop(benchmark::State &state, const char *executable, bool withEmptyCache)
{
    BenchFolder folder;
    const QString program = Prepared(folder, executable, withEmptyCache);
    WarmUpOnce(program, executable);
    for (auto _ : state)
        state.SetIterationTime(ProgramLaunch::RunUntilShown(program, 0).secondsUntilShown);
}

void IdleMemoryLoop(benchmark::State &state, const char *executable, bool withEmptyCache)
{
    BenchFolder folder;
    const QString program = Prepared(folder, executable, withEmptyCache);
    WarmUpOnce(program, executable);
    double residentSum = 0;
    for (auto _ : state) {
        const auto result = ProgramLaunch::RunUntilShown(program, IdleSeconds());
        state.SetIterationTime(result.secondsUntilShown);
        residentSum += static_cast<double>(result.idleResidentBytes);
    }
    state.counters["idle_rss_bytes"] = residentSum / static_cast<double>(state.iterations());
}

}  // namespace

void RegisterStartupBenchmarks()
{
    if (!ProgramLaunch::Supported())
        return;
    const bool smoke = BenchPlan::Smoke();

    BenchPlan::Comparison startup;
    startup.scenario = "start-up until the window shows";
    startup.size = "empty cache";
    startup.oursName = "startup/ours";
    startup.anchorName = "startup/anchor";
    startup.goal = 1.5;
    startup.metric = BenchPlan::Metric::ManualTime;
    const auto timed = BenchPlan::Register(
        startup,
        [](benchmark::State &state) { StartupLoop(state, CATRACA_GATE_PROGRAM, true); },
        [](benchmark::State &state) { StartupLoop(state, CATRACA_EMPTY_WINDOW_PROGRAM, false); });
    // One start per repetition: the median of many starts stands for the
    // start-up, so a start that the busy machine delayed does not count much.
    for (auto *benchmark : {timed.ours, timed.anchor}) {
        benchmark->Iterations(1)->Repetitions(smoke ? 1 : 21)->DisplayAggregatesOnly(!smoke);
        benchmark->Unit(benchmark::kMillisecond);
    }

    BenchPlan::Comparison memory;
    memory.scenario = "resident memory when idle";
    memory.size = "empty cache";
    memory.oursName = "idle_memory/ours";
    memory.anchorName = "idle_memory/anchor";
    memory.goal = 1.3;
    memory.metric = BenchPlan::Metric::Counter;
    memory.counter = "idle_rss_bytes";
    const auto resident = BenchPlan::Register(
        memory,
        [](benchmark::State &state) { IdleMemoryLoop(state, CATRACA_GATE_PROGRAM, true); },
        [](benchmark::State &state) { IdleMemoryLoop(state, CATRACA_EMPTY_WINDOW_PROGRAM, false); });
    for (auto *benchmark : {resident.ours, resident.anchor}) {
        benchmark->UseManualTime()->Iterations(1)->Repetitions(smoke ? 1 : 5)->DisplayAggregatesOnly(!smoke);
        benchmark->Unit(benchmark::kMillisecond);
    }
}

}  // namespace Catraca
