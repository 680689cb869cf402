#include "imgclass/analysis/value_counts.h"

#include <cstring>

namespace quenz {

value_counts::value_counts(const bild16_base& b, const rect& r) : c_(new std::uint32_t[2 * 65536]) {
    // Two tables, for the even and the odd columns: neighbouring pixels of
    // equal value then do not wait on each other's increment.
    std::uint32_t* even = c_.get();
    std::uint32_t* odd = even + 65536;
    std::memset(even, 0, 2 * 65536 * sizeof(std::uint32_t));
    for (int y = r.y1; y <= r.y2; ++y) {
        const unsigned short* row = b.row(y);
        int x = r.x1;
        for (; x < r.x2; x += 2) {
            ++even[row[x]];
            ++odd[row[x + 1]];
        }
        if (x == r.x2) ++even[row[x]];
    }
    for (int v = 0; v < 65536; ++v) even[v] += odd[v];
}

}  // namespace quenz
