#include <cmath>
#include <string>

#include "stats.h"
#include "value_counts.h"

namespace quenz {

bin_rule::bin_rule(const char* what, int nbins, double low_, double high_)
    : n(nbins), low(low_), high(high_), step((high_ - low_) / nbins), norm(nbins / (high_ - low_)) {
    if (nbins < 1 || nbins > 65536)
        throw Error(std::string(what) + ": nbins must lie in 1..65536 (nbins=" +
                    std::to_string(nbins) + ")");
    if (!std::isfinite(low) || !std::isfinite(high) || !(low < high) || !std::isfinite(high - low))
        throw Error(std::string(what) + ": low must be below high, both finite (low=" +
                    number_text(low) + ", high=" + number_text(high) + ")");
}

std::vector<std::uint32_t> histogram(const bild16_base& b, const bin_rule& rule, const rect& r) {
    std::vector<std::uint32_t> h(std::size_t(rule.n), 0);
    if (r.area() < 16384) {
        for (int y = r.y1; y <= r.y2; ++y)
            for (int x = r.x1; x <= r.x2; ++x)
                if (int i = rule.bin(b.rows[y][x]); i >= 0) ++h[std::size_t(i)];
        return h;
    }
    // A large rectangle: count each value once, then place the values.
    value_counts c(b, r);
    const int first = int(std::max(0.0, std::ceil(rule.low)));
    const int last = int(std::min(65535.0, std::floor(rule.high)));
    for (int v = first; v <= last; ++v)
        if (c[unsigned(v)] != 0)
            if (int i = rule.bin(v); i >= 0) h[std::size_t(i)] += c[unsigned(v)];
    return h;
}

std::vector<std::uint32_t> histogram(const bildfloat_base& f, const bin_rule& rule, const rect& r) {
    std::vector<std::uint32_t> h(std::size_t(rule.n), 0);
    for (int y = r.y1; y <= r.y2; ++y) {
        const float* row = f.rows[y];
        for (int x = r.x1; x <= r.x2; ++x)
            if (int i = rule.bin(row[x]); i >= 0) ++h[std::size_t(i)];
    }
    return h;
}

}  // namespace quenz
