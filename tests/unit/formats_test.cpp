// The all-or-nothing writer under real write failures (a file-size limit
// makes the disk "full" part-way), and round trips of every format.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "imgclass/system/atomic_file.h"
#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"
#include "imgclass/system/fileio.h"
#include "imgclass/formats/fits.h"
#include "imgclass/formats/npy.h"
#include "imgclass/formats/png_file.h"
#include "render/picture.h"
#include "testutil.h"
#include "imgclass/formats/tiff.h"

using testutil::error_of;
using testutil::scratch;
namespace fs = std::filesystem;

namespace {

// Files in dir whose names start with prefix.
std::vector<std::string> files_like(const std::string& dir, const std::string& prefix) {
    std::vector<std::string> r;
    for (auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().rfind(prefix, 0) == 0) r.push_back(e.path().filename());
    return r;
}

// Runs f with writes limited to `limit` bytes per file.
template <class F> void with_file_limit(rlim_t limit, F f) {
    struct rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    auto old_handler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = old;
    lim.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &lim);
    f();
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, old_handler);
}

struct Images {
    bild16 b;
    bildfloat f;
    Images() {
        for (int y = 0; y < 512; ++y)
            for (int x = 0; x < 512; ++x) {
                b.set(y, x, (unsigned short)(y * 131 + x * 7));
                f.set(y, x, float(y) - float(x) / 3.0f);
            }
    }
};

}  // namespace

TEST(AtomicFile, AFailedWriteLeavesTheOldFileAndNoTemporary) {
    Images im;
    std::string dir = scratch("atomic");
    fs::create_directories(dir);
    std::string target = dir + "/out";
    const std::vector<std::pair<const char*, std::function<void()>>> writers = {
        {"tiff16", [&] { quenz::write_tiff(target.c_str(), im.b); }},
        {"tiff-float-deflate", [&] { quenz::write_tiff(target.c_str(), im.f, quenz::tiff_compression::deflate); }},
        {"fits16", [&] { quenz::write_fits(target.c_str(), im.b); }},
        {"fits-float", [&] { quenz::write_fits(target.c_str(), im.f); }},
        {"npy16", [&] { quenz::write_npy(target.c_str(), im.b); }},
        {"npy-float", [&] { quenz::write_npy(target.c_str(), im.f); }},
        {"png16", [&] { quenz::write_png16(target.c_str(), im.b); }},
        {"png8", [&] { quenz::write_png(target.c_str(), im.f, -300.0f, 500.0f); }},
    };
    for (auto& [what, write] : writers) {
        quenz::write_file(target.c_str(), "old", 3);
        std::string msg;
        with_file_limit(1000, [&] { msg = error_of(write); });
        EXPECT_EQ(msg, "Cannot write to " + target) << what;
        auto back = quenz::read_file(target.c_str(), 16);
        ASSERT_TRUE(back) << what;
        EXPECT_EQ(std::string(back->begin(), back->end()), "old") << what;
        EXPECT_EQ(files_like(dir, "out"), std::vector<std::string>{"out"}) << what;
        // Without the limit the same writer replaces the file.
        EXPECT_EQ(error_of(write), testutil::nothing_thrown) << what;
        EXPECT_GT(fs::file_size(target), 1000u) << what;
    }
    fs::remove_all(dir);
}

TEST(AtomicFile, KeepsPermissionsFollowsLinksRefusesDirectoriesWritesDevicesInPlace) {
    std::string dir = scratch("atomic2");
    fs::create_directories(dir);
    std::string file = dir + "/f", link = dir + "/l";
    quenz::write_file(file.c_str(), "a", 1);
    chmod(file.c_str(), 0640);
    quenz::write_file_atomic(file.c_str(), "bb", 2);
    struct stat st;
    stat(file.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    fs::create_symlink("f", link);
    quenz::write_file_atomic(link.c_str(), "ccc", 3);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::file_size(file), 3u);
    for (std::string bad : {dir, dir + "/missing/x"})
        EXPECT_EQ(error_of([&] { quenz::write_file_atomic(bad.c_str(), "x", 1); }),
                  "Cannot write to " + bad);
    // A device cannot be replaced: it is written in place and stays a device.
    EXPECT_EQ(error_of([&] { quenz::write_file_atomic("/dev/null", "x", 1); }), testutil::nothing_thrown);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_EQ(files_like(dir, "f").size(), 1u);
    fs::remove_all(dir);
}

// A colour PNG as libpng's simplified reader gives it: width, height,
// format and bytes (RGBA when asked for it).
struct Decoded {
    png_uint_32 width = 0, height = 0, format = 0;
    std::vector<std::uint8_t> rgba;
};
Decoded decode_rgba(const std::string& file) {
    Decoded d;
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, file.c_str())) return d;
    d.width = img.width;
    d.height = img.height;
    d.format = img.format;
    img.format = PNG_FORMAT_RGBA;
    d.rgba.resize(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, d.rgba.data(), 0, nullptr)) d.rgba.clear();
    png_image_free(&img);
    return d;
}

TEST(PngColour, RgbAndRgbaPicturesOfAnySizeAsLibpngReadsThem) {
    std::string dir = scratch("pngcolour");
    fs::create_directories(dir);
    const std::string rgb = dir + "/rgb.png", rgba = dir + "/rgba.png";
    // 3 x 2 RGB, every byte different; 2 x 1 RGBA with a transparent pixel
    std::vector<std::uint8_t> p3(18), p4 = {10, 20, 30, 255, 40, 50, 60, 0};
    for (std::size_t i = 0; i < p3.size(); ++i) p3[i] = std::uint8_t(i * 13 + 1);
    quenz::write_png_colour(rgb.c_str(), 3, 2, 3, p3.data());
    quenz::write_png_colour(rgba.c_str(), 2, 1, 4, p4.data());
    Decoded a = decode_rgba(rgb), b = decode_rgba(rgba);
    EXPECT_EQ(a.width, 3u);
    EXPECT_EQ(a.height, 2u);
    EXPECT_EQ(a.format, png_uint_32(PNG_FORMAT_RGB));
    ASSERT_EQ(a.rgba.size(), 24u);
    for (std::size_t i = 0; i < 6; ++i) {
        for (int c = 0; c < 3; ++c) EXPECT_EQ(a.rgba[i * 4 + c], p3[i * 3 + c]) << i;
        EXPECT_EQ(a.rgba[i * 4 + 3], 255);
    }
    EXPECT_EQ(b.format, png_uint_32(PNG_FORMAT_RGBA));
    EXPECT_EQ(b.rgba, p4);
    // Sizes and channel counts PNG or we do not take: refused, naming the
    // file, before anything is made.
    const std::string bad = dir + "/bad.png";
    EXPECT_EQ(error_of([&] { quenz::write_png_colour(bad.c_str(), 0, 2, 3, p3.data()); }),
              bad + ": a picture of 0 x 2 pixels with 3 channels cannot be written as PNG");
    EXPECT_EQ(error_of([&] { quenz::write_png_colour(bad.c_str(), 3, 2, 2, p3.data()); }),
              bad + ": a picture of 3 x 2 pixels with 2 channels cannot be written as PNG");
    EXPECT_EQ(error_of([&] { quenz::write_png_colour(bad.c_str(), 1, quenz::png_max_side + 1, 3, p3.data()); }),
              bad + ": a picture of 1 x 65537 pixels with 3 channels cannot be written as PNG");
    EXPECT_FALSE(fs::exists(bad));
    EXPECT_EQ(error_of([&] { quenz::write_png_colour(dir.c_str(), 3, 2, 3, p3.data()); }),
              "Cannot write to " + dir);
    fs::remove_all(dir);
}

TEST(Formats, EveryWriterRoundTripsThroughItsReader) {
    Images im;
    std::string f = scratch("rt");
    auto same16 = [](const bild16& a, const bild16& b) {
        return std::equal(a.data(), a.data() + a.npixels(), b.data());
    };
    auto samef = [](const bildfloat& a, const bildfloat& b) {
        return std::memcmp(a.data(), b.data(), a.npixels() * sizeof(float)) == 0;
    };
    for (auto c : {quenz::tiff_compression::none, quenz::tiff_compression::deflate,
                   quenz::tiff_compression::lzw}) {
        bild16 b;
        bildfloat g;
        quenz::write_tiff(f.c_str(), im.b, c);
        quenz::read_tiff(f.c_str(), b);
        quenz::write_tiff(f.c_str(), im.f, c);
        quenz::read_tiff(f.c_str(), g);
        EXPECT_TRUE(same16(b, im.b) && samef(g, im.f));
    }
    bild16 b;
    bildfloat g;
    quenz::write_fits(f.c_str(), im.b);
    quenz::read_fits(f.c_str(), b);
    quenz::write_fits(f.c_str(), im.f);
    quenz::read_fits(f.c_str(), g);
    EXPECT_TRUE(same16(b, im.b) && samef(g, im.f));
    b = 0;
    g = 0.0f;
    quenz::write_npy(f.c_str(), im.b);
    quenz::read_npy(f.c_str(), b);
    quenz::write_npy(f.c_str(), im.f);
    quenz::read_npy(f.c_str(), g);
    EXPECT_TRUE(same16(b, im.b) && samef(g, im.f));
    b = 0;
    quenz::write_png16(f.c_str(), im.b);
    quenz::read_png(f.c_str(), b);
    EXPECT_TRUE(same16(b, im.b));
    // An 8-bit picture reads back as its grey levels times 256.
    quenz::write_png(f.c_str(), im.b);
    quenz::read_png(f.c_str(), b);
    EXPECT_EQ(b.get(100, 3), (im.b.get(100, 3) >> 8) << 8);
    fs::remove(f);
}
