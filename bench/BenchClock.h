#pragma once
// What the benchmarks measure with: this thread's CPU time, and the median of
// a set of rounds.  Standard library only, so that a benchmark linking the
// instruction-set library alone can use it.

#include <time.h>

#include <algorithm>
#include <vector>

inline double ThreadCpuNs() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}
inline double ThreadCpuUs() { return ThreadCpuNs() / 1e3; }
inline double ThreadCpuMs() { return ThreadCpuNs() / 1e6; }

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
