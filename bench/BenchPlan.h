#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace Catraca {

// What the summary compares: for every scenario and size, the measurement of
// our code and of its anchor, taken in the same run, and the goal for their
// ratio (ours / anchor).
namespace BenchPlan {

enum class Metric {
    CpuTime,   // CPU time per iteration: work that never waits
    RealTime,    // wall time per iteration
    ManualTime,  // wall time of the part of each iteration the benchmark timed
    Counter,   // a user counter the benchmark set, such as resident memory
    // One benchmark that alternates ours and the anchor in every iteration
    // and reports the seconds of each as the counters "ours_s" and
    // "anchor_s" (or the anchor counter named); for work that waits on the
    // disk, whose speed drifts from minute to minute on a shared machine.
    Interleaved,
};

struct Comparison {
    std::string scenario;     // "barcode lookup, miss"
    std::string size;         // "N = 10,000"
    std::string oursName;     // benchmark names, as registered
    std::string anchorName;
    double goal = 0;          // ours / anchor must not exceed it; 0: no goal, shown for scale
    Metric metric = Metric::RealTime;
    std::string counter;      // Metric::Counter: the counter's name (bytes);
                              // Metric::Interleaved: the anchor's counter
    std::string crossoverGroup;  // rows of one group are scanned for ratio 1
    double sizeValue = 0;        // the size as a number, for the crossover
    bool bytes = false;          // an interleaved pair of sizes in bytes, not seconds
};

// The short run CI makes: only the smallest size of every scenario, one
// iteration each; nothing it prints is a figure.
void SetSmoke(bool smoke);
bool Smoke();

using Body = std::function<void(benchmark::State &)>;

// Registers the two benchmarks of one comparison and returns them, so the
// caller can set their clocks and iteration counts.
struct Pair {
    benchmark::internal::Benchmark *ours;
    benchmark::internal::Benchmark *anchor;
};
Pair Register(const Comparison &comparison, Body ours, Body anchor);

// Registers the one benchmark of an interleaved comparison (named by
// oursName) and records the comparison.
benchmark::internal::Benchmark *RegisterInterleaved(const Comparison &comparison, Body both);

// Records one more comparison read from a benchmark registered already.
void AddComparison(const Comparison &comparison);

// Times one call and adds its seconds to the sum.
template <class Work>
double Timed(Work &&work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

const std::vector<Comparison> &Comparisons();

// "10,000"
std::string Grouped(long long number);

// Runs one benchmark body, turning any exception into a reported error so a
// broken scenario never takes the rest of the run down with it.
void Guarded(benchmark::State &state, const Body &body);

}  // namespace BenchPlan

}  // namespace Catraca
