// The analyses of one Voronoi cell: the profile along its longest
// diagonal, the average at its corners, and the point-in-cell test.
#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

#include "imgclass/system/error.h"
#include "imgclass/analysis/voronoi.h"

namespace {

// Nearest-pixel positions are checked in double before they become
// indices: a cell or chosen point off the image is refused, never read.
bool on_image(double r, double c) {
    return r >= 0.0 && r < quenz::image_size && c >= 0.0 && c < quenz::image_size;
}

[[noreturn]] void outside(const char* what, double r, double c) {
    std::ostringstream m;
    m << what << ": coordinates outside the image (y=" << r << ", x=" << c << ")";
    throw quenz::Error(m.str());
}

double length(double dx, double dy) { return std::sqrt(dx * dx + dy * dy); }

}  // namespace

void Voronoischnitt::compute_schnitt(int nr, std::ostream& out, std::ostream& log) {
    static const char* what = "Voronoischnitt_compute_schnitt";
    warn_if_not_hexagon(log);
    const int n = int(ecken.size());
    // The first pair read is (0, 3).
    if (n < 4)
        throw quenz::Error(std::string(what) + ": the cell has " + std::to_string(n) +
                           " corners, at least 4 are needed");

    auto dist2 = [&](int a, int b) {
        float dx = ecken[a].x - ecken[b].x;
        float dy = ecken[a].y - ecken[b].y;
        return dx * dx + dy * dy;
    };
    int g = 0;
    float best = dist2(0, 3);
    for (int i = 1; i < n; ++i) {
        float d = dist2(i, (i + 3) % n);
        if (d > best) {
            best = d;
            g = i;
        }
    }
    const int o = (g + 3) % n;
    const voronoi_corner G = ecken[g], O = ecken[o];
    log << ".c create line " << G.x << ' ' << G.y << ' ' << O.x << ' ' << O.y << std::endl;

    const double mx = xmitte, my = ymitte;
    const double R = length(G.x - mx, G.y - my);
    const double N = length(O.x - mx, O.y - my);
    if (R == 0.0 || N == 0.0)
        throw quenz::Error(std::string(what) + ": corner " + std::to_string(R == 0.0 ? g : o) +
                           " lies on the chosen point");
    vec2d d{(G.x - mx) / R - (O.x - mx) / N, (G.y - my) / R - (O.y - my) / N};
    richtung = d;
    log << "Richtungsvektor " << d.x << ", " << d.y << std::endl;
    if (!std::isfinite(d.x) || !std::isfinite(d.y) || (d.x == 0.0 && d.y == 0.0))
        throw quenz::Error(std::string(what) +
                           ": both corners lie in one direction from the chosen point");

    // Walk along the dominant axis from the near side to the far corner.
    float k0f, ef;
    if (std::fabs(d.y) < std::fabs(d.x)) {
        richtung = {1.0, d.y / d.x};
        bool forward = O.x > G.x;
        k0f = -std::fabs((forward ? G.x : O.x) - xmitte);
        ef = (forward ? O.x : G.x) - xmitte;
    } else {
        richtung = {d.x / d.y, 1.0};
        bool forward = O.y > G.y;
        k0f = -std::fabs((forward ? G.y : O.y) - ymitte);
        ef = (forward ? O.y : G.y) - ymitte;
    }
    const double k0d = std::trunc(double(k0f)), k1d = std::trunc(std::fabs(double(ef)));

    auto col = [&](double k) { return std::floor(mx + k * richtung.x + 0.5); };
    auto row = [&](double k) { return std::floor(my + k * richtung.y + 0.5); };
    // Positions move monotonically with k, so checking both ends bounds the
    // whole walk (and keeps k within int range).
    for (double k : {k0d, k1d})
        if (!on_image(row(k), col(k))) outside(what, row(k), col(k));

    for (int k = int(k0d); k <= int(k1d); ++k) {
        double c = col(k), r = row(k);
        double s = length(c - mx, r - my);
        if (richtung.x * (c - mx) + richtung.y * (r - my) < 0) s = -s;
        float v = bfl.row(int(r))[int(c)];
        out << nr << '\t' << s << '\t' << v << std::endl;
    }
    out << std::endl;
}

float Voronoischnitt::boundary_average(std::ostream& log) {
    static const char* what = "Voronoischnitt_boundary_average";
    warn_if_not_hexagon(log);
    if (ecken.empty()) throw quenz::Error(std::string(what) + ": the cell has no corners");
    for (const voronoi_corner& k : ecken) {
        double r = std::floor(k.y + 0.5), c = std::floor(k.x + 0.5);
        if (!on_image(r, c)) outside(what, r, c);
    }
    double sum = 0.0, sumsq = 0.0;
    for (const voronoi_corner& k : ecken) {
        float v = bfl.row(int(std::floor(k.y + 0.5)))[int(std::floor(k.x + 0.5))];
        sum += v;
        sumsq += float(v * v);
    }
    const double n = double(ecken.size());
    const double mean = sum / n;
    stddev = std::sqrt(sumsq / n - mean * mean);
    log << "Mittlere Höhe am Rand: " << mean << " +/- " << stddev << std::endl;
    return float(mean);
}

bool Voronoischnitt::contains(float x, float y) const {
    bool inside = false;
    for (int i = 0, j = npoly - 1; i < npoly; j = i++) {
        float yi = polyy[i], yj = polyy[j];
        if (y >= std::min(yi, yj) && y < std::max(yi, yj)) {
            float X = polyx[i] + (polyx[j] - polyx[i]) * (y - yi) / (yj - yi);
            if (x < X) inside = !inside;
        }
    }
    return inside;
}
