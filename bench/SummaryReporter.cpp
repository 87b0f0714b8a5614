#include "SummaryReporter.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <ostream>
#include <sstream>

namespace Catraca {

namespace {

std::string Fixed(double value, int decimals)
{
    std::ostringstream text;
    text << std::fixed << std::setprecision(decimals) << value;
    return text.str();
}

std::string Duration(double seconds)
{
    if (seconds < 1e-6)
        return Fixed(seconds * 1e9, 1) + " ns";
    if (seconds < 1e-3)
        return Fixed(seconds * 1e6, 2) + " us";
    if (seconds < 1)
        return Fixed(seconds * 1e3, 2) + " ms";
    return Fixed(seconds, 2) + " s";
}

std::string Bytes(double bytes)
{
    return Fixed(bytes / (1024.0 * 1024.0), 1) + " MiB";
}

std::string Padded(const std::string &text, size_t width)
{
    return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

}  // namespace

SummaryReporter::SummaryReporter() : benchmark::ConsoleReporter(OO_Tabular) {}

void SummaryReporter::ReportRuns(const std::vector<Run> &runs)
{
    benchmark::ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs)
        Keep(run);
}

void SummaryReporter::Keep(const Run &run)
{
    Measured &slot = measured_[run.run_name.function_name];
    if (run.error_occurred) {
        slot.error = run.error_message;
        anyFailure_ = true;
        return;
    }
    // With repetitions the median stands for the benchmark; without, the run.
    const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
    const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
    if (!median && !single)
        return;
    const double perSecond = benchmark::GetTimeUnitMultiplier(run.time_unit);
    slot.present = true;
    slot.realSeconds = run.GetAdjustedRealTime() / perSecond;
    slot.cpuSeconds = run.GetAdjustedCPUTime() / perSecond;
    for (const auto &[name, counter] : run.counters)
        slot.counters[name] = counter.value;
}

bool SummaryReporter::Values(const BenchPlan::Comparison &comparison, double &ours,
                             double &anchor, std::string &problem) const
{
    auto valueOf = [&](const std::string &name, double &value) {
        const auto found = measured_.find(name);
        if (found == measured_.end()) {
            problem = "not run";
            return false;
        }
        const Measured &slot = found->second;
        if (!slot.error.empty()) {
            problem = "error: " + slot.error;
            return false;
        }
        if (!slot.present) {
            problem = "not run";
            return false;
        }
        switch (comparison.metric) {
        case BenchPlan::Metric::CpuTime:
            value = slot.cpuSeconds;
            return true;
        case BenchPlan::Metric::RealTime:
        case BenchPlan::Metric::ManualTime:
            value = slot.realSeconds;
            return true;
        case BenchPlan::Metric::Interleaved:
            return false;  // read above, from the one benchmark's counters
        case BenchPlan::Metric::Counter: {
            const auto counter = slot.counters.find(comparison.counter);
            if (counter == slot.counters.end()) {
                problem = "no counter " + comparison.counter;
                return false;
            }
            value = counter->second;
            return true;
        }
        }
        return false;
    };
    if (comparison.metric == BenchPlan::Metric::Interleaved) {
        const auto found = measured_.find(comparison.oursName);
        if (found == measured_.end() || (!found->second.present && found->second.error.empty())) {
            problem = "not run";
            return false;
        }
        if (!found->second.error.empty()) {
            problem = "error: " + found->second.error;
            return false;
        }
        const auto &counters = found->second.counters;
        const auto oursCounter = counters.find("ours_s");
        const auto anchorCounter = counters.find(comparison.counter);
        if (oursCounter == counters.end() || anchorCounter == counters.end()) {
            problem = "no counters";
            return false;
        }
        ours = oursCounter->second;
        anchor = anchorCounter->second;
        return anchor > 0;
    }
    return valueOf(comparison.oursName, ours) && valueOf(comparison.anchorName, anchor)
           && anchor > 0;
}

void SummaryReporter::Finalize()
{
    std::ostream &out = GetOutputStream();
    PrintTable(out);
    PrintCrossovers(out);
    benchmark::ConsoleReporter::Finalize();
}

void SummaryReporter::PrintTable(std::ostream &out) const
{
    out << "\nSummary: ours against its anchor in this run (ratio = ours / anchor)";
    if (BenchPlan::Smoke())
        out << "; smoke run: one iteration each, the figures mean nothing";
    out << "\n\n";
    const size_t widths[] = {34, 12, 13, 13, 8, 8};
    out << Padded("Scenario", widths[0]) << Padded("Size", widths[1]) << Padded("Ours", widths[2])
        << Padded("Anchor", widths[3]) << Padded("Ratio", widths[4]) << Padded("Goal", widths[5])
        << "Verdict\n";
    for (const BenchPlan::Comparison &comparison : BenchPlan::Comparisons()) {
        out << Padded(comparison.scenario, widths[0]) << Padded(comparison.size, widths[1]);
        double ours = 0, anchor = 0;
        std::string problem;
        if (!Values(comparison, ours, anchor, problem)) {
            out << problem << "\n";
            continue;
        }
        const bool memory = comparison.metric == BenchPlan::Metric::Counter || comparison.bytes;
        const double ratio = ours / anchor;
        out << Padded(memory ? Bytes(ours) : Duration(ours), widths[2])
            << Padded(memory ? Bytes(anchor) : Duration(anchor), widths[3])
            << Padded(Fixed(ratio, 2), widths[4])
            << Padded(comparison.goal > 0 ? "<= " + Fixed(comparison.goal, 1) : "(none)", widths[5])
            << (comparison.goal <= 0 ? "" : ratio <= comparison.goal ? "meets" : "MISSES") << "\n";
    }
}

void SummaryReporter::PrintCrossovers(std::ostream &out) const
{
    std::vector<std::string> groups;
    for (const BenchPlan::Comparison &comparison : BenchPlan::Comparisons())
        if (!comparison.crossoverGroup.empty()
            && std::find(groups.begin(), groups.end(), comparison.crossoverGroup) == groups.end())
            groups.push_back(comparison.crossoverGroup);
    if (groups.empty())
        return;
    out << "\nCrossover (where ours stops being at least as fast as its anchor):\n";
    for (const std::string &group : groups) {
        out << "  " << group << ": ";
        const BenchPlan::Comparison *previous = nullptr;
        double previousRatio = 0;
        std::string verdict;
        for (const BenchPlan::Comparison &comparison : BenchPlan::Comparisons()) {
            if (comparison.crossoverGroup != group)
                continue;
            double ours = 0, anchor = 0;
            std::string problem;
            if (!Values(comparison, ours, anchor, problem)) {
                verdict = "incomplete (" + comparison.size + ": " + problem + ")";
                break;
            }
            const double ratio = ours / anchor;
            if (!previous && ratio > 1) {
                verdict = "ours is slower already at " + comparison.size + " (ratio "
                          + Fixed(ratio, 2) + ")";
                break;
            }
            if (previous && previousRatio <= 1 && ratio > 1) {
                // Ours grows about linearly with N and the anchor hardly at
                // all, so the ratio is interpolated linearly in N.
                const double at = previous->sizeValue
                                  + (1 - previousRatio) * (comparison.sizeValue - previous->sizeValue)
                                        / (ratio - previousRatio);
                verdict = "between " + previous->size + " (ratio " + Fixed(previousRatio, 2)
                          + ") and " + comparison.size + " (ratio " + Fixed(ratio, 2)
                          + "); linear estimate N = "
                          + BenchPlan::Grouped(static_cast<long long>(std::llround(at)));
                break;
            }
            previous = &comparison;
            previousRatio = ratio;
        }
        if (verdict.empty())
            verdict = previous ? "none: ours is at least as fast up to " + previous->size
                               : "no rows";
        out << verdict << "\n";
    }
}

}  // namespace Catraca
