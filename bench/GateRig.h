#pragma once

#include "BenchFolder.h"

#include <QString>
#include <benchmark/benchmark.h>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Catraca {

class T_FrmEmulador;

// The real gate window in a fresh program folder (with an empty data.cds),
// as the program runs it: its collector ticks once a second in the event
// loop and its journal writes to the folder.
class GateRig {
public:
    GateRig();
    ~GateRig();
    GateRig(const GateRig &) = delete;
    GateRig &operator=(const GateRig &) = delete;

    T_FrmEmulador &Window() { return *window_; }
    const BenchFolder &Folder() const { return folder_; }
    // Starts the window: loads data.cds and starts the collector's timer.
    void Start();
    // Runs the event loop until the command folder and the work file are
    // gone; the seconds from the collector's first tick.
    double DrainSeconds();

private:
    BenchFolder folder_;
    std::unique_ptr<T_FrmEmulador> window_;
};

// Command files dropped at once: `files` files of `rowsPerFile` rows each,
// every row a tab of its own, events alternating.
struct Backlog {
    int files = 0;
    int rowsPerFile = 0;
    std::string label;
    int Rows() const { return files * rowsPerFile; }
};

// The two backlogs of the drain and scan rows (small ones in a smoke run).
std::vector<Backlog> Backlogs();

// The barcode of command `index` of a backlog.
QString BacklogBarcode(int index);

// Writes the backlog's command files into the folder's XML.
void DropBacklog(const BenchFolder &folder, const Backlog &backlog);

// One interleaved row for the backlog, named "<prefix>/<files>x<rows>" and
// judged by the counter against the goal.
benchmark::internal::Benchmark *RegisterBacklogRow(const Backlog &backlog, const char *scenario,
                                                   const std::string &prefix, const char *counter, double goal,
                                                   std::function<void(benchmark::State &, const Backlog &)> loop);

}  // namespace Catraca
