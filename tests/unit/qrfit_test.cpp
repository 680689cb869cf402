#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <regex>
#include <vector>

#include "bildfloat.h"
#include "error.h"
#include "qr.h"
#include "qrfit.h"

namespace fs = std::filesystem;

namespace {

// Reference exposures; pointers to them as the fit takes them.
struct Refs {
    std::vector<bild16_base> img;
    std::vector<const bild16_base*> ptr;
    explicit Refs(int n) : img(std::size_t(n)) {
        for (auto& i : img) ptr.push_back(&i);
    }
    void fill(std::function<unsigned short(int j, int y, int x)> f) {
        for (std::size_t j = 0; j < img.size(); ++j)
            for (int y = 0; y < 512; ++y)
                for (int x = 0; x < 512; ++x) img[j].rows[y][x] = f(int(j), y, x);
    }
};

// Runs f with standard error (and output) captured.
struct Console {
    std::string out, err;
};
template <class F> Console captured(F f) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    f();
    Console c;
    c.out = testing::internal::GetCapturedStdout();
    c.err = testing::internal::GetCapturedStderr();
    return c;
}

std::string tmpfile(const char* name) {
    return (fs::path(testing::TempDir()) / name).string();
}

std::string slurp(const std::string& f) {
    std::ifstream in(f, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void put_f32(std::string& s, float v) {
    auto u = std::bit_cast<std::uint32_t>(v);
    for (int b = 0; b < 4; ++b) s += char((u >> (8 * b)) & 0xff);
}

// A QRfit file built byte by byte: coefficient k of pixel (y, x) = f(y, x, k).
std::string make_file(const char* name, std::vector<float> refw, int order,
                      std::function<float(int, int, int)> f) {
    std::string s("QRfit\0", 6);
    s += char(refw.size());
    s += char(order);
    for (float r : refw) put_f32(s, r);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x)
            for (int k = 0; k < order; ++k) put_f32(s, f(y, x, k));
    std::string path = tmpfile(name);
    std::ofstream(path, std::ios::binary) << s;
    return path;
}

// The "." and ":" marks of a fit, without the solver's Diagonal-elem lines.
std::string marks(const std::string& err) {
    std::string m = std::regex_replace(err, std::regex("Diagonal-elem\\. [0-9]+ = 0\n"), "");
    std::erase_if(m, [](char ch) { return ch != '.' && ch != ':'; });
    return m;
}

std::string error_of(std::function<void()> f) {
    try {
        f();
    } catch (const quenz::Error& e) {
        return e.what();
    } catch (const quenz::InternalError& e) {
        return std::string("internal: ") + e.what();
    }
    return "(nothing thrown)";
}

}  // namespace

TEST(QRfit, LinearCalibrationIsIdentityEverywhere) {
    Refs r(3);
    const unsigned short counts[3] = {0, 13107, 65535};
    r.fill([&](int j, int, int) { return counts[j]; });
    std::vector<float> refw{0.0f, 0.2f, 1.0f};
    Console c = captured([&] {
        QRfit q(r.ptr, refw, 3, 2);
        EXPECT_EQ(q.order(), 2);
        EXPECT_EQ(q.nrefimg(), 3);
        for (int y = 0; y < 512; y += 73)
            for (int x = 0; x < 512; x += 31) {
                EXPECT_NEAR(q.get_coeff(x, y, 0), 0.0f, 1e-6);
                EXPECT_NEAR(q.get_coeff(x, y, 1), 1.0f, 1e-6);
            }
        EXPECT_NEAR(q.apply(511, 0, 0.25f), 0.25f, 1e-6);
        EXPECT_EQ(q.apply(0, 511, -0.5f), 0.0f);
        EXPECT_EQ(q.apply(7, 7, 1.5f), 1.0f);
        EXPECT_TRUE(std::isnan(q.apply(7, 7, std::nanf(""))));
    });
    EXPECT_EQ(c.err, "");
    // The coefficient line of pixel (100, 100): two numbers, each followed by two blanks.
    std::smatch m;
    ASSERT_TRUE(std::regex_match(c.out, m, std::regex("(\\S+)  (\\S+)  \n"))) << c.out;
    EXPECT_NEAR(std::stod(m[1]), 0.0, 1e-6);
    EXPECT_EQ(m[2], "1");
}

TEST(QRfit, ConstantPixelsFallBackToAStraightLine) {
    Refs r(5);
    // Pixel (3, 4) and the whole row 200 see the same count in every exposure.
    r.fill([](int j, int y, int x) {
        if ((y == 3 && x == 4) || y == 200) return (unsigned short)(1000 + x);
        return (unsigned short)(j * 10000 + y * 7 + x);
    });
    std::vector<float> refw{0.1f, 0.3f, 0.5f, 0.7f, 0.9f};
    Console c = captured([&] {
        QRfit q(r.ptr, refw, 5, 4);
        const float want[4] = {-0.125f, 1.25f, 0.0f, 0.0f};
        for (int k = 0; k < 4; ++k) {
            EXPECT_NEAR(q.get_coeff(4, 3, k), want[k], 1e-6) << k;
            EXPECT_NEAR(q.get_coeff(300, 200, k), want[k], 1e-6) << k;
        }
        // Its neighbours are real cubic fits of the line 0.1 + 0.2·(count − x − 7y)/10000.
        EXPECT_NEAR(q.apply(3, 5, (20000 + 21 + 5) / 65535.0f), 0.5f, 1e-4);
    });
    EXPECT_EQ(marks(c.err), std::string(513, '.'));
}

TEST(QRfit, EqualFirstAndLastReferenceValuesGiveTheIdentity) {
    Refs r(3);
    r.fill([](int, int, int) { return (unsigned short)500; });
    std::vector<float> refw{0.5f, 0.1f, 0.5f};
    Console c = captured([&] {
        QRfit q(r.ptr, refw, 3, 3);
        EXPECT_EQ(q.get_coeff(511, 511, 0), 0.0f);
        EXPECT_EQ(q.get_coeff(511, 511, 1), 1.0f);
        EXPECT_EQ(q.get_coeff(511, 511, 2), 0.0f);
    });
    std::string want;
    for (int i = 0; i < 512 * 512; ++i) want += ".:";
    EXPECT_TRUE(marks(c.err) == want);
}

// The parallel fit prints exactly what a serial pass over the pixels would.
TEST(QRfit, ConsoleOutputIsInPixelOrder) {
    Refs r(4);
    std::mt19937 rng(3);
    r.fill([&](int j, int y, int x) {
        if ((x * 7 + y * 13) % 97 == 0) return (unsigned short)(x * 100 + y);  // rank-deficient
        return (unsigned short)((rng() % 20000) + j * 15000);
    });
    std::vector<float> refw{0.0f, 0.25f, 0.6f, 1.0f};
    Console c = captured([&] { QRfit q(r.ptr, refw, 4, 3); });

    std::string want;
    quenz::Matrix A(4, 3);
    double diag[3], b[4];
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            for (int j = 0; j < 4; ++j) {
                double v = r.img[j].rows[y][x] / 65535.0;
                A[j][0] = 1.0;
                A[j][1] = v;
                A[j][2] = v * v;
                b[j] = refw[j];
            }
            if (quenz::Householder_QR(4, 3, A.rows(), diag, b, 1e-10, &want)) want += '.';
        }
    EXPECT_GT(std::count(want.begin(), want.end(), '.'), 2000);
    EXPECT_TRUE(c.err == want);
}

TEST(QRfit, ArgumentsAreChecked) {
    Refs r(3);
    r.fill([](int j, int, int) { return (unsigned short)(j * 1000); });
    std::vector<float> refw{0.0f, 0.5f, 1.0f};
    std::span<const bild16_base* const> two(r.ptr.data(), 2);
    EXPECT_EQ(error_of([&] { QRfit(two, refw, 3, 2); }),
              "QRfit: refbilder ('bild16 *') has 2 elements, fewer than nrefimg = 3");
    EXPECT_EQ(error_of([&] { QRfit(r.ptr, std::span(refw).first(1), 3, 2); }),
              "QRfit: refw ('float *') has 1 elements, fewer than nrefimg = 3");
    EXPECT_EQ(error_of([&] { QRfit(r.ptr, refw, 3, 0); }), "QRfit: order_ must be at least 1, not 0");
    EXPECT_EQ(error_of([&] { QRfit(r.ptr, refw, 3, 4); }),
              "internal: Matrix darf nicht weniger Zeilen als Spalten haben !");
    EXPECT_EQ(error_of([&] { QRfit(r.ptr, refw, -1, 1); }),
              "internal: Matrix darf nicht weniger Zeilen als Spalten haben !");
    std::vector<const bild16_base*> with_null{r.ptr[0], nullptr, r.ptr[2]};
    EXPECT_EQ(error_of([&] { QRfit(with_null, refw, 3, 2); }), "QRfit: refbilder[1] is null");
}

TEST(QRfit, FileLayoutAndAccessors) {
    auto coeff = [](int y, int x, int k) { return float(y * 1000 + x) + k * 0.25f; };
    std::string path = make_file("layout.qrfit", {0.5f, -2.0f}, 3, coeff);
    QRfit q(path.c_str());
    EXPECT_EQ(q.nrefimg(), 2);
    EXPECT_EQ(q.order(), 3);
    EXPECT_EQ(q.refw(), (std::vector<float>{0.5f, -2.0f}));
    EXPECT_EQ(q.get_coeff(7, 300, 0), coeff(300, 7, 0));  // column first
    EXPECT_EQ(q.get_coeff(511, 0, 2), coeff(0, 511, 2));
    EXPECT_EQ(error_of([&] { q.get_coeff(0, 0, 3); }), "Index must be positive and < 3");
    EXPECT_EQ(error_of([&] { q.get_coeff(0, 0, -1); }), "Index must be positive and < 3");
    EXPECT_EQ(error_of([&] { q.get_coeff(512, 0, 0); }),
              "QRfit_get_coeff: coordinates outside the image (y=0, x=512)");
    EXPECT_EQ(error_of([&] { q.apply(-1, 0, 0.5f); }),
              "QRfit_apply: coordinates outside the image (y=-1, x=0)");

    // Writing reproduces the file byte for byte.
    std::string again = tmpfile("layout2.qrfit");
    q.write(again.c_str());
    EXPECT_TRUE(slurp(again) == slurp(path));
}

TEST(QRfit, WriteAndReadBackExactly) {
    Refs r(5);
    std::mt19937 rng(11);
    r.fill([&](int j, int, int) { return (unsigned short)(rng() % 6000 + j * 12000); });
    std::vector<float> refw{0.05f, 0.2f, 0.45f, 0.7f, 0.95f};
    std::string path = tmpfile("fit.qrfit");
    captured([&] {
        QRfit q(r.ptr, refw, 5, 4);
        q.write(path.c_str());
        EXPECT_EQ(fs::file_size(path), 4194332u);
        QRfit back(path.c_str());
        EXPECT_EQ(back.refw(), q.refw());
        EXPECT_EQ(back.order(), 4);
        EXPECT_EQ(std::memcmp(back.coefficients(), q.coefficients(), 4u * 4 * 512 * 512), 0);
    });
}

TEST(QRfit, BadFilesFailAndChangeNothing) {
    std::string good = make_file("good.qrfit", {0.25f}, 2, [](int, int x, int k) { return k ? 1.0f : x * 1e-3f; });
    QRfit q(good.c_str());
    auto unchanged = [&] {
        EXPECT_EQ(q.order(), 2);
        EXPECT_EQ(q.nrefimg(), 1);
        EXPECT_EQ(q.get_coeff(5, 9, 0), 5 * 1e-3f);
    };
    std::string body = slurp(good);

    EXPECT_EQ(error_of([&] { q.read("/nonexistent/x.qrfit"); }), "/nonexistent/x.qrfit not found.");
    for (int i = 0; i < 6; ++i) {
        std::string bad = body;
        bad[i] ^= 0x20;
        std::string path = tmpfile("bad.qrfit");
        std::ofstream(path, std::ios::binary) << bad;
        EXPECT_EQ(error_of([&] { q.read(path.c_str()); }), path + " is not a QRfit file") << i;
    }
    unchanged();

    std::string path = tmpfile("short.qrfit");
    for (std::size_t len : {std::size_t(3), std::size_t(7), std::size_t(11), body.size() - 1}) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << body.substr(0, len);
        std::string e = error_of([&] { q.read(path.c_str()); });
        EXPECT_EQ(e, path + (len < 6 ? " is not a QRfit file" : " is a truncated QRfit file")) << len;
    }
    unchanged();

    for (auto [nref, order] : {std::pair{char(0x80), char(2)}, std::pair{char(1), char(0)}, std::pair{char(1), char(-1)}}) {
        std::string bad = body;
        bad[6] = nref;
        bad[7] = order;
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bad;
        EXPECT_EQ(error_of([&] { q.read(path.c_str()); }),
                  path + " has invalid counts for a QRfit file (nrefimg = " + std::to_string(int(nref)) +
                      ", order = " + std::to_string(int(order)) + ")");
    }
    unchanged();
}

TEST(QRfit, WriteRefusesWhatCannotBeReadBack) {
    bild16_base one;
    std::fill(one.data(), one.data() + one.npixels(), 100);
    std::vector<const bild16_base*> many(128, &one);
    std::vector<float> refw(128, 0.5f);
    captured([&] {
        QRfit q(many, refw, 128, 1);
        std::string path = tmpfile("many.qrfit");
        EXPECT_EQ(error_of([&] { q.write(path.c_str()); }),
                  path + ": a QRfit file holds at most 127 reference values and coefficients, not 128 and 1");
        EXPECT_FALSE(fs::exists(path));
        QRfit fewer(many, refw, 127, 1);
        EXPECT_EQ(error_of([&] { fewer.write("/nonexistent/dir/x.qrfit"); }),
                  "Cannot write to /nonexistent/dir/x.qrfit");
        if (fs::exists("/dev/full")) {
            EXPECT_EQ(error_of([&] { fewer.write("/dev/full"); }), "Cannot write to /dev/full");
        }
    });
}

TEST(PolyfitCorrect, EveryPixelThroughItsOwnPolynomial) {
    // Coefficients (0, 1, 0, 0) clamp only; pixel-dependent offsets elsewhere.
    std::string path = make_file("poly.qrfit", {0.0f, 1.0f}, 4, [](int y, int x, int k) {
        if (y < 256) return k == 1 ? 1.0f : 0.0f;
        return k == 0 ? x / 1024.0f : k == 2 ? 0.5f : 0.0f;
    });
    QRfit q(path.c_str());
    bildfloat img;
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) img.rows[y][x] = (x % 4 - 1) * 0.75f;  // -0.75, 0, 0.75, 1.5
    img.rows[10][10] = std::nanf("");
    img.rows[300][10] = std::nanf("");
    bildfloat orig(img);
    EXPECT_EQ(&img.polyfit_correct(q), &img);
    EXPECT_EQ(img.rows[0][0], 0.0f);
    EXPECT_EQ(img.rows[0][1], 0.0f);
    EXPECT_EQ(img.rows[0][2], 0.75f);
    EXPECT_EQ(img.rows[0][3], 1.0f);
    EXPECT_TRUE(std::isnan(img.rows[10][10]));
    EXPECT_TRUE(std::isnan(img.rows[300][10]));
    // Lower half: x/1024 + 0.5·v², clamped.
    EXPECT_EQ(img.rows[400][100], 100 / 1024.0f + 0.5f * (0.75f * 0.75f));
    EXPECT_EQ(img.rows[400][511], 1.0f);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x)
            if (!std::isnan(orig.rows[y][x])) {
                ASSERT_EQ(img.rows[y][x], q.apply(y, x, orig.rows[y][x]));
            }
}
