#pragma once

#include "BenchPlan.h"

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace Catraca {

// Prints every run as the console reporter does, keeps what the comparisons
// need, and at the end prints one table of ours against the anchor with the
// ratio and the goal of every row.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    SummaryReporter();

    void ReportRuns(const std::vector<Run> &runs) override;
    void Finalize() override;

    bool AnyFailure() const { return anyFailure_; }

private:
    struct Measured {
        bool present = false;
        std::string error;
        double realSeconds = 0;
        double cpuSeconds = 0;
        std::map<std::string, double> counters;
    };

    void Keep(const Run &run);
    // Ours, anchor and their ratio for one comparison; false when a side is
    // missing or failed (the reason is then in `problem`).
    bool Values(const BenchPlan::Comparison &comparison, double &ours, double &anchor,
                std::string &problem) const;
    void PrintTable(std::ostream &out) const;
    void PrintCrossovers(std::ostream &out) const;

    std::map<std::string, Measured> measured_;
    bool anyFailure_ = false;
};

}  // namespace Catraca
