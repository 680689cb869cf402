#include "imgclass/formats/region.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"
#include "imgclass/core/samples.h"
#include "imgclass/formats/format.h"
#include "imgclass/system/error.h"

namespace quenz {

namespace {

constexpr std::uint64_t n = std::uint64_t(image_size);

constexpr FormatOption options[] = {bin_option, roi_option};

template <class T> T load(const unsigned char* p, bool big) {
    using U = std::conditional_t<sizeof(T) == 1, std::uint8_t,
              std::conditional_t<sizeof(T) == 2, std::uint16_t,
              std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;
    U u;
    std::memcpy(&u, p, sizeof u);
    if (big != (std::endian::native == std::endian::big)) {
        if constexpr (sizeof(U) == 2) u = __builtin_bswap16(u);
        if constexpr (sizeof(U) == 4) u = __builtin_bswap32(u);
        if constexpr (sizeof(U) == 8) u = __builtin_bswap64(u);
    }
    return std::bit_cast<T>(u);
}

template <class T, class F>
void convert(const unsigned char* p, bool big, std::size_t count, std::size_t stride, double* out, F f) {
    for (std::size_t i = 0; i < count; ++i) out[i] = f(load<T>(p + i * stride * sizeof(T), big));
}

// Sums each block of the window's bands into `done(i, sums)` for output row i.
template <class Row> void bin_rows(const Window& w, const BandReader& band, Row done) {
    const std::size_t side = std::size_t(w.side);
    std::vector<double> rows(side * w.bin), sums(n);
    for (std::uint64_t i = 0; i < n; ++i) {
        band(i * w.bin, w.bin, rows.data());
        std::fill(sums.begin(), sums.end(), 0.0);
        // Row by row, left to right: each block's sum in its row order.
        for (unsigned r = 0; r < w.bin; ++r) {
            const double* src = rows.data() + r * side;
            for (std::uint64_t j = 0; j < n; ++j)
                for (unsigned c = 0; c < w.bin; ++c) sums[j] += src[j * w.bin + c];
        }
        done(i, sums.data());
    }
}

}  // namespace

std::span<const FormatOption> region_options() { return options; }

Region region_of(const FormatOptions& o) {
    Region r;
    if (auto b = o.number("bin")) {
        if (*b < 1 || *b > max_bin)
            throw Error("bad value \"" + std::string(*o.word("bin")) + "\" for -bin: must be a whole number from 1 to " +
                        std::to_string(max_bin));
        r.bin = unsigned(*b);
    }
    if (auto xy = o.numbers("roi")) {
        r.roi = true;
        r.x = (*xy)[0];
        r.y = (*xy)[1];
    }
    return r;
}

Window place(const char* name, std::uint64_t width, std::uint64_t height, const Region& r) {
    const std::uint64_t side = n * r.bin;
    if (!r.roi) {
        if (width == side && height == side) return {0, 0, side, r.bin};
        refuse_size(name, side, (long long)std::min<std::uint64_t>(width, INT64_MAX),
                    (long long)std::min<std::uint64_t>(height, INT64_MAX));
    }
    if (r.x > width || r.y > height || width - r.x < side || height - r.y < side)
        refuse(name, "a region of " + std::to_string(side) + " x " + std::to_string(side) + " pixels at column " +
                         std::to_string(r.x) + ", row " + std::to_string(r.y) + " lies outside the file's " +
                         std::to_string(width) + " x " + std::to_string(height) + " pixels");
    return {r.x, r.y, side, r.bin};
}

void sample_values(sample_kind k, bool big, bool counts, const unsigned char* p, std::size_t count, double* out,
                   std::size_t stride) {
    constexpr double inv = 1.0 / 65535.0;  // as bildfloat's conversion of counts
    switch (k) {
        case sample_kind::u8:
            if (counts)
                convert<std::uint8_t>(p, big, count, stride, out, [](std::uint8_t v) { return double(v << 8); });
            else
                convert<std::uint8_t>(p, big, count, stride, out,
                                      [](std::uint8_t v) { return double(v << 8) * inv; });
            return;
        case sample_kind::u16:
            if (counts)
                convert<std::uint16_t>(p, big, count, stride, out, [](std::uint16_t v) { return double(v); });
            else
                convert<std::uint16_t>(p, big, count, stride, out, [](std::uint16_t v) { return double(v) * inv; });
            return;
        case sample_kind::f32:
            convert<float>(p, big, count, stride, out, [](float v) { return double(v); });
            return;
        case sample_kind::f64:
            convert<double>(p, big, count, stride, out, [](double v) { return v; });
            return;
    }
}

void read_binned(bild16& img, const Window& w, const BandReader& band) {
    const std::uint64_t area = std::uint64_t(w.bin) * w.bin;
    std::vector<unsigned short> out(n * n);
    bin_rows(w, band, [&](std::uint64_t i, const double* sums) {
        for (std::uint64_t j = 0; j < n; ++j)
            out[i * n + j] = (unsigned short)((std::uint64_t(sums[j]) + area / 2) / area);
    });
    std::memcpy(img.data(), out.data(), out.size() * sizeof(unsigned short));
}

void read_binned(bildfloat& img, const Window& w, const BandReader& band) {
    const double area = double(w.bin) * w.bin;
    std::vector<float> out(n * n);
    bin_rows(w, band, [&](std::uint64_t i, const double* sums) {
        for (std::uint64_t j = 0; j < n; ++j) out[i * n + j] = float(sums[j] / area);
    });
    std::memcpy(img.data(), out.data(), out.size() * sizeof(float));
}

}  // namespace quenz
