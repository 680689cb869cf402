// PGM files at the library level: a byte-exact 8-bit round trip over every
// byte value, and inputs that are not regular files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "testutil.h"
#include "imgclass/core/bild16.h"

using testutil::error_of;
using testutil::scratch;

namespace {

std::string slurp(const std::string& f) {
    std::ifstream in(f, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void spit(const std::string& f, const std::string& bytes) {
    std::ofstream(f, std::ios::binary) << bytes;
}

}  // namespace

TEST(Pgm, EightBitFileRoundTripsByteForByte) {
    // Every byte value at several places; reading gives b << 8, and the
    // 8-bit writer takes the high byte back.
    std::string px(512 * 512, '\0');
    for (std::size_t i = 0; i < px.size(); ++i) px[i] = char((i * 37 + i / 512) & 0xff);
    std::string file = "P5\n512 512\n255\n" + px, f = scratch("rt8.pgm");
    spit(f, file);
    bild16 b;
    b.read_pgm(f.c_str());
    EXPECT_EQ(b.get(0, 1), 37 << 8);
    EXPECT_EQ(b.get(1, 0), ((512 * 37 + 1) & 0xff) << 8);
    b.write_pgm8(f.c_str());
    EXPECT_EQ(slurp(f), file);
    std::remove(f.c_str());
}

TEST(Pgm, ReaderRefusesWhatIsNotARegularPgmWithoutTouchingTheImage) {
    bild16 b;
    b = 1234;
    std::string dir = std::filesystem::temp_directory_path().string();
    EXPECT_EQ(error_of([&] { b.read_pgm(dir.c_str()); }), dir + ": Not a PPM file");
    EXPECT_EQ(error_of([&] { b.read_pgm("/dev/null"); }), "/dev/null: Not a PPM file");
    EXPECT_EQ(error_of([&] { b.read_pgm(""); }), " not found!");
    for (std::size_t i = 0; i < b.npixels(); ++i) ASSERT_EQ(b.data()[i], 1234);
}
