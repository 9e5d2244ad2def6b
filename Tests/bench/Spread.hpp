// Min, median and max of a benchmark's rounds, and whether a figure met its target.
#pragma once

#include <algorithm>
#include <vector>

struct Spread {
    double min = 0;
    double median = 0;
    double max = 0;
};

inline Spread SpreadOf(std::vector<double> values)
{
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return {values.front(), n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2, values.back()};
}

// Ends a target line: whether this run's figure met the target.
inline const char* Verdict(bool met)
{
    return met ? "met" : "missed";
}
