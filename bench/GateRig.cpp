#include "GateRig.h"

#include "BenchPlan.h"
#include "CacheFixtures.h"

#include "app/uEmulador.h"
#include "cache/base/Platform.h"
#include "intake/uThreadsXML.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <stdexcept>

namespace Catraca {

GateRig::GateRig()
{
    folder_.Write(QStringLiteral("data.cds"), QByteArray());
    if (!QDir().mkpath(folder_.File(QStringLiteral("XML"))))
        throw std::runtime_error("cannot create the command folder");
}

GateRig::~GateRig() = default;

void GateRig::Start()
{
    window_ = std::make_unique<T_FrmEmulador>();
    if (!window_->Collector())
        throw std::runtime_error("the window did not start its collector");
    window_->show();
}

double GateRig::DrainSeconds()
{
    QElapsedTimer clock;
    QObject::connect(window_->Collector()->get_Timmer(), &QTimer::timeout, window_.get(), [&clock] {
        if (!clock.isValid())
            clock.start();
    });
    const QString commandFolder = folder_.File(QStringLiteral("XML"));
    const QString workFile = folder_.File(QStringLiteral("XMLQuiboIntegração"));
    const auto drained = [&] {
        return clock.isValid() && QDir(commandFolder).isEmpty(QDir::Files) && !Platform::FileExists(workFile);
    };
    QElapsedTimer limit;
    limit.start();
    while (!drained()) {
        if (limit.elapsed() > 600 * 1000)
            throw std::runtime_error("the backlog did not drain in ten minutes");
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return double(clock.nsecsElapsed()) / 1e9;
}

std::vector<Backlog> Backlogs()
{
    if (BenchPlan::Smoke())
        return {{20, 1, "20 one-row files"}, {1, 200, "1 file of 200 rows"}};
    return {{10000, 1, "10,000 one-row files"}, {1, 20000, "1 file of 20,000 rows"}};
}

QString BacklogBarcode(int index) { return CacheFixtures::Barcode(index); }

void DropBacklog(const BenchFolder &folder, const Backlog &backlog)
{
    for (int file = 0; file < backlog.files; ++file) {
        std::vector<CacheFixtures::Command> commands;
        for (int row = 0; row < backlog.rowsPerFile; ++row) {
            const int index = file * backlog.rowsPerFile + row;
            commands.push_back({BacklogBarcode(index), index % 2 ? QStringLiteral("L") : QStringLiteral("C")});
        }
        folder.Write(QStringLiteral("XML") + Platform::PathSeparator() + QStringLiteral("c%1.xml").arg(file, 6, 10, QLatin1Char('0')),
                     CacheFixtures::CommandFileXml(commands));
    }
}

benchmark::internal::Benchmark *RegisterBacklogRow(const Backlog &backlog, const char *scenario,
                                                   const std::string &prefix, const char *counter, double goal,
                                                   std::function<void(benchmark::State &, const Backlog &)> loop)
{
    BenchPlan::Comparison comparison;
    comparison.scenario = scenario;
    comparison.size = backlog.label;
    comparison.oursName = prefix + "/" + std::to_string(backlog.files) + "x" + std::to_string(backlog.rowsPerFile);
    comparison.anchorName = comparison.oursName;
    comparison.counter = counter;
    comparison.goal = goal;
    comparison.metric = BenchPlan::Metric::Interleaved;
    return BenchPlan::RegisterInterleaved(comparison,
                                          [backlog, loop](benchmark::State &state) { loop(state, backlog); });
}

}  // namespace Catraca
