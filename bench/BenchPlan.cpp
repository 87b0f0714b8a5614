#include "BenchPlan.h"

#include "cache/base/Exceptions.h"

#include <exception>
#include <utility>

namespace Catraca {

namespace BenchPlan {
namespace {

bool smokeRun = false;

std::vector<Comparison> &AllComparisons()
{
    static std::vector<Comparison> comparisons;
    return comparisons;
}

std::string MessageOf(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const Exception &failure) {
        return failure.Message().toStdString();
    } catch (const std::exception &failure) {
        return failure.what();
    } catch (...) {
        return "unknown exception";
    }
}

}  // namespace

void SetSmoke(bool smoke) { smokeRun = smoke; }
bool Smoke() { return smokeRun; }

Pair Register(const Comparison &comparison, Body ours, Body anchor)
{
    AllComparisons().push_back(comparison);
    auto *oursBenchmark = benchmark::RegisterBenchmark(
        comparison.oursName.c_str(),
        [body = std::move(ours)](benchmark::State &state) { Guarded(state, body); });
    auto *anchorBenchmark = benchmark::RegisterBenchmark(
        comparison.anchorName.c_str(),
        [body = std::move(anchor)](benchmark::State &state) { Guarded(state, body); });
    if (comparison.metric == Metric::RealTime) {
        oursBenchmark->UseRealTime();
        anchorBenchmark->UseRealTime();
    }
    if (comparison.metric == Metric::ManualTime) {
        oursBenchmark->UseManualTime();
        anchorBenchmark->UseManualTime();
    }
    if (smokeRun) {
        oursBenchmark->Iterations(1);
        anchorBenchmark->Iterations(1);
    }
    return {oursBenchmark, anchorBenchmark};
}

benchmark::internal::Benchmark *RegisterInterleaved(const Comparison &comparison, Body both)
{
    AllComparisons().push_back(comparison);
    auto *registered = benchmark::RegisterBenchmark(
        comparison.oursName.c_str(),
        [body = std::move(both)](benchmark::State &state) { Guarded(state, body); });
    registered->UseManualTime();
    if (smokeRun)
        registered->Iterations(1);
    return registered;
}

void AddComparison(const Comparison &comparison) { AllComparisons().push_back(comparison); }

const std::vector<Comparison> &Comparisons() { return AllComparisons(); }

std::string Grouped(long long number)
{
    const std::string digits = std::to_string(number);
    std::string grouped;
    for (size_t at = 0; at < digits.size(); ++at) {
        const size_t left = digits.size() - at;
        if (at > 0 && left % 3 == 0 && digits[at - 1] != '-')
            grouped += ',';
        grouped += digits[at];
    }
    return grouped;
}

void Guarded(benchmark::State &state, const Body &body)
{
    try {
        body(state);
    } catch (...) {
        const std::string message = MessageOf(std::current_exception());
        // The library accepts a body that stops early once an error is set.
        state.SkipWithError(message.c_str());
    }
}

}  // namespace BenchPlan

}  // namespace Catraca
