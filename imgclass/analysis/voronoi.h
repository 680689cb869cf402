// One cell of a Voronoi tessellation of an image, read from the text file
// that lists every cell's centre and corners, and the analyses on it.
#pragma once
#include <cstddef>
#include <iosfwd>
#include <iostream>
#include <vector>

#include "imgclass/core/bildfloat.h"
#include "imgclass/core/vec2d.h"

struct voronoi_corner {
    float x;  // column
    float y;  // row
};

struct voronoi_cell {
    float cx, cy;
    std::vector<voronoi_corner> ecken;
};

// The bounds of a cell file: one cell per pixel of the image, eight corners
// per cell on average (a tessellation's cells have fewer than six), and
// the text such a file takes.
inline constexpr std::size_t voronoi_max_cells = 512 * 512;
inline constexpr std::size_t voronoi_max_corners = 8 * voronoi_max_cells;
inline constexpr std::size_t voronoi_max_bytes = std::size_t(64) << 20;

// Whitespace-separated records "cx cy n x1 y1 ... xn yn" up to the end or
// the first number that cannot be read; an incomplete record is dropped.
// More cells or corners than the bounds throw "Voronoidata <name> has more
// than ...".
std::vector<voronoi_cell> read_voronoi(std::istream& in, const char* name = "input");
// The same from a file; throws when it cannot be opened, is larger than
// voronoi_max_bytes or holds no complete record.
std::vector<voronoi_cell> read_voronoi_file(const char* name);
// Index of the cell whose centre is nearest (single precision, the earlier
// one on ties). cells must not be empty.
std::size_t nearest_cell(const std::vector<voronoi_cell>& cells, float x, float y);

class Voronoischnitt {
public:
    bildfloat& bfl;  // not owned: the script keeps the image alive
    float xmitte, ymitte;
    std::vector<voronoi_corner> ecken;
    std::vector<float> polyx, polyy;  // the corners, closed by the first again
    int npoly;
    vec2d richtung{0.0, 0.0};
    double stddev = 0.0;

    // Selects the cell nearest to (xmitte_, ymitte_) and writes its record
    // number to log.
    Voronoischnitt(bildfloat& bfl_, float xmitte_, float ymitte_, const char* vorofile,
                   std::ostream& log = std::cerr);
    Voronoischnitt(const Voronoischnitt&) = delete;
    Voronoischnitt& operator=(const Voronoischnitt&) = delete;

    // Profile along the longest diagonal: the table "nr s v" to out, the
    // drawing command and the direction to log.
    void compute_schnitt(int nr, std::ostream& out = std::cout, std::ostream& log = std::cerr);
    // Mean of the image at the corners; the spread goes to stddev.
    float boundary_average(std::ostream& log = std::cerr);
    // Even-odd test, lower end of an edge inside, upper end outside.
    bool contains(float x, float y) const;

private:
    void warn_if_not_hexagon(std::ostream& log) const;
};
