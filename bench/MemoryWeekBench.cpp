#include "BenchPlan.h"
#include "GateRig.h"

#include "app/uEmulador.h"
#include "intake/uThreadsXML.h"

#include <QCoreApplication>
#include <QFile>

namespace Catraca {

// Memory over a week: the real window's collector ticks 604,800 times (a
// week of one tick a second) on an empty command folder, called directly
// without waiting for the clock, with the event loop let run every so often
// as it would between ticks. The resident set after the week is set against
// the one after the first hour plus the 10 MiB it may grow by.
namespace {

constexpr long long kTicksPerHour = 3600;
constexpr long long kTicksPerWeek = 7 * 24 * kTicksPerHour;
constexpr double kAllowedGrowthBytes = 10.0 * 1024 * 1024;

// Linux keeps the resident set in /proc; elsewhere the row reports an error.
double ResidentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read /proc/self/status");
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() * 1024;
    }
    throw std::runtime_error("no VmRSS in /proc/self/status");
}

void Ticks(ProcessoXML &collector, long long count)
{
    for (long long tick = 0; tick < count; ++tick) {
        collector.ThisOnTimer(nullptr);
        if (tick % 64 == 0)
            QCoreApplication::processEvents();
    }
}

void MemoryWeekLoop(benchmark::State &state)
{
    const long long week = BenchPlan::Smoke() ? 2 * kTicksPerHour : kTicksPerWeek;
    double afterHour = 0, afterWeek = 0;
    for (auto _ : state) {
        GateRig rig;
        rig.Start();
        // Ticks are called here, not by the clock.
        rig.Window().Collector()->get_Timmer()->stop();
        ProcessoXML &collector = *rig.Window().Collector();
        const double start = BenchPlan::Timed([&] { Ticks(collector, kTicksPerHour); });
        afterHour = ResidentBytes();
        const double rest = BenchPlan::Timed([&] { Ticks(collector, week - kTicksPerHour); });
        afterWeek = ResidentBytes();
        state.SetIterationTime(start + rest);
    }
    state.counters["rss_hour"] = afterHour;
    state.counters["rss_week"] = afterWeek;
    state.counters["ours_s"] = afterWeek;
    state.counters["allowed"] = afterHour + kAllowedGrowthBytes;
}

}  // namespace

void RegisterMemoryWeekBenchmarks()
{
    BenchPlan::Comparison comparison;
    comparison.scenario = "resident memory after a week";
    comparison.size = "604,800 ticks";
    comparison.oursName = "memory_week/ticks";
    comparison.anchorName = comparison.oursName;
    comparison.counter = "allowed";
    comparison.goal = 1.0;
    comparison.metric = BenchPlan::Metric::Interleaved;
    comparison.bytes = true;
    auto *benchmark = BenchPlan::RegisterInterleaved(comparison, MemoryWeekLoop);
    benchmark->Iterations(1)->Unit(benchmark::kSecond);
}

}  // namespace Catraca
