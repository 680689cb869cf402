// Bad-pixel repair from a map image, and blanking outside a region.
#include "bild16.h"
#include "bildfloat.h"

// Interior pixels only. A pixel is bad above the threshold and a usable
// neighbour below it (a value equal to the threshold is neither). Bad
// pixels never serve as neighbours, so updating in place is safe.
bildfloat& bildfloat::badpix_correct(const bild16& bpmap, unsigned short threshold) {
    static constexpr int dy[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
    static constexpr int dx[8] = {-1, 0, 1, -1, 1, -1, 0, 1};
    for (int y = 1; y < SIZEY - 1; ++y) {
        for (int x = 1; x < SIZEX - 1; ++x) {
            if (bpmap.rows[y][x] <= threshold) continue;
            float sum = 0.0f;
            int count = 0;
            for (int i = 0; i < 8; ++i) {
                int ny = y + dy[i], nx = x + dx[i];
                if (bpmap.rows[ny][nx] < threshold) {
                    sum += rows[ny][nx];
                    ++count;
                }
            }
            rows[y][x] = count > 0 ? sum / float(count) : 0.0f;
        }
    }
    return *this;
}

bildfloat& bildfloat::mask(const region_t& reg) {
    const bool* in = reg.data();
    float* p = data();
    for (std::size_t i = 0; i < npixels(); ++i)
        if (!in[i]) p[i] = quenz::quiet_nan;
    return *this;
}
