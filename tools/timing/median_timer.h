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
double MicrosecondsOf(Call& call) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    call();
    QueryPerformanceCounter(&end);
    return 1e6 * SecondsBetween(start, end);
}

inline double MedianOf(std::vector<double>& samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

template <typename Call>
double MedianMicroseconds(int count, Call call) {
    std::vector<double> samples;
    samples.reserve(count);
    for (int i = 0; i < count; ++i) samples.push_back(MicrosecondsOf(call));
    return MedianOf(samples);
}

struct PairedMedians {
    double first;
    double second;
};

// The medians of two calls timed in turn, `count` times each: on a machine
// whose load changes while the harness runs, both see the same load, so
// their ratio holds where two medians taken one after the other drift apart.
template <typename First, typename Second>
PairedMedians InterleavedMedianMicroseconds(int count, First first, Second second) {
    std::vector<double> firstSamples, secondSamples;
    firstSamples.reserve(count);
    secondSamples.reserve(count);
    for (int i = 0; i < count; ++i) {
        firstSamples.push_back(MicrosecondsOf(first));
        secondSamples.push_back(MicrosecondsOf(second));
    }
    return {MedianOf(firstSamples), MedianOf(secondSamples)};
}

}  // namespace sentrel::timing
