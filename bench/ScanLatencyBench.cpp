#include "BenchPlan.h"
#include "GateRig.h"

#include "app/uEmulador.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

namespace Catraca {

// Scan latency: while a backlog drains, a scanner on a thread of its own
// types a barcode and Enter into the real window's barcode box every
// kScanPeriod, as a keyboard-like scanner does; a scan is answered when its
// message line is in the output memo (the lamp is set just before). The
// latency runs from the moment Enter was typed. The figure is the 99th
// percentile, set against the 100 ms the gate has to answer.
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kScanPeriod = std::chrono::milliseconds(40);
constexpr double kAnswerSeconds = 0.1;

struct Typed {
    QString barcode;
    Clock::time_point enter;
};

class Scanner {
public:
    Scanner(QObject *box, int backlogRows) : box_(box), rows_(backlogRows) {}
    ~Scanner() { Stop(); }

    void Start()
    {
        thread_ = std::thread([this] { Run(); });
    }
    void Stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    // The oldest scan not answered yet, when its line has just appeared.
    bool TakeAnswered(const QString &messageLine, Typed &scan)
    {
        std::lock_guard lock(mutex_);
        if (typed_.empty() || !messageLine.endsWith(typed_.front().barcode))
            return false;
        scan = typed_.front();
        typed_.pop_front();
        return true;
    }

private:
    // Tabs of the backlog in a scattered order: some applied already (red or
    // green, a release saves data.cds), some not yet (silver).
    void Run()
    {
        for (int scan = 0; !stop_; ++scan) {
            const QString barcode = BacklogBarcode(int((scan * 7919LL) % rows_));
            for (const QChar character : barcode)
                Post(Qt::Key(character.toUpper().unicode()), QString(character));
            {
                std::lock_guard lock(mutex_);
                typed_.push_back({barcode, Clock::now()});
            }
            Post(Qt::Key_Return, QStringLiteral("\r"));
            std::this_thread::sleep_for(kScanPeriod);
        }
    }
    void Post(Qt::Key key, const QString &text)
    {
        QCoreApplication::postEvent(box_, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, text));
        QCoreApplication::postEvent(box_, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier, text));
    }

    QObject *box_;
    int rows_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::deque<Typed> typed_;
    std::thread thread_;
};

double Percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const auto at = std::size_t(std::ceil(fraction * double(values.size()))) - 1;
    return values[std::min(at, values.size() - 1)];
}

std::vector<double> LatenciesWhileDraining(const Backlog &backlog)
{
    GateRig rig;
    DropBacklog(rig.Folder(), backlog);
    rig.Start();
    T_FrmEmulador &window = rig.Window();
    Scanner scanner(window.findChild<QLineEdit *>(QStringLiteral("_editCodigoBarra")), backlog.Rows());
    std::vector<double> latencies;
    QTextDocument *output = window.findChild<QPlainTextEdit *>(QStringLiteral("MmEventoSaida"))->document();
    QObject::connect(output, &QTextDocument::contentsChanged, &window, [&] {
        // A check's three lines each end in a line break: once the last is
        // in, the message line is two blocks above the empty last block.
        const QTextBlock last = output->lastBlock();
        if (!last.text().isEmpty() || !last.previous().isValid() || !last.previous().previous().isValid())
            return;
        Typed scan;
        if (scanner.TakeAnswered(last.previous().previous().text(), scan))
            latencies.push_back(std::chrono::duration<double>(Clock::now() - scan.enter).count());
    });
    scanner.Start();
    rig.DrainSeconds();
    scanner.Stop();
    QCoreApplication::processEvents();
    if (latencies.empty())
        throw std::runtime_error("no scan was answered");
    return latencies;
}

void ScanLatencyLoop(benchmark::State &state, const Backlog &backlog)
{
    std::vector<double> all;
    for (auto _ : state) {
        const std::vector<double> latencies = LatenciesWhileDraining(backlog);
        all.insert(all.end(), latencies.begin(), latencies.end());
        state.SetIterationTime(Percentile(latencies, 0.99));
    }
    state.counters["ours_s"] = Percentile(all, 0.99);
    state.counters["p50_s"] = Percentile(all, 0.5);
    state.counters["max_s"] = *std::max_element(all.begin(), all.end());
    state.counters["scans"] = double(all.size());
    state.counters["answer_s"] = kAnswerSeconds;
}

}  // namespace

void RegisterScanLatencyBenchmarks()
{
    for (const Backlog &backlog : Backlogs()) {
        auto *benchmark = RegisterBacklogRow(backlog, "scan while draining, p99", "scan_latency", "answer_s", 1.0,
                                             ScanLatencyLoop);
        // A large file drains in seconds: a few runs give enough scans.
        benchmark->Iterations(backlog.files == 1 && !BenchPlan::Smoke() ? 5 : 1)->Unit(benchmark::kMillisecond);
    }
}

}  // namespace Catraca
