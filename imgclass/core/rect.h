// Rectangles of an image: column/row corners x1 y1 x2 y2, inclusive, in
// any order. Every command that takes one checks it the same way.
#pragma once
#include <string>
#include <utility>

#include "imgclass/core/constants.h"
#include "imgclass/system/error.h"

namespace quenz {

struct rect {
    int x1, y1, x2, y2;  // x1 <= x2, y1 <= y2, all inside the image
    static rect whole() { return {0, 0, image_size - 1, image_size - 1}; }
    long width() const { return long(x2) - x1 + 1; }
    long height() const { return long(y2) - y1 + 1; }
    long area() const { return width() * height(); }
};

// The rectangle between two corners, exchanged into order. A coordinate
// outside 0..511 throws "Index error: <what> x1=.. x2=.. y1=.. y2=..".
inline rect checked_rect(const char* what, int x1, int y1, int x2, int y2) {
    auto ok = [](int v) { return v >= 0 && v < image_size; };
    if (!ok(x1) || !ok(x2) || !ok(y1) || !ok(y2))
        throw Error(std::string("Index error: ") + what + " x1=" + std::to_string(x1) +
                    " x2=" + std::to_string(x2) + " y1=" + std::to_string(y1) +
                    " y2=" + std::to_string(y2));
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    return {x1, y1, x2, y2};
}

}  // namespace quenz
