// The Voronoi data file and the selected cell's polygon.
#include "imgclass/analysis/voronoi.h"

#include <algorithm>
#include <cstdio>
#include <istream>
#include <streambuf>
#include <string>

#include "imgclass/system/error.h"
#include "imgclass/system/fileio.h"

std::vector<voronoi_cell> read_voronoi(std::istream& in, const char* name) {
    auto too_many = [&](std::size_t max, const char* what) {
        return quenz::Error(std::string("Voronoidata ") + name + " has more than " +
                            std::to_string(max) + " " + what);
    };
    std::vector<voronoi_cell> cells;
    std::size_t corners = 0;
    for (;;) {
        voronoi_cell c;
        int n;
        if (!(in >> c.cx >> c.cy >> n)) break;
        // Grows with what is actually read: the count may promise more.
        voronoi_corner k;
        for (int i = 0; i < n && in >> k.x >> k.y; ++i) {
            if (++corners > voronoi_max_corners) throw too_many(voronoi_max_corners, "corners");
            c.ecken.push_back(k);
        }
        if (!in) break;
        if (cells.size() == voronoi_max_cells) throw too_many(voronoi_max_cells, "cells");
        cells.push_back(std::move(c));
    }
    return cells;
}

namespace {
// A file as a stream that ends after `max` bytes, noting whether the file
// went on: reading stops at the bound (or earlier, at the first text that
// is no number) and never holds more than one block.
class BoundedFile : public std::streambuf {
public:
    BoundedFile(const char* name, std::size_t max) : f_(quenz::fopen_for_read(name)), left_(max) {}
    ~BoundedFile() override {
        if (f_) std::fclose(f_);
    }
    bool is_open() const { return f_ != nullptr; }
    bool over() const { return over_; }

protected:
    int_type underflow() override {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        if (left_ == 0) {
            char c;
            over_ = std::fread(&c, 1, 1, f_) == 1;
            return traits_type::eof();
        }
        std::size_t n = std::fread(block_, 1, std::min(sizeof block_, left_), f_);
        if (n == 0) return traits_type::eof();
        left_ -= n;
        setg(block_, block_, block_ + n);
        return traits_type::to_int_type(*gptr());
    }

private:
    std::FILE* f_;
    std::size_t left_;
    bool over_ = false;
    char block_[1 << 13];
};
}  // namespace

std::vector<voronoi_cell> read_voronoi_file(const char* name) {
    BoundedFile file(name, voronoi_max_bytes);
    if (!file.is_open()) throw quenz::Error(std::string("Voronoidata ") + name + " not found");
    std::istream in(&file);
    std::vector<voronoi_cell> cells = read_voronoi(in, name);
    if (file.over())
        throw quenz::Error(std::string("Voronoidata ") + name + " is larger than " +
                           std::to_string(voronoi_max_bytes) + " bytes");
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
