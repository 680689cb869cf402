// Details of the Voronoi cell that the Tcl suite does not reach: reader
// corner cases, single-precision decisions, walks at the image border and
// the rounding of the boundary spread.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "imgclass/analysis/voronoi.h"

namespace {

struct Row {
    int nr;
    double s;
    float v;
};

// "nr TAB s TAB v" lines up to the empty line that closes the block.
std::vector<Row> parse_profile(const std::string& text) {
    std::vector<Row> rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line) && !line.empty()) {
        Row r;
        std::istringstream(line) >> r.nr >> r.s >> r.v;
        rows.push_back(r);
    }
    return rows;
}

// An image whose pixels tell where they are, and a cell file for it.
struct Cell : ::testing::Test {
    bildfloat img;
    std::ostringstream log, out;
    void SetUp() override {
        for (int y = 0; y < 512; ++y)
            for (int x = 0; x < 512; ++x) img.set(y, x, float(x + 1000 * y));
    }
    Voronoischnitt make(const std::string& text, float x, float y) {
        std::string path = ::testing::TempDir() + "cell.txt";
        std::ofstream(path, std::ios::binary) << text;
        return Voronoischnitt(img, x, y, path.c_str(), log);
    }
};

const char* flat_hex = "100 200 6  80 200  90 190  110 190  120 200  110 210  90 210\n";

}  // namespace

TEST(VoronoiFile, ReadsCompleteRecordsUpToTheFirstBadNumber) {
    // Layout carries no meaning; n <= 0 is a cell without corners; the last
    // record announces one corner and gives half of it.
    std::istringstream a("1 2 2 3 4\n5 6\n7 8 0\t9 10 -1 11 12 1 13");
    auto cells = read_voronoi(a);
    ASSERT_EQ(cells.size(), 3u);
    EXPECT_EQ(cells[0].ecken[1].x, 5.0f);
    EXPECT_EQ(cells[0].ecken[1].y, 6.0f);
    EXPECT_EQ(cells[2].cx, 9.0f);
    EXPECT_TRUE(cells[2].ecken.empty());
    std::istringstream b("1 2 1 3 4\n5 6 2 7 x 9 10\n11 12 0\n");
    EXPECT_EQ(read_voronoi(b).size(), 1u);
    // A count larger than the file holds is only an incomplete record.
    std::istringstream c("1 2 2000000000 3 4");
    EXPECT_TRUE(read_voronoi(c).empty());
}

TEST(VoronoiFile, DistancesAreComparedInSinglePrecision) {
    // 4096^2 + 0.25 rounds to 4096^2 in float: a tie, so the earlier record.
    std::vector<voronoi_cell> cells{{4096, 0.5f, {}}, {4096, 0, {}}};
    EXPECT_EQ(nearest_cell(cells, 0.0f, 0.0f), 0u);
}

TEST_F(Cell, EqualDiagonalsKeepThePairZeroThree) {
    // Corners at radius 20: all three squared diagonals are exactly 1600.
    Voronoischnitt v = make("200 100 6  220 100  212 116  188 116  180 100  188 84  212 84\n",
                            200, 100);
    log.str("");
    v.compute_schnitt(1, out, log);
    EXPECT_EQ(log.str(), ".c create line 220 100 180 100\nRichtungsvektor 2, 0\n");
    auto rows = parse_profile(out.str());
    ASSERT_EQ(rows.size(), 41u);
    EXPECT_EQ(rows.front().s, -20.0);
    EXPECT_EQ(rows[20].s, 0.0);
    EXPECT_EQ(rows.back().v, float(220 + 1000 * 100));
}

TEST_F(Cell, WalkEndsAreTruncatedTowardZero) {
    // From -|80 - 100.5| = -20.5 to |120 - 100.5| = 19.5: k runs -20..19.
    Voronoischnitt v = make(flat_hex, 100.5f, 200);
    v.compute_schnitt(1, out, log);
    auto rows = parse_profile(out.str());
    ASSERT_EQ(rows.size(), 40u);
    EXPECT_EQ(rows.front().s, -19.5);
    EXPECT_EQ(rows.front().v, float(81 + 1000 * 200));
    EXPECT_EQ(rows.back().s, 19.5);
}

TEST_F(Cell, WalkMayTouchBothImageBorders) {
    Voronoischnitt v = make("200 300 6  0 300  100 250  400 250  511 300  400 350  100 350",
                            200, 300);
    v.compute_schnitt(1, out, log);
    auto rows = parse_profile(out.str());
    ASSERT_EQ(rows.size(), 512u);
    EXPECT_EQ(rows.front().v, float(0 + 1000 * 300));
    EXPECT_EQ(rows.back().v, float(511 + 1000 * 300));
}

TEST_F(Cell, SquaresAreRoundedToFloatBeforeSumming) {
    // A constant 0.1 leaves a spread of about 2e-5 instead of 0.
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) img.set(y, x, 0.1f);
    Voronoischnitt v = make(flat_hex, 100, 200);
    EXPECT_EQ(v.boundary_average(log), 0.1f);
    EXPECT_GT(v.stddev, 1.9e-5);
    EXPECT_LT(v.stddev, 2.1e-5);
}
