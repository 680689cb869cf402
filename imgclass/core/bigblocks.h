// Large blocks (image pixels, curve tables, fit coefficients) and giving
// their memory back to the system.
//
// The C library keeps freed blocks for reuse: a process that once held a
// hundred images keeps their 50 MB for ever, although it holds none now.
// So the library counts the bytes of its large blocks; when they have
// fallen by `slack` below their highest level since the last return, the
// free memory goes back to the system (malloc_trim). Making and freeing one
// image after another never triggers it: that reuse stays free of page
// faults.
#pragma once
#include <cstddef>

namespace quenz {

inline constexpr std::size_t big_block_slack = std::size_t(8) << 20;

void big_block_taken(std::size_t bytes) noexcept;
void big_block_freed(std::size_t bytes) noexcept;
// Bytes in large blocks now, and the number of returns so far (for tests).
std::size_t big_block_bytes() noexcept;
std::size_t big_block_returns() noexcept;

// The accounting of a block owned by a member: declared before the member,
// so that the count falls after the member's memory is freed.
class BigBlock {
public:
    BigBlock() = default;
    BigBlock(const BigBlock& o) noexcept : bytes_(o.bytes_) { big_block_taken(bytes_); }
    BigBlock& operator=(const BigBlock& o) noexcept {
        resize(o.bytes_);
        return *this;
    }
    ~BigBlock() { big_block_freed(bytes_); }
    void resize(std::size_t bytes) noexcept {
        if (bytes > bytes_) big_block_taken(bytes - bytes_);
        if (bytes < bytes_) big_block_freed(bytes_ - bytes);
        bytes_ = bytes;
    }

private:
    std::size_t bytes_ = 0;
};

}  // namespace quenz
