#include "BenchPlan.h"
#include "FloorIo.h"
#include "GateRig.h"

#include "app/uEmulador.h"
#include "cache/base/Platform.h"
#include "tests/support/PlatformSeams.h"

#include <QFileInfo>

namespace Catraca {

// Drain: a backlog of command files dropped at once, taken by the real
// window's collector in its event loop, from its first tick until the folder
// is empty; the floor is as many durable whole-table saves, back to back, as
// the drain made, of a table that grows as the drain's did.
namespace {

struct Drained {
    double seconds = 0;
    int saves = 0;
    QByteArray table;  // data.cds once drained
};

Drained Drain(const Backlog &backlog)
{
    GateRig rig;
    DropBacklog(rig.Folder(), backlog);
    int saves = 0;
    Platform::SetFaultHookForTests([&saves](Platform::FileOperation operation, const QString &path) {
        saves += operation == Platform::FileOperation::Rename
                 && QFileInfo(path).fileName().startsWith(QStringLiteral(".data.cds."));
        return false;
    });
    Drained drained;
    try {
        rig.Start();
        drained.seconds = rig.DrainSeconds();
    } catch (...) {
        Platform::SetFaultHookForTests(nullptr);
        throw;
    }
    Platform::SetFaultHookForTests(nullptr);
    drained.saves = saves;
    drained.table = rig.Window().cdsEmulador.SaveToBytes(dfBinary);
    if (rig.Window().cdsEmulador.RecordCount() != backlog.Rows())
        throw std::runtime_error("the drain did not apply every command once");
    return drained;
}

// Save i of n writes the first (i + 1) / n of the final table's bytes.
double FloorSeconds(const Drained &drained)
{
    BenchFolder folder;
    const QString target = folder.File(QStringLiteral("data.cds"));
    const qsizetype size = drained.table.size();
    return BenchPlan::Timed([&] {
        for (int save = 0; save < drained.saves; ++save)
            FloorIo::WriteFlushRenameFlushFolder(target, drained.table.left(size * (save + 1) / drained.saves));
    });
}

// What the gate's users were promised for each backlog.
double DeadlineSeconds(const Backlog &backlog)
{
    return backlog.files > 1 ? 15.0 : 2.0;
}

void DrainLoop(benchmark::State &state, const Backlog &backlog)
{
    // The floor follows the drain: it needs the drain's number of saves.
    double ours = 0, floor = 0, saves = 0;
    for (auto _ : state) {
        const Drained drained = Drain(backlog);
        const double floorSeconds = FloorSeconds(drained);
        ours += drained.seconds;
        floor += floorSeconds;
        saves += drained.saves;
        state.SetIterationTime(drained.seconds + floorSeconds);
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["ours_s"] = ours / iterations;
    state.counters["floor_s"] = floor / iterations;
    state.counters["saves"] = saves / iterations;
    state.counters["deadline_s"] = DeadlineSeconds(backlog);
}

}  // namespace

void RegisterDrainBenchmarks()
{
    for (const Backlog &backlog : Backlogs()) {
        // The floor shows what the saves alone cost; a drain that batches
        // small files makes fewer saves than files, so the deadline is the
        // goal.
        auto *benchmark = RegisterBacklogRow(backlog, "drain, against the floor", "drain", "floor_s", 0, DrainLoop);
        benchmark->Iterations(1)->Unit(benchmark::kSecond);
        BenchPlan::Comparison deadline = BenchPlan::Comparisons().back();
        deadline.scenario = "drain, against its deadline";
        deadline.counter = "deadline_s";
        deadline.goal = 1.0;
        BenchPlan::AddComparison(deadline);
    }
}

}  // namespace Catraca
