// The resident worker threads behind parallel_for.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>

#include "imgclass/system/parallel.h"

namespace quenz::detail {
namespace {

class Workers {
public:
    explicit Workers(int n) {
        std::lock_guard lock(m_);
        for (int i = 0; i < n; ++i) {
            try {
                std::thread([this, i] { serve(i + 1); }).detach();
            } catch (const std::system_error&) {
                break;  // fewer threads: kernels needing more run serially
            }
            ++threads_;
        }
    }

    bool run(void (*part)(void*, int), void* ctx, int parts) {
        if (parts - 1 > threads_ || busy_.exchange(true)) return false;
        {
            std::lock_guard lock(m_);
            part_ = part;
            ctx_ = ctx;
            parts_ = parts;
            pending_ = threads_;
            ++generation_;
        }
        wake_.notify_all();
        part(ctx, 0);
        {
            std::unique_lock lock(m_);
            done_.wait(lock, [this] { return pending_ == 0; });
        }
        busy_ = false;
        return true;
    }

private:
    void serve(int w) {
        unsigned long seen = 0;
        for (;;) {
            std::unique_lock lock(m_);
            wake_.wait(lock, [&] { return generation_ != seen; });
            seen = generation_;
            auto part = part_;
            void* ctx = ctx_;
            bool mine = w < parts_;
            lock.unlock();
            if (mine) part(ctx, w);  // parts catch their own exceptions
            lock.lock();
            if (--pending_ == 0) done_.notify_one();
        }
    }

    std::atomic<bool> busy_{false};  // one kernel at a time on the workers
    std::mutex m_;
    std::condition_variable wake_, done_;
    void (*part_)(void*, int) = nullptr;
    void* ctx_ = nullptr;
    int parts_ = 0, pending_ = 0, threads_ = 0;
    unsigned long generation_ = 0;
};

Workers* workers() {
    // Made on first use and never destroyed: the detached threads wait on
    // it until the process ends.
    static Workers* w = new Workers(int(worker_count()) - 1);
    return w;
}

}  // namespace

bool run_on_workers(void (*part)(void*, int), void* ctx, int parts) {
    Workers* w = workers();
    return w && w->run(part, ctx, parts);
}

}  // namespace quenz::detail
