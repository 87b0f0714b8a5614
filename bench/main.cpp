// The benchmark program: every hot path of the gate beside its anchor, in one
// run, followed by a table of the ratios.
//
//   catraca_bench [--smoke] [benchmark library flags]
//
// --smoke runs the smallest size of every scenario once, to keep the program
// working in CI; it times nothing worth reading.

#include "BenchPlan.h"
#include "SummaryReporter.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <cstring>

using namespace Catraca;

namespace Catraca {
void RegisterLookupBenchmarks();
void RegisterSaveLoadBenchmarks();
void RegisterCommandFileBenchmarks();
void RegisterTickBenchmarks();
void RegisterJournalBenchmarks();
void RegisterStartupBenchmarks();
void RegisterDrainBenchmarks();
void RegisterScanLatencyBenchmarks();
void RegisterMemoryWeekBenchmarks();
}  // namespace Catraca

namespace {

// Removes the flag from the arguments; true when it was there.
bool TakeFlag(int &argc, char **argv, const char *flag)
{
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], flag) != 0)
            continue;
        for (int rest = index; rest < argc; ++rest)
            argv[rest] = argv[rest + 1];
        --argc;
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char **argv)
{
    BenchPlan::SetSmoke(TakeFlag(argc, argv, "--smoke"));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    // The rows that drive the real window need no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    RegisterLookupBenchmarks();
    RegisterSaveLoadBenchmarks();
    RegisterCommandFileBenchmarks();
    RegisterTickBenchmarks();
    RegisterJournalBenchmarks();
    RegisterStartupBenchmarks();
    RegisterDrainBenchmarks();
    RegisterScanLatencyBenchmarks();
    RegisterMemoryWeekBenchmarks();

    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return reporter.AnyFailure() ? 1 : 0;
}
