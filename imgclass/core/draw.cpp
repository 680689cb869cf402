// Marks in an exposure: lines and crosses that invert the pixels they cover
// (c -> 65535 - c), so drawing the same mark twice restores the image.
// Every check comes before the first pixel changes.
#include <algorithm>
#include <string>
#include <utility>

#include "imgclass/core/bild16.h"

namespace {

// The pixels first..last (exchanged if reversed, then clipped to
// 0..along_size-1) of the line at `at` across the image, as the range to
// invert. A line at a coordinate outside 0..at_size-1, or one that misses
// the image, is refused with the command's name and the coordinates, named
// by the axis letters.
std::pair<int, int> clip_line(const char* cmd, char axis, int at, int at_size, int first, int last,
                              int along_size) {
    const std::string a(1, axis), b(1, axis == 'x' ? 'y' : 'x');
    if (first > last) std::swap(first, last);
    if (at < 0 || at >= at_size)
        throw quenz::Error(cmd + (": " + a) + " out of range (" + a + "=" + std::to_string(at) + ")");
    if (last < 0 || first >= along_size)
        throw quenz::Error(cmd + (": line outside image (" + b) + "1=" + std::to_string(first) + ", " +
                           b + "2=" + std::to_string(last) + ")");
    return {std::max(first, 0), std::min(last, along_size - 1)};
}

}  // namespace

bild16& bild16::drawx(int x, int y1, int y2) {
    auto [lo, hi] = clip_line("drawx", 'x', x, SIZEX, y1, y2, SIZEY);
    for (int y = lo; y <= hi; ++y) row(y)[x] = (unsigned short)~row(y)[x];
    return *this;
}

bild16& bild16::drawy(int y, int x1, int x2) {
    auto [lo, hi] = clip_line("drawy", 'y', y, SIZEY, x1, x2, SIZEX);
    unsigned short* r = row(y);
    for (int x = lo; x <= hi; ++x) r[x] = (unsigned short)~r[x];
    return *this;
}

bild16& bild16::kreuz(int x, int y) {
    if (x < 0 || x >= SIZEX || y < 0 || y >= SIZEY)
        throw quenz::Error("kreuz: Outside of the image, x=" + std::to_string(x) +
                           ", y=" + std::to_string(y) + ")");
    // The centre lies inside, so neither stroke can fail; both cover the
    // centre, which therefore keeps its value.
    drawx(x, y - 10, y + 10);
    drawy(y, x - 10, x + 10);
    return *this;
}
