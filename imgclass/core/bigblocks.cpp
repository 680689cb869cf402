#include "imgclass/core/bigblocks.h"

#include <algorithm>
#include <mutex>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace quenz {

namespace {
std::mutex m;
std::size_t live = 0;     // bytes in large blocks
std::size_t highest = 0;  // the most since the last return
std::size_t returns = 0;
}  // namespace

void big_block_taken(std::size_t bytes) noexcept {
    std::lock_guard<std::mutex> lock(m);
    live += bytes;
    highest = std::max(highest, live);
}

void big_block_freed(std::size_t bytes) noexcept {
    if (!bytes) return;
    {
        std::lock_guard<std::mutex> lock(m);
        live -= std::min(live, bytes);
        if (highest - live < big_block_slack) return;
        highest = live;
        ++returns;
    }
#ifdef __GLIBC__
    malloc_trim(0);  // (outside the lock: it walks the heap)
#endif
}

std::size_t big_block_bytes() noexcept {
    std::lock_guard<std::mutex> lock(m);
    return live;
}

std::size_t big_block_returns() noexcept {
    std::lock_guard<std::mutex> lock(m);
    return returns;
}

}  // namespace quenz
