#pragma once

// What every benchmark program prints for bench/run.sh: besides its own lines
// of explanation, one tab-separated line per figure,
//   RESULT <row> <measure> <figure> <baseline> <ratio> <target> <verdict>
// ("-" where a column does not apply), which run.sh gathers into its table.

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

inline double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// The median of the ratios of runs taken side by side (a[i] / b[i]): steadier
// than the ratio of the medians when the machine's load drifts.
inline double MedianRatio(const std::vector<double> &a, const std::vector<double> &b)
{
    std::vector<double> r;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (b[i] > 0)
            r.push_back(a[i] / b[i]);
    return Median(r);
}

inline void PrintResult(int row, const std::string &measure, const std::string &figure,
                        const std::string &baseline, const std::string &ratio,
                        const std::string &target, const std::string &verdict)
{
    std::printf("RESULT\t%d\t%s\t%s\t%s\t%s\t%s\t%s\n", row, measure.c_str(), figure.c_str(),
                baseline.c_str(), ratio.c_str(), target.c_str(), verdict.c_str());
    std::fflush(stdout);
}

inline std::string Fixed(double value, int decimals)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

inline std::string Verdict(bool met)
{
    return met ? "met" : "MISSED";
}
