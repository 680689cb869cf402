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

namespace detail {
// Runs part(ctx, w) for w = 1 .. parts-1 on the resident worker threads
// while the caller runs part 0, and returns when all are done. Returns
// false without running anything when the workers are busy (another
// thread's kernel, or a kernel inside a kernel) or cannot be started; the
// caller then runs every part itself. Starting a thread costs far more
// than most kernels on a loaded machine, so the threads are kept.
bool run_on_workers(void (*part)(void* ctx, int w), void* ctx, int parts);
}  // namespace detail

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
    struct Job {
        F& f;
        int begin, n, workers;
        std::vector<std::exception_ptr> errors;
        int range(int w) const { return begin + int((long long)n * w / workers); }
        static void part(void* ctx, int w) {
            auto* j = static_cast<Job*>(ctx);
            try {
                j->f(j->range(w), j->range(w + 1));
            } catch (...) {
                j->errors[w] = std::current_exception();
            }
        }
    } job{f, begin, n, workers, std::vector<std::exception_ptr>(workers)};
    if (!detail::run_on_workers(&Job::part, &job, workers))
        for (int w = 0; w < workers; ++w) Job::part(&job, w);
    for (auto& e : job.errors)
        if (e) std::rethrow_exception(e);
}

}  // namespace quenz
