#pragma once

#include "BenchPlan.h"

#include <string>
#include <vector>

namespace Catraca {

// The table sizes every scenario runs at; a smoke run takes the first only.
inline std::vector<int> CacheSizes()
{
    if (BenchPlan::Smoke())
        return {100};
    return {100, 10000, 100000};
}

inline std::string RowsLabel(long long rows) { return "N = " + BenchPlan::Grouped(rows); }

// Repetitions make the median stand for a short benchmark; long ones run once.
inline int RepetitionsFor(double expectedSeconds)
{
    if (BenchPlan::Smoke() || expectedSeconds > 0.05)
        return 1;
    return 5;
}

}  // namespace Catraca
