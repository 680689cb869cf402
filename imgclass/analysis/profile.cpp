#include <algorithm>
#include <cmath>
#include <optional>

#include "imgclass/analysis/stats.h"

namespace quenz {
namespace {

// a at t == 0, b at t == 1: a pixel's own value is not mixed with a
// neighbour of weight 0 (which may be NaN or lie outside the image).
inline double lerp(double a, double b, double t) { return (1.0 - t) * a + t * b; }

template <class Img>
double sample(const Img& img, double x, double y) {
    const int x0 = int(x), y0 = int(y);  // x, y >= 0: truncation is floor
    const double fx = x - x0, fy = y - y0;
    const auto* r0 = img.row(y0);
    auto row = [&](const typename Img::data_t* r) {
        return fx == 0.0 ? double(r[x0]) : lerp(double(r[x0]), double(r[x0 + 1]), fx);
    };
    const double top = row(r0);
    return fy == 0.0 ? top : lerp(top, row(img.row(y0 + 1)), fy);
}

template <class Img>
std::vector<double> profile_of(const Img& img, double x1, double y1, double x2, double y2,
                               std::optional<int> want) {
    auto inside = [](double v) { return v >= 0.0 && v <= double(image_size - 1); };
    if (!inside(x1) || !inside(y1) || !inside(x2) || !inside(y2)) {
        throw Error("profile: end point outside the image (x1=" + number_text(x1) +
                    " y1=" + number_text(y1) + " x2=" + number_text(x2) + " y2=" + number_text(y2) +
                    ")");
    }
    const int n = want ? *want
                       : std::max(2, int(std::floor(std::max(std::fabs(x2 - x1), std::fabs(y2 - y1)))) + 1);
    if (n < 2 || n > max_profile)
        throw Error("profile: n must lie in 2.." + std::to_string(max_profile) +
                    " (n=" + std::to_string(n) + ")");
    std::vector<double> out(static_cast<std::size_t>(n));
    const double dx = x2 - x1, dy = y2 - y1, last = n - 1;
    for (int k = 0; k < n; ++k) {
        // k == n-1 lands exactly on (x2, y2); clamp against rounding past it.
        double x = k == n - 1 ? x2 : x1 + dx * k / last;
        double y = k == n - 1 ? y2 : y1 + dy * k / last;
        x = std::clamp(x, 0.0, double(image_size - 1));
        y = std::clamp(y, 0.0, double(image_size - 1));
        out[std::size_t(k)] = positive_nan(sample(img, x, y));
    }
    return out;
}

}  // namespace

std::vector<double> profile(const bild16_base& b, double x1, double y1, double x2, double y2) {
    return profile_of(b, x1, y1, x2, y2, std::nullopt);
}
std::vector<double> profile(const bildfloat_base& f, double x1, double y1, double x2, double y2) {
    return profile_of(f, x1, y1, x2, y2, std::nullopt);
}
std::vector<double> profile(const bild16_base& b, double x1, double y1, double x2, double y2, int n) {
    return profile_of(b, x1, y1, x2, y2, n);
}
std::vector<double> profile(const bildfloat_base& f, double x1, double y1, double x2, double y2,
                            int n) {
    return profile_of(f, x1, y1, x2, y2, n);
}

}  // namespace quenz
