// The fixed-size image container: one contiguous row-major block of
// pixels, reached through row(y) and data().
#pragma once
#include <algorithm>
#include <memory>
#include <string>
#include <valarray>

#include "imgclass/core/bigblocks.h"
#include "imgclass/core/constants.h"
#include "imgclass/system/error.h"

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
    // The size is the type's: loops take it as a bound the compiler knows.
    static constexpr int SIZEX = SX;
    static constexpr int SIZEY = SY;

    // New images start at zero, so nothing a script reads is left over
    // from earlier memory.
    imgbase() : imgbase(quenz::no_init) { std::fill(data(), data() + npixels(), T()); }
    // For constructors that write every pixel themselves: saves a pass.
    explicit imgbase(quenz::no_init_t) : px_(std::make_unique_for_overwrite<T[]>(npixels())) {
        quenz::big_block_taken(bytes);
    }
    imgbase(const imgbase& o) : imgbase(quenz::no_init) { copy_pixels(o); }
    imgbase& operator=(const imgbase& o) {
        if (this != &o) copy_pixels(o);
        return *this;
    }
    // A moved-from image has no pixels: it may only be destroyed or
    // assigned to.
    imgbase(imgbase&& o) noexcept : px_(std::move(o.px_)) {}
    imgbase& operator=(imgbase&& o) noexcept {
        swap(o);
        return *this;
    }
    void swap(imgbase& o) noexcept { px_.swap(o.px_); }
    ~imgbase() {
        if (!px_) return;
        px_.reset();
        quenz::big_block_freed(bytes);
    }

    T get(int y, int x) const { return row(y)[x]; }
    void set(int y, int x, T val) { row(y)[x] = val; }

    T* row(int y) { return px_.get() + std::size_t(y) * SX; }
    const T* row(int y) const { return px_.get() + std::size_t(y) * SX; }
    T* data() { return px_.get(); }
    const T* data() const { return px_.get(); }
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

private:
    static constexpr std::size_t bytes = std::size_t(SX) * SY * sizeof(T);
    std::unique_ptr<T[]> px_;  // SY rows of SX pixels, row-major
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
