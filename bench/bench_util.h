#pragma once

// Timing helpers shared by the benchmarks.

#include "paradox/table.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

inline void check(const paradox::Status& st)
{
    if (!st.isOk()) {
        std::fprintf(stderr, "%s\n", st.message().c_str());
        std::exit(1);
    }
}

inline paradox::Value value(paradox::Value::Kind kind, std::int64_t v)
{
    paradox::Value x;
    x.kind = kind;
    x.integer = v;
    return x;
}

// The median of five reads of the whole file into a buffer that is already
// in memory; the baseline the figures are divided by.
inline double sequentialReadMs(const std::string& path)
{
    std::vector<double> runs;
    std::vector<char> buffer(std::filesystem::file_size(path));
    for (int r = 0; r < 5; ++r) {
        const auto start = Clock::now();
        std::ifstream in(path, std::ios::binary);
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        runs.push_back(msSince(start));
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

} // namespace bench
