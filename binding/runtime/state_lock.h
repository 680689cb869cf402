// The lock over the binding's process-wide state (the registry, the
// ownership table, the object commands' records). It is held for a hash
// lookup or two, twice in every call (the call's objects are pinned, then
// released), so it is a spin lock: an uncontended lock and unlock cost one
// atomic exchange, where a mutex costs two atomic operations and a
// function call each. A waiter spins briefly, then yields its core.
#pragma once
#include <atomic>
#include <thread>

#if __has_include(<valgrind/helgrind.h>)
#include <valgrind/helgrind.h>
#define QB_HG_ACTIVE() (RUNNING_ON_VALGRIND != 0)
#define QB_HG_CREATE(l) ANNOTATE_RWLOCK_CREATE(l)
#define QB_HG_ACQUIRED(l) ANNOTATE_RWLOCK_ACQUIRED(l, 1)
#define QB_HG_RELEASED(l) ANNOTATE_RWLOCK_RELEASED(l, 1)
#define QB_HG_UNCHECKED(p, n) VALGRIND_HG_DISABLE_CHECKING(p, n)
#else
#define QB_HG_ACTIVE() false
#define QB_HG_CREATE(l)
#define QB_HG_ACQUIRED(l)
#define QB_HG_RELEASED(l)
#define QB_HG_UNCHECKED(p, n)
#endif

namespace qb {

class StateLock {
public:
    // Helgrind is told it is a lock, and that the flag itself is the
    // lock's own business, not a race; only under valgrind, so that a call
    // elsewhere pays for no client requests.
    StateLock() : told_(QB_HG_ACTIVE()) {
        if (!told_) return;
        QB_HG_CREATE(this);
        QB_HG_UNCHECKED(&busy_, sizeof busy_);
    }
    StateLock(const StateLock&) = delete;
    StateLock& operator=(const StateLock&) = delete;
    void lock() noexcept {
        while (busy_.exchange(true, std::memory_order_acquire))
            for (int spins = 0; busy_.load(std::memory_order_relaxed); ++spins) {
                if (spins < 64)
                    relax();
                else
                    std::this_thread::yield();
            }
        if (told_) QB_HG_ACQUIRED(this);
    }
    void unlock() noexcept {
        if (told_) QB_HG_RELEASED(this);
        busy_.store(false, std::memory_order_release);
    }

private:
    static void relax() noexcept {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#elif defined(__aarch64__)
        asm volatile("yield");
#endif
    }
    std::atomic<bool> busy_{false};
    const bool told_;  // helgrind (or another valgrind tool) is watching
};

}  // namespace qb
