// Marks in an exposure: lines and crosses that invert the pixels they cover
// (c -> 65535 - c), so drawing the same mark twice restores the image.
// Every check comes before the first pixel changes.
#include <string>
#include <utility>

#include "bild16.h"

bild16& bild16::drawx(int x, int y1, int y2) {
    if (y1 > y2) std::swap(y1, y2);
    if (x < 0 || x >= SIZEX)
        throw quenz::Error("drawx: x out of range (x=" + std::to_string(x) + ")");
    if (y2 < 0 || y1 >= SIZEY)
        throw quenz::Error("drawx: line outside image (y1=" + std::to_string(y1) +
                           ", y2=" + std::to_string(y2) + ")");
    y1 = std::max(y1, 0);
    y2 = std::min(y2, SIZEY - 1);
    for (int y = y1; y <= y2; ++y) rows[y][x] = (unsigned short)~rows[y][x];
    return *this;
}

bild16& bild16::drawy(int y, int x1, int x2) {
    if (x1 > x2) std::swap(x1, x2);
    if (y < 0 || y >= SIZEY)
        throw quenz::Error("drawy: y out of range (y=" + std::to_string(y) + ")");
    if (x2 < 0 || x1 >= SIZEX)
        throw quenz::Error("drawy: line outside image (x1=" + std::to_string(x1) +
                           ", x2=" + std::to_string(x2) + ")");
    x1 = std::max(x1, 0);
    x2 = std::min(x2, SIZEX - 1);
    unsigned short* row = rows[y];
    for (int x = x1; x <= x2; ++x) row[x] = (unsigned short)~row[x];
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
