#include "imgclass/core/samples.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <string>

#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"

namespace quenz {

namespace {

constexpr std::size_t n = std::size_t(image_size);
constexpr bool host_big = std::endian::native == std::endian::big;

template <class T> T load(const unsigned char* p, bool big) {
    using U = std::conditional_t<sizeof(T) == 1, std::uint8_t,
              std::conditional_t<sizeof(T) == 2, std::uint16_t,
              std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;
    U u;
    std::memcpy(&u, p, sizeof u);
    if (big != host_big) {
        if constexpr (sizeof(U) == 2) u = __builtin_bswap16(u);
        if constexpr (sizeof(U) == 4) u = __builtin_bswap32(u);
        if constexpr (sizeof(U) == 8) u = __builtin_bswap64(u);
    }
    return std::bit_cast<T>(u);
}

// dst[y * 512 + x] = f(sample at row y, column x).
template <class T, class D, class F> void convert(D* __restrict dst, const grey_samples& s, F f) {
    if constexpr (std::is_same_v<T, D>) {
        if (!s.transposed && (s.big_endian == host_big || sizeof(T) == 1)) {
            std::memcpy(dst, s.p, n * n * sizeof(T));
            return;
        }
    }
    for (std::size_t y = 0; y < n; ++y)
        for (std::size_t x = 0; x < n; ++x) {
            std::size_t i = s.transposed ? x * n + y : y * n + x;
            dst[y * n + x] = f(load<T>(s.p + i * sizeof(T), s.big_endian));
        }
}

}  // namespace

std::size_t sample_size(sample_kind k) {
    switch (k) {
        case sample_kind::u8: return 1;
        case sample_kind::u16: return 2;
        case sample_kind::f32: return 4;
        case sample_kind::f64: return 8;
    }
    return 0;
}

const char* sample_name(sample_kind k) {
    switch (k) {
        case sample_kind::u8: return "8-bit unsigned";
        case sample_kind::u16: return "16-bit unsigned";
        case sample_kind::f32: return "32-bit float";
        case sample_kind::f64: return "64-bit float";
    }
    return "?";
}

void require_counts(sample_kind k, const char* name) {
    if (k == sample_kind::f32 || k == sample_kind::f64)
        throw Error(std::string(name) + ": " + sample_name(k) +
                    " samples: read the file into a bildfloat");
}

void refuse_size(const char* name, unsigned long long side, long long w, long long h) {
    std::string why = std::string(name) + ": expected " + std::to_string(side) + " x " + std::to_string(side) +
                      " pixels, got " + std::to_string(w) + " x " + std::to_string(h);
    // Where a region would fit, what would read it (a binning already
    // asked for is not suggested again); a smaller file keeps the plain words.
    if (side == image_size && w >= image_size && h >= image_size)
        why += " (read a region with -roi X Y, or bin with -bin N)";
    else if (w >= (long long)side && h >= (long long)side)
        why += " (read a region with -roi X Y)";
    else if (w >= image_size && h >= image_size)
        why += " (read a region with -roi X Y, or bin with a smaller -bin N)";
    throw Error(why);
}

void require_size(long long w, long long h, const char* name) {
    if (w != image_size || h != image_size) refuse_size(name, image_size, w, h);
}

void store(bild16& img, const grey_samples& s, const char* name) {
    require_counts(s.kind, name);
    unsigned short* d = img.data();
    if (s.kind == sample_kind::u8)
        convert<std::uint8_t>(d, s, [](std::uint8_t v) { return (unsigned short)(v << 8); });
    else
        convert<unsigned short>(d, s, [](unsigned short v) { return v; });
}

void store(bildfloat& img, const grey_samples& s) {
    switch (s.kind) {
        case sample_kind::u8:
        case sample_kind::u16: {
            // Exactly the conversion of `bildfloat f $b`.
            bild16 counts;
            store(counts, s, "");
            img.from_bild16(counts);
            return;
        }
        case sample_kind::f32:
            convert<float>(img.data(), s, [](float v) { return v; });
            return;
        case sample_kind::f64:
            convert<double>(img.data(), s, [](double v) { return float(v); });
            return;
    }
}

}  // namespace quenz
