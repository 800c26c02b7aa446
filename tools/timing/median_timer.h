// The median wall time of a call, in microseconds, over `count` calls: what
// the timing harnesses print.
#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

namespace sentrel::timing {

inline double SecondsBetween(const LARGE_INTEGER& start, const LARGE_INTEGER& end) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename Call>
double MedianMicroseconds(int count, Call call) {
    std::vector<double> samples;
    samples.reserve(count);
    for (int i = 0; i < count; ++i) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        call();
        QueryPerformanceCounter(&end);
        samples.push_back(1e6 * SecondsBetween(start, end));
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

}  // namespace sentrel::timing
