// parallel_for on the resident workers: the same ranges as a serial split,
// every index exactly once, errors passed on, and callers that find the
// workers busy (nested or from another thread) still get all their work.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "imgclass/system/parallel.h"

namespace {

std::vector<int> cover(int begin, int end, int min_chunk) {
    std::vector<std::atomic<int>> hits(std::size_t(end > begin ? end - begin : 0));
    quenz::parallel_for(
        begin, end,
        [&](int lo, int hi) {
            for (int i = lo; i < hi; ++i) hits[std::size_t(i - begin)]++;
        },
        min_chunk);
    return std::vector<int>(hits.begin(), hits.end());
}

TEST(Parallel, EveryIndexExactlyOnce) {
    for (int n : {0, 1, 15, 16, 17, 511, 512, 65536}) {
        auto h = cover(3, 3 + n, 16);
        for (int i = 0; i < n; ++i) ASSERT_EQ(h[std::size_t(i)], 1) << "n=" << n << " i=" << i;
    }
}

TEST(Parallel, RangesAreTheSerialSplit) {
    // Results may depend on the split only through these ranges.
    std::mutex m;
    std::vector<std::pair<int, int>> got;
    quenz::parallel_for(0, 512, [&](int lo, int hi) {
        std::lock_guard lock(m);
        got.emplace_back(lo, hi);
    });
    std::sort(got.begin(), got.end());
    int w = int(got.size());
    ASSERT_EQ(w, int(std::min(quenz::worker_count(), 32u)));
    for (int i = 0; i < w; ++i) {
        EXPECT_EQ(got[std::size_t(i)].first, 512 * i / w);
        EXPECT_EQ(got[std::size_t(i)].second, 512 * (i + 1) / w);
    }
}

TEST(Parallel, AnErrorReachesTheCallerAfterAllParts) {
    std::atomic<int> done{0};
    EXPECT_THROW(quenz::parallel_for(0, 512,
                                     [&](int lo, int) {
                                         done++;
                                         if (lo > 0) throw std::runtime_error("part failed");
                                     }),
                 std::runtime_error);
    EXPECT_EQ(done.load(), int(std::min(quenz::worker_count(), 32u)));
    // The workers are free again.
    EXPECT_EQ(cover(0, 1000, 1).size(), 1000u);
}

TEST(Parallel, NestedAndConcurrentCallersGetAllTheirWork) {
    std::atomic<long> sum{0};
    auto kernel = [&] {
        quenz::parallel_for(0, 64, [&](int lo, int hi) {
            quenz::parallel_for(lo * 100, hi * 100, [&](int a, int b) {
                for (int i = a; i < b; ++i) sum += i;
            }, 1);
        }, 1);
    };
    std::vector<std::thread> callers;
    for (int t = 0; t < 4; ++t) callers.emplace_back([&] {
        for (int r = 0; r < 50; ++r) kernel();
    });
    for (auto& t : callers) t.join();
    EXPECT_EQ(sum.load(), 4L * 50 * (6400L * 6399 / 2));
}

}  // namespace
