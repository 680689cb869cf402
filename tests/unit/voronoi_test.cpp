// The Voronoi file reader, cell selection and the three analyses.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "voronoi.h"

namespace {

std::string write_file(const std::string& name, const std::string& text) {
    std::string path = ::testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string error_of(auto&& f) {
    try {
        f();
    } catch (const quenz::Error& e) {
        return e.what();
    }
    return "no error";
}

// Hexagon around (100, 200): the (0, 3) diagonal is horizontal and longest.
const char* flat_hex = "100 200 6  80 200  90 190  110 190  120 200  110 210  90 210\n";
// The same turned upright: (0, 3) is vertical.
const char* tall_hex = "100 200 6  100 180  110 190  110 210  100 220  90 210  90 190\n";

struct Row {
    int nr;
    double s;
    float v;
};

// The profile table: "nr TAB s TAB v" lines, closed by one empty line.
std::vector<Row> parse_profile(const std::string& text, bool& closed) {
    std::vector<Row> rows;
    std::istringstream in(text);
    std::string line;
    closed = false;
    while (std::getline(in, line)) {
        if (line.empty()) {
            closed = !std::getline(in, line);  // the empty line comes last
            break;
        }
        Row r;
        char t1, t2;
        std::istringstream l(line);
        l >> r.nr >> std::noskipws >> t1 >> std::skipws >> r.s >> std::noskipws >> t2 >>
            std::skipws >> r.v;
        EXPECT_TRUE(t1 == '\t' && t2 == '\t') << line;
        rows.push_back(r);
    }
    return rows;
}

struct Cell : ::testing::Test {
    bildfloat img;
    std::ostringstream log, out;
    // Every pixel tells where it is.
    void SetUp() override {
        for (int y = 0; y < 512; ++y)
            for (int x = 0; x < 512; ++x) img.set(y, x, float(x + 1000 * y));
    }
    Voronoischnitt make(const std::string& text, float x, float y) {
        return Voronoischnitt(img, x, y, write_file("cell.txt", text).c_str(), log);
    }
};

}  // namespace

TEST(VoronoiFile, KeepsOnlyCompleteRecords) {
    std::istringstream in("1 2 2 3 4 5 6\n7 8 0\n9 10 -1 11 12 1 13");
    auto cells = read_voronoi(in);
    // "11 12 1 13" is a record announcing one corner with half of it.
    ASSERT_EQ(cells.size(), 3u);
    EXPECT_EQ(cells[0].cx, 1.0f);
    ASSERT_EQ(cells[0].ecken.size(), 2u);
    EXPECT_EQ(cells[0].ecken[1].x, 5.0f);
    EXPECT_EQ(cells[0].ecken[1].y, 6.0f);
    EXPECT_TRUE(cells[1].ecken.empty());
    EXPECT_EQ(cells[2].cx, 9.0f);
    EXPECT_TRUE(cells[2].ecken.empty());
}

TEST(VoronoiFile, LineEndsAndLayoutCarryNoMeaning) {
    std::istringstream a("1 2 1 3 4\n5 6 1 7 8\n"), b("1\t2 1\n3\n4 5 6 1 7 8");
    auto ca = read_voronoi(a), cb = read_voronoi(b);
    ASSERT_EQ(ca.size(), 2u);
    ASSERT_EQ(cb.size(), 2u);
    EXPECT_EQ(ca[1].ecken[0].y, cb[1].ecken[0].y);
}

TEST(VoronoiFile, MalformedNumberEndsReadingAtThatRecord) {
    std::istringstream in("1 2 1 3 4\n5 6 2 7 x 9 10\n11 12 0\n");
    auto cells = read_voronoi(in);
    ASSERT_EQ(cells.size(), 1u);
    EXPECT_EQ(cells[0].cx, 1.0f);
    // A count larger than the file holds is just an incomplete record.
    std::istringstream big("1 2 2000000000 3 4");
    EXPECT_TRUE(read_voronoi(big).empty());
}

TEST(VoronoiFile, MissingAndEmptyFiles) {
    std::string none = ::testing::TempDir() + "no-such-voronoi.txt";
    EXPECT_EQ(error_of([&] { read_voronoi_file(none.c_str()); }),
              "Voronoidata " + none + " not found");
    std::string empty = write_file("empty.txt", "");
    EXPECT_EQ(error_of([&] { read_voronoi_file(empty.c_str()); }),
              "Could not read Voronoi data " + empty);
    std::string partial = write_file("partial.txt", "1 2 3 4 5");
    EXPECT_EQ(error_of([&] { read_voronoi_file(partial.c_str()); }),
              "Could not read Voronoi data " + partial);
}

TEST(VoronoiFile, NearestCentreEarlierOnTies) {
    std::vector<voronoi_cell> cells{{10, 10, {}}, {20, 10, {}}, {30, 10, {}}, {20, 10, {}}};
    EXPECT_EQ(nearest_cell(cells, 21, 12), 1u);  // record 3 is as near: the earlier wins
    EXPECT_EQ(nearest_cell(cells, 15, 0), 0u);   // equally far from 0 and 1
    EXPECT_EQ(nearest_cell(cells, 26, 40), 2u);
    // Decided in single precision: 4096^2 + 0.25 rounds to 4096^2, a tie.
    std::vector<voronoi_cell> close{{4096, 0.5f, {}}, {4096, 0, {}}};
    EXPECT_EQ(nearest_cell(close, 0.0f, 0.0f), 0u);
}

TEST_F(Cell, ConstructorSelectsAndClosesThePolygon) {
    Voronoischnitt v = make(std::string("0 0 1 1 1\n") + flat_hex + "300 300 0\n", 99, 201);
    EXPECT_EQ(log.str(), "1\n");
    EXPECT_EQ(v.npoly, 7);
    ASSERT_EQ(v.polyx.size(), 7u);
    EXPECT_EQ(v.polyx[6], 80.0f);
    EXPECT_EQ(v.polyy[6], 200.0f);
    EXPECT_EQ(v.polyx[2], 110.0f);
    EXPECT_EQ(v.richtung.x, 0.0);
    EXPECT_EQ(v.stddev, 0.0);
}

TEST_F(Cell, OneRecordIsChosenWhateverThePoint) {
    Voronoischnitt v = make(flat_hex, 500, 3);
    EXPECT_EQ(log.str(), "0\n");
    EXPECT_EQ(v.ecken.size(), 6u);
}

TEST_F(Cell, HorizontalDiagonalWalksColumns) {
    Voronoischnitt v = make(flat_hex, 100, 200);
    log.str("");
    v.compute_schnitt(7, out, log);
    EXPECT_EQ(log.str(), ".c create line 80 200 120 200\nRichtungsvektor -2, 0\n");
    EXPECT_EQ(v.richtung.x, 1.0);
    EXPECT_EQ(v.richtung.y, 0.0);
    bool closed;
    auto rows = parse_profile(out.str(), closed);
    EXPECT_TRUE(closed);
    ASSERT_EQ(rows.size(), 41u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].nr, 7);
        EXPECT_EQ(rows[i].s, double(i) - 20.0);
        EXPECT_EQ(rows[i].v, float(80 + i + 1000 * 200));  // row 200, columns 80..120
    }
}

TEST_F(Cell, VerticalDiagonalWalksRows) {
    Voronoischnitt v = make(tall_hex, 100, 200);
    log.str("");
    v.compute_schnitt(2, out, log);
    EXPECT_EQ(log.str(), ".c create line 100 180 100 220\nRichtungsvektor 0, -2\n");
    EXPECT_EQ(v.richtung.x, 0.0);
    EXPECT_EQ(v.richtung.y, 1.0);
    bool closed;
    auto rows = parse_profile(out.str(), closed);
    EXPECT_TRUE(closed);
    ASSERT_EQ(rows.size(), 41u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].s, double(i) - 20.0);
        EXPECT_EQ(rows[i].v, float(100 + 1000 * (180 + i)));  // column 100, rows 180..220
    }
}

TEST_F(Cell, OffCentrePointWalksParallelToTheDiagonal) {
    // Chosen point 3 rows below the centre: the line runs along row 203,
    // from -|80-100| to |120-100|, s measured from the point.
    Voronoischnitt v = make(flat_hex, 100, 203);
    v.compute_schnitt(1, out, log);
    bool closed;
    auto rows = parse_profile(out.str(), closed);
    ASSERT_EQ(rows.size(), 41u);
    EXPECT_EQ(rows[0].v, float(80 + 1000 * 203));
    EXPECT_EQ(rows[20].s, 0.0);
    EXPECT_NEAR(v.richtung.y, 0.0, 1e-12);
}

TEST_F(Cell, EqualDiagonalsTakeTheFirstPair) {
    // Corners at radius 20 around (200, 100): the squared diagonals are all
    // exactly 1600, so (0, 3) stays.
    Voronoischnitt v = make("200 100 6  220 100  212 116  188 116  180 100  188 84  212 84\n",
                            200, 100);
    log.str("");
    v.compute_schnitt(1, out, log);
    EXPECT_EQ(log.str(), ".c create line 220 100 180 100\nRichtungsvektor 2, 0\n");
    bool closed;
    auto rows = parse_profile(out.str(), closed);
    ASSERT_EQ(rows.size(), 41u);
    EXPECT_EQ(rows.front().s, -20.0);
    EXPECT_EQ(rows[20].s, 0.0);
    EXPECT_EQ(rows.back().s, 20.0);
}

TEST_F(Cell, FiveCornersWarnInBothAnalyses) {
    Voronoischnitt v = make("100 200 5  80 200  100 190  120 200  110 210  90 210", 100, 200);
    EXPECT_EQ(v.npoly, 6);
    EXPECT_EQ(v.polyx[5], 80.0f);
    log.str("");
    v.boundary_average(log);
    EXPECT_EQ(log.str().substr(0, log.str().find('\n') + 1),
              "Warnung: Zelle hat nicht 6 Ecken, sondern 5\n");
    log.str("");
    v.compute_schnitt(1, out, log);
    EXPECT_EQ(log.str().substr(0, log.str().find('\n') + 1),
              "Warnung: Zelle hat nicht 6 Ecken, sondern 5\n");
}

TEST_F(Cell, ProfileRefusesBadCells) {
    Voronoischnitt three = make("50 50 3  40 40  60 40  50 60", 50, 50);
    EXPECT_EQ(error_of([&] { three.compute_schnitt(1, out, log); }),
              "Voronoischnitt_compute_schnitt: the cell has 3 corners, at least 4 are needed");
    Voronoischnitt none = make("50 50 0", 50, 50);
    EXPECT_EQ(error_of([&] { none.compute_schnitt(1, out, log); }),
              "Voronoischnitt_compute_schnitt: the cell has 0 corners, at least 4 are needed");
    // The chosen point is corner 3.
    Voronoischnitt on = make(flat_hex, 120, 200);
    EXPECT_EQ(error_of([&] { on.compute_schnitt(1, out, log); }),
              "Voronoischnitt_compute_schnitt: corner 3 lies on the chosen point");
    // Both diagonal corners seen in the same direction: no direction at all.
    Voronoischnitt beyond = make(flat_hex, 60, 200);
    EXPECT_EQ(error_of([&] { beyond.compute_schnitt(1, out, log); }),
              "Voronoischnitt_compute_schnitt: both corners lie in one direction from the "
              "chosen point");
    // A cell reaching past the left edge: nothing is sampled.
    Voronoischnitt edge = make("5 200 6  -15 200  -5 190  15 190  25 200  15 210  -5 210", 5, 200);
    EXPECT_EQ(error_of([&] { edge.compute_schnitt(1, out, log); }),
              "Voronoischnitt_compute_schnitt: coordinates outside the image (y=200, x=-15)");
    // A chosen point far off the image on the walking axis.
    Voronoischnitt far = make(flat_hex, 100, 2e9f);
    EXPECT_NE(error_of([&] { far.compute_schnitt(1, out, log); }).find("outside the image"),
              std::string::npos);
    EXPECT_EQ(out.str(), "");
}

TEST_F(Cell, ProfileAtTheImageBorders) {
    // Corners on columns 0 and 511 are still inside.
    Voronoischnitt v = make("200 300 6  0 300  100 250  400 250  511 300  400 350  100 350",
                            200, 300);
    v.compute_schnitt(1, out, log);
    bool closed;
    auto rows = parse_profile(out.str(), closed);
    EXPECT_TRUE(closed);
    ASSERT_EQ(rows.size(), 512u);
    EXPECT_EQ(rows.front().v, float(0 + 1000 * 300));
    EXPECT_EQ(rows.back().v, float(511 + 1000 * 300));
}

TEST_F(Cell, BoundaryAverage) {
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) img.set(y, x, 1000.0f);
    Voronoischnitt v = make(flat_hex, 100, 200);
    log.str("");
    EXPECT_EQ(v.boundary_average(log), 1000.0f);
    EXPECT_EQ(v.stddev, 0.0);
    EXPECT_EQ(log.str(), "Mittlere Höhe am Rand: 1000 +/- 0\n");
    // Corner values 1..6 (nearest pixels of corners that are not integral).
    Voronoischnitt w = make("100 200 6  79.6 200.4  90 190  110 190  120 200  110 210  90 209.5",
                            100, 200);
    float k = 1.0f;
    for (auto [y, x] : {std::pair{200, 80}, {190, 90}, {190, 110}, {200, 120}, {210, 110},
                        {210, 90}})
        img.set(y, x, k++);
    EXPECT_EQ(w.boundary_average(log), 3.5f);
    EXPECT_NEAR(w.stddev, std::sqrt(35.0 / 12.0), 1e-12);
    // The squares are rounded to float before summing: a constant 0.1 leaves
    // a spread of about 2e-5 instead of 0.
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) img.set(y, x, 0.1f);
    EXPECT_EQ(w.boundary_average(log), 0.1f);
    EXPECT_GT(w.stddev, 1.9e-5);
    EXPECT_LT(w.stddev, 2.1e-5);
}

TEST_F(Cell, BoundaryAverageRefusesMissingAndOutsideCorners) {
    Voronoischnitt none = make("50 50 -2", 50, 50);
    EXPECT_EQ(error_of([&] { none.boundary_average(log); }),
              "Voronoischnitt_boundary_average: the cell has no corners");
    Voronoischnitt out_ = make("50 50 6  40 50  45 40  55 40  60 50  55 60  45 511.5", 50, 50);
    EXPECT_EQ(error_of([&] { out_.boundary_average(log); }),
              "Voronoischnitt_boundary_average: coordinates outside the image (y=512, x=45)");
    EXPECT_EQ(out_.stddev, 0.0);
}

TEST_F(Cell, ContainsIsHalfOpen) {
    Voronoischnitt v = make(flat_hex, 100, 200);
    EXPECT_TRUE(v.contains(100, 200));
    EXPECT_FALSE(v.contains(130, 200));
    EXPECT_FALSE(v.contains(79, 200));
    EXPECT_FALSE(v.contains(100, 189.9f));
    // The edge at the smaller row belongs to the cell, the one at the larger does not.
    EXPECT_TRUE(v.contains(100, 190));
    EXPECT_FALSE(v.contains(100, 210));
    EXPECT_TRUE(v.contains(100, 209.99f));
    Voronoischnitt none = make("50 50 0", 50, 50);
    EXPECT_EQ(none.npoly, 1);
    EXPECT_FALSE(none.contains(50, 50));
}
