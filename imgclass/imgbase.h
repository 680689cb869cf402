// The fixed-size image container: one contiguous row-major block of
// pixels plus a row table into it.
#pragma once
#include <algorithm>
#include <memory>
#include <string>
#include <valarray>

#include "bigblocks.h"
#include "constants.h"
#include "error.h"

namespace quenz {
struct no_init_t {
    explicit no_init_t() = default;
};
inline constexpr no_init_t no_init{};
}  // namespace quenz

template <int SX, int SY, class T>
class imgbase {
public:
    using data_t = T;
    int SIZEX = SX;
    int SIZEY = SY;
    T** rows;

    // New images start at zero, so nothing a script reads is left over
    // from earlier memory.
    imgbase() : imgbase(quenz::no_init) { std::fill(data(), data() + npixels(), T()); }
    // For constructors that write every pixel themselves: saves a pass.
    explicit imgbase(quenz::no_init_t) : rows(new T*[SY]) {
        try {
            rows[0] = new T[npixels()];
        } catch (...) {
            delete[] rows;
            throw;
        }
        for (int y = 1; y < SY; ++y) rows[y] = rows[0] + std::size_t(y) * SX;
        quenz::big_block_taken(npixels() * sizeof(T));
    }
    imgbase(const imgbase& o) : imgbase(quenz::no_init) { copy_pixels(o); }
    imgbase& operator=(const imgbase& o) {
        if (this != &o) copy_pixels(o);
        return *this;
    }
    ~imgbase() {
        delete[] rows[0];
        delete[] rows;
        quenz::big_block_freed(npixels() * sizeof(T));
    }

    T get(int y, int x) const { return rows[y][x]; }
    void set(int y, int x, T val) { rows[y][x] = val; }

    T* data() { return rows[0]; }
    const T* data() const { return rows[0]; }
    static constexpr std::size_t npixels() { return std::size_t(SX) * SY; }

    static bool inside(long y, long x) { return y >= 0 && y < SY && x >= 0 && x < SX; }
    // Refuses coordinates outside the image instead of touching foreign memory.
    static void check_yx(const char* what, long y, long x) {
        if (!inside(y, x))
            throw quenz::Error(std::string(what) + ": coordinates outside the image (y=" +
                               std::to_string(y) + ", x=" + std::to_string(x) + ")");
    }

protected:
    void copy_pixels(const imgbase& o) { std::copy(o.data(), o.data() + npixels(), data()); }
};

struct COMPLEX {
    float re = 0.0f;
    float im = 0.0f;
};

using bild16_base = imgbase<512, 512, unsigned short>;
using bildfloat_base = imgbase<512, 512, float>;
using bildcomplex_base = imgbase<512, 512, COMPLEX>;
using region_t = imgbase<512, 512, bool>;
using region_base = region_t;
using lut = std::valarray<float>;
using interpol_base = imgbase<512, 512, lut>;
