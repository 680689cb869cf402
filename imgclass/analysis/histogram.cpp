#include <cmath>
#include <string>

#include "imgclass/analysis/stats.h"
#include "imgclass/analysis/value_counts.h"

namespace quenz {

bin_rule::bin_rule(const char* what, int nbins, double low_, double high_)
    : n(nbins), low(low_), high(high_), step(0), norm(0), wide(false), plain(false) {
    if (nbins < 1 || nbins > 65536)
        throw Error(std::string(what) + ": nbins must lie in 1..65536 (nbins=" +
                    std::to_string(nbins) + ")");
    if (!std::isfinite(low) || !std::isfinite(high) || !(low < high))
        throw Error(std::string(what) + ": low must be below high, both finite (low=" +
                    number_text(low) + ", high=" + number_text(high) + ")");
    wide = !std::isfinite(high - low);
    step = wide ? (high / 2 - low / 2) / nbins : (high - low) / nbins;
    norm = nbins / (high - low);
    // A normal step keeps the estimate within one bin; a subnormal or zero
    // one (or an infinite norm) does not.
    plain = !wide && std::isnormal(step) && std::isfinite(norm);
}

int bin_rule::search(double v) const {
    // The edges never decrease: the last i in 0..n-1 with e_i <= v (e_0 = low <= v).
    int lo = 0, hi = n - 1;
    while (lo < hi) {
        int mid = lo + (hi - lo + 1) / 2;
        if (edge(mid) <= v)
            lo = mid;
        else
            hi = mid - 1;
    }
    return lo;
}

std::vector<std::uint32_t> histogram(const bild16_base& b, const bin_rule& rule, const rect& r) {
    std::vector<std::uint32_t> h(std::size_t(rule.n), 0);
    if (r.area() < 16384) {
        for (int y = r.y1; y <= r.y2; ++y)
            for (int x = r.x1; x <= r.x2; ++x)
                if (int i = rule.bin(b.row(y)[x]); i >= 0) ++h[std::size_t(i)];
        return h;
    }
    // A large rectangle: count each value once, then place the values.
    value_counts c(b, r);
    // Clamped before the conversion: a bound far outside 0..65535 has no int.
    const int first = rule.low <= 0 ? 0 : rule.low > 65535 ? 65536 : int(std::ceil(rule.low));
    const int last = rule.high >= 65535 ? 65535 : rule.high < 0 ? -1 : int(std::floor(rule.high));
    for (int v = first; v <= last; ++v)
        if (c[unsigned(v)] != 0)
            if (int i = rule.bin(v); i >= 0) h[std::size_t(i)] += c[unsigned(v)];
    return h;
}

std::vector<std::uint32_t> histogram(const bildfloat_base& f, const bin_rule& rule, const rect& r) {
    std::vector<std::uint32_t> h(std::size_t(rule.n), 0);
    for (int y = r.y1; y <= r.y2; ++y) {
        const float* row = f.row(y);
        for (int x = r.x1; x <= r.x2; ++x)
            if (int i = rule.bin(row[x]); i >= 0) ++h[std::size_t(i)];
    }
    return h;
}

}  // namespace quenz
