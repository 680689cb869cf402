#include "imgclass/core/pixeldata.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

namespace quenz {
namespace {

static_assert(sizeof(COMPLEX) == 2 * sizeof(float), "COMPLEX is two floats, no padding");

// Pixels as little-endian words of W bytes (uint16_t or uint32_t): one
// copy on a little-endian host, a byte swap per word on a big-endian one.
template <class W> void put_le(const void* src, unsigned char* out, std::size_t words) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, src, words * sizeof(W));
    } else {
        const auto* s = static_cast<const unsigned char*>(src);
        for (std::size_t i = 0; i < words; ++i)
            for (std::size_t k = 0; k < sizeof(W); ++k)
                out[i * sizeof(W) + k] = s[i * sizeof(W) + sizeof(W) - 1 - k];
    }
}
template <class W> void get_le(const unsigned char* in, void* dst, std::size_t words) {
    put_le<W>(in, static_cast<unsigned char*>(dst), words);  // a swap is its own inverse
}

void check_size(const char* what, std::size_t want, std::size_t n) {
    if (n != want)
        throw Error(std::string(what) + ": expected " + std::to_string(want) + " bytes, given " +
                    std::to_string(n));
}

void check_index(const char* what, const char* line, char axis, long i) {
    if (i < 0 || i >= image_size)
        throw Error(std::string(what) + ": " + line + " outside the image (" + axis + "=" +
                    std::to_string(i) + ")");
}
void check_count(const char* what, std::size_t n) {
    if (n != std::size_t(image_size))
        throw Error(std::string(what) + ": " + std::to_string(image_size) + " values expected, " +
                    std::to_string(n) + " given");
}

}  // namespace

void to_bytes(const bild16_base& b, unsigned char* out) {
    put_le<std::uint16_t>(b.data(), out, b.npixels());
}
void to_bytes(const bildfloat_base& f, unsigned char* out) {
    put_le<std::uint32_t>(f.data(), out, f.npixels());
}
void to_bytes(const bildcomplex_base& c, unsigned char* out) {
    put_le<std::uint32_t>(c.data(), out, 2 * c.npixels());
}

void from_bytes(bild16_base& b, const unsigned char* in, std::size_t n, const char* what) {
    check_size(what, image_bytes<unsigned short>, n);
    get_le<std::uint16_t>(in, b.data(), b.npixels());
}
void from_bytes(bildfloat_base& f, const unsigned char* in, std::size_t n, const char* what) {
    check_size(what, image_bytes<float>, n);
    get_le<std::uint32_t>(in, f.data(), f.npixels());
}
void from_bytes(bildcomplex_base& c, const unsigned char* in, std::size_t n, const char* what) {
    check_size(what, image_bytes<COMPLEX>, n);
    get_le<std::uint32_t>(in, c.data(), 2 * c.npixels());
}

template <class Img> std::vector<typename Img::data_t> get_row(const Img& img, const char* what, long y) {
    check_index(what, "row", 'y', y);
    return {img.row(y), img.row(y) + image_size};
}
template <class Img> std::vector<typename Img::data_t> get_col(const Img& img, const char* what, long x) {
    check_index(what, "column", 'x', x);
    std::vector<typename Img::data_t> v(image_size);
    for (int y = 0; y < image_size; ++y) v[std::size_t(y)] = img.row(y)[x];
    return v;
}
template <class Img>
void set_row(Img& img, const char* what, long y, std::span<const typename Img::data_t> v) {
    check_index(what, "row", 'y', y);
    check_count(what, v.size());
    std::copy(v.begin(), v.end(), img.row(y));
}
template <class Img>
void set_col(Img& img, const char* what, long x, std::span<const typename Img::data_t> v) {
    check_index(what, "column", 'x', x);
    check_count(what, v.size());
    for (int y = 0; y < image_size; ++y) img.row(y)[x] = v[std::size_t(y)];
}

#define QUENZ_ROWS(Img)                                                                      \
    template std::vector<Img::data_t> get_row(const Img&, const char*, long);                \
    template std::vector<Img::data_t> get_col(const Img&, const char*, long);                \
    template void set_row(Img&, const char*, long, std::span<const Img::data_t>);            \
    template void set_col(Img&, const char*, long, std::span<const Img::data_t>);
QUENZ_ROWS(bild16_base)
QUENZ_ROWS(bildfloat_base)
#undef QUENZ_ROWS

}  // namespace quenz
