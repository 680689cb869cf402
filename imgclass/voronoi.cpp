// The Voronoi data file and the selected cell's polygon.
#include "voronoi.h"

#include <fstream>
#include <string>

#include "error.h"

std::vector<voronoi_cell> read_voronoi(std::istream& in) {
    std::vector<voronoi_cell> cells;
    for (;;) {
        voronoi_cell c;
        int n;
        if (!(in >> c.cx >> c.cy >> n)) break;
        // Grows with what is actually read: the count may promise more.
        voronoi_corner k;
        for (int i = 0; i < n && in >> k.x >> k.y; ++i) c.ecken.push_back(k);
        if (!in) break;
        cells.push_back(std::move(c));
    }
    return cells;
}

std::vector<voronoi_cell> read_voronoi_file(const char* name) {
    std::ifstream in(name, std::ios::binary);
    if (!in) throw quenz::Error(std::string("Voronoidata ") + name + " not found");
    std::vector<voronoi_cell> cells = read_voronoi(in);
    if (cells.empty()) throw quenz::Error(std::string("Could not read Voronoi data ") + name);
    return cells;
}

std::size_t nearest_cell(const std::vector<voronoi_cell>& cells, float x, float y) {
    std::size_t best = 0;
    float best_d = 0.0f;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        float dx = cells[i].cx - x;
        float dy = cells[i].cy - y;
        float d = dx * dx + dy * dy;
        if (i == 0 || d < best_d) {
            best = i;
            best_d = d;
        }
    }
    return best;
}

Voronoischnitt::Voronoischnitt(bildfloat& bfl_, float xmitte_, float ymitte_,
                               const char* vorofile, std::ostream& log)
    : bfl(bfl_), xmitte(xmitte_), ymitte(ymitte_) {
    std::vector<voronoi_cell> cells = read_voronoi_file(vorofile);
    std::size_t sel = nearest_cell(cells, xmitte, ymitte);
    log << sel << std::endl;
    ecken = std::move(cells[sel].ecken);
    npoly = int(ecken.size()) + 1;
    for (const voronoi_corner& k : ecken) {
        polyx.push_back(k.x);
        polyy.push_back(k.y);
    }
    // A cell without corners keeps one point, the chosen one: a polygon
    // with no edge, which contains nothing.
    polyx.push_back(ecken.empty() ? xmitte : ecken[0].x);
    polyy.push_back(ecken.empty() ? ymitte : ecken[0].y);
}

void Voronoischnitt::warn_if_not_hexagon(std::ostream& log) const {
    if (ecken.size() != 6)
        log << "Warnung: Zelle hat nicht 6 Ecken, sondern " << ecken.size() << std::endl;
}
