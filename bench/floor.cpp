// The physical floor of a single pass: copying one 1 MiB image.
#include <cstring>
#include <vector>

#include "common.h"

static void memcpy_1MiB(benchmark::State& st) {
    std::vector<char> src(1 << 20, 1), dst(1 << 20);
    for (auto _ : st) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
}
QBENCH(memcpy_1MiB);
