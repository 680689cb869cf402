// Bad-pixel repair from a map image, and blanking outside a region.
#include <algorithm>

#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"
#include "imgclass/core/pixelloop.h"

namespace {

// Interior pixels only. A pixel is bad above the threshold and a usable
// neighbour below it (a value equal to the threshold is neither). Bad
// pixels never serve as neighbours, so updating in place is safe, in any
// order. The map is scanned sixteen counts at a time: bad pixels are rare.
QUENZ_VECTOR_CLONES void repair(float* px, const unsigned short* map, unsigned short threshold) {
    static constexpr int dy[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
    static constexpr int dx[8] = {-1, 0, 1, -1, 1, -1, 0, 1};
    constexpr int W = quenz::image_size;
    static_assert(W % 16 == 0);
    for (int y = 1; y < quenz::image_size - 1; ++y) {
        const unsigned short* m = map + std::size_t(y) * W;
        for (int x0 = 0; x0 < W; x0 += 16) {
            quenz::u16x16 v;
            quenz::load16(v, m + x0);
            if (!quenz::any_lane(v > threshold)) continue;
            for (int x = std::max(x0, 1); x < std::min(x0 + 16, W - 1); ++x) {
                if (m[x] <= threshold) continue;
                float sum = 0.0f;
                int count = 0;
                for (int i = 0; i < 8; ++i) {
                    int ny = y + dy[i], nx = x + dx[i];
                    const std::size_t at = std::size_t(ny) * W + nx;
                    if (map[at] < threshold) {
                        sum += px[at];
                        ++count;
                    }
                }
                px[std::size_t(y) * W + x] = count > 0 ? sum / float(count) : 0.0f;
            }
        }
    }
}

}  // namespace

bildfloat& bildfloat::badpix_correct(const bild16& bpmap, unsigned short threshold) {
    repair(data(), bpmap.data(), threshold);
    return *this;
}

bildfloat& bildfloat::mask(const region_t& reg) {
    const bool* in = reg.data();
    float* p = data();
    for (std::size_t i = 0; i < npixels(); ++i)
        if (!in[i]) p[i] = quenz::quiet_nan;
    return *this;
}
