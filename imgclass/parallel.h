// Splits independent rows (or pixels) of a heavy kernel across the cores.
// Each worker gets one contiguous range, so results do not depend on the
// number of threads.
#pragma once
#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

namespace quenz {

inline unsigned worker_count() {
    unsigned n = std::thread::hardware_concurrency();
    return std::clamp(n, 1u, 8u);
}

// Calls f(lo, hi) on disjoint ranges covering [begin, end).
template <class F>
void parallel_for(int begin, int end, F&& f, int min_chunk = 16) {
    int n = end - begin;
    if (n <= 0) return;
    int workers = int(std::min<unsigned>(worker_count(), unsigned(std::max(1, n / min_chunk))));
    if (workers <= 1) {
        f(begin, end);
        return;
    }
    std::vector<std::thread> threads;
    std::vector<std::exception_ptr> errors(workers);
    auto range = [&](int w) { return begin + int((long long)n * w / workers); };
    for (int w = 1; w < workers; ++w)
        threads.emplace_back([&, w] {
            try {
                f(range(w), range(w + 1));
            } catch (...) {
                errors[w] = std::current_exception();
            }
        });
    try {
        f(range(0), range(1));
    } catch (...) {
        errors[0] = std::current_exception();
    }
    for (auto& t : threads) t.join();
    for (auto& e : errors)
        if (e) std::rethrow_exception(e);
}

}  // namespace quenz
