// The FITS walk: card values, the data size rule (random groups, padding),
// and the same image from a pipe, which cannot seek, as from a file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "imgclass/formats/fits_header.h"
#include "testutil.h"

using testutil::error_of;
using testutil::scratch;

namespace {

std::string card(const std::string& text) { return text + std::string(80 - text.size(), ' '); }

std::string header(const std::vector<std::string>& cards) {
    std::string h;
    for (const std::string& c : cards) h += card(c);
    h += card("END");
    h.resize((h.size() + 2879) / 2880 * 2880, ' ');
    return h;
}

std::string padded(std::string data) {
    data.resize((data.size() + 2879) / 2880 * 2880, '\0');
    return data;
}

// A 512 x 512 image extension of bytes, pixel i holding i % 251.
std::string image_hdu() {
    std::string data(512 * 512, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = char(i % 251);
    return header({"XTENSION= 'IMAGE   '", "BITPIX  =                    8", "NAXIS   =                    2",
                   "NAXIS1  =                  512", "NAXIS2  =                  512",
                   "PCOUNT  =                    0", "GCOUNT  =                    1",
                   "BZERO   =                  -10 / a comment"}) +
           padded(data);
}

void spit(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

}  // namespace

TEST(FitsHeader, CardValuesInFreeFormatWithComments) {
    using quenz::fits::int_value, quenz::fits::logical_value, quenz::fits::string_value;
    EXPECT_EQ(int_value(card("NAXIS1  =   -512 / width").c_str()), -512);
    EXPECT_EQ(int_value(card("NAXIS1  = +9223372036854775807").c_str()), INT64_MAX);
    EXPECT_EQ(int_value(card("NAXIS1  = 9223372036854775808").c_str()), std::nullopt);  // overflows
    EXPECT_EQ(int_value(card("NAXIS1  = 512.0").c_str()), std::nullopt);
    EXPECT_EQ(int_value(card("NAXIS1  =").c_str()), std::nullopt);
    EXPECT_EQ(int_value(card("NAXIS1   512").c_str()), std::nullopt);  // no value indicator
    EXPECT_EQ(logical_value(card("ZIMAGE  =                    T / yes").c_str()), true);
    EXPECT_EQ(logical_value(card("ZIMAGE  = F").c_str()), false);
    EXPECT_EQ(logical_value(card("ZIMAGE  = TRUE").c_str()), std::nullopt);
    EXPECT_EQ(string_value(card("XTENSION= 'IMAGE   '           / kind").c_str()), "IMAGE");
    EXPECT_EQ(string_value(card("XTENSION= 'O''HARA' ").c_str()), "O'HARA");
    EXPECT_EQ(string_value(card("XTENSION= 'IMAGE").c_str()), std::nullopt);
    EXPECT_EQ(string_value(card("XTENSION= 'IMAGE' x").c_str()), std::nullopt);
}

TEST(FitsHeader, RealValuesStrictlyInFixedAndFreeFormat) {
    using quenz::fits::real_value;
    // Each against the double the C library reads from the same digits.
    EXPECT_EQ(real_value(card("BSCALE  =                  1.0").c_str()), 1.0);
    EXPECT_EQ(real_value(card("BZERO   = 32768 / unsigned").c_str()), 32768.0);
    EXPECT_EQ(real_value(card("BZERO   =   -.5").c_str()), -0.5);
    EXPECT_EQ(real_value(card("BZERO   =   +3.").c_str()), 3.0);
    EXPECT_EQ(real_value(card("BSCALE  = 1.5D-3").c_str()), std::strtod("1.5e-3", nullptr));
    EXPECT_EQ(real_value(card("BSCALE  = 0.1E+01").c_str()), 1.0);
    EXPECT_EQ(real_value(card("BSCALE  = 2.5e2").c_str()), 250.0);
    EXPECT_EQ(real_value(card("BSCALE  = 0.1").c_str()), std::strtod("0.1", nullptr));
    bool range = true;
    for (const char* bad : {"BSCALE  =", "BSCALE  = 'abc'", "BSCALE  = NAN", "BSCALE  = INF", "BSCALE  = .",
                            "BSCALE  = 1.5E", "BSCALE  = 1.5E+", "BSCALE  = 1..5", "BSCALE  = 1.5 x",
                            "BSCALE  = (1.0, 2.0)", "BSCALE  = T", "BSCALE   1.0", "BSCALE  = 0x10",
                            "BSCALE  = - 1"}) {
        EXPECT_EQ(real_value(card(bad).c_str(), &range), std::nullopt) << bad;
        EXPECT_FALSE(range) << bad;
    }
    for (const char* huge : {"BSCALE  = 1.0D400", "BSCALE  = -1E309", "BSCALE  = 1E-400"}) {
        EXPECT_EQ(real_value(card(huge).c_str(), &range), std::nullopt) << huge;
        EXPECT_TRUE(range) << huge;
    }
}

TEST(FitsHeader, WalksPastRandomGroupsAndReadsAnImageFromAPipeAsFromAFile) {
    // Random groups: NAXIS1 = 0 does not count, 2 groups of (3 + 20 x 50) 32-bit values,
    // three blocks (with NAXIS1 counted: none).
    const std::string groups =
        header({"SIMPLE  =                    T", "BITPIX  =                   32", "NAXIS   =                    3",
                "NAXIS1  =                    0", "NAXIS2  =                   20", "NAXIS3  =                   50",
                "GROUPS  =                    T", "PCOUNT  =                    3", "GCOUNT  =                    2"}) +
        padded(std::string(2 * (3 + 1000) * 4, '\x01'));
    const std::string file = groups + image_hdu();
    const std::string path = scratch("groups.fits");
    spit(path, file);
    std::vector<unsigned char> img = quenz::fits::extract_image(path.c_str(), 2);
    // The one-HDU file: mandatory cards and the scaling card made anew from the values read.
    const std::string head(img.begin(), img.begin() + 2880);
    EXPECT_EQ(head.substr(0, 80 * 6),
              card("SIMPLE  =                    T") + card("BITPIX  =                    8") +
                  card("NAXIS   =                    2") + card("NAXIS1  =                  512") +
                  card("NAXIS2  =                  512") + card("BZERO   =                  -10"));
    EXPECT_EQ(head.substr(80 * 6, 80), card("END"));
    ASSERT_EQ(img.size(), 2880u + 92 * 2880);
    EXPECT_EQ(std::string(img.begin() + 2880, img.end()), file.substr(file.size() - 92 * 2880));

    const std::string fifo = scratch("groups.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { spit(fifo, file); });
    std::vector<unsigned char> piped = quenz::fits::extract_image(fifo.c_str(), 2);
    writer.join();
    EXPECT_EQ(piped, img);

    // Cut in the image's padding: refused, as cfitsio reads whole blocks.
    spit(path, file.substr(0, file.size() - 1));
    EXPECT_EQ(error_of([&] { quenz::fits::extract_image(path.c_str(), 2); }),
              path + ": HDU 2 claims 264960 bytes of data, the file holds 264959 after its header");
    unlink(path.c_str());
    unlink(fifo.c_str());
}

TEST(FitsHeader, HeadersWithoutEndOrBeyondTheBoundAreRefused) {
    const std::string path = scratch("long.fits");
    std::string cards = card("SIMPLE  =                    T") + card("BITPIX  =                   16") +
                        card("NAXIS   =                    0");
    std::string blanks(quenz::fits::max_header_blocks * 2880 - cards.size(), ' ');
    spit(path, cards + blanks + header({}));
    EXPECT_EQ(error_of([&] { quenz::fits::extract_image(path.c_str(), 1); }),
              path + ": the header of HDU 1 is longer than 1000 blocks");
    spit(path, cards + blanks.substr(0, 2880 * 2 - cards.size()));
    EXPECT_EQ(error_of([&] { quenz::fits::extract_image(path.c_str(), 1); }),
              path + ": the header of HDU 1 has no END card");
    spit(path, card("SIMPLE  =                    T") + card("BITPIX  =                   12") + header({}));
    EXPECT_EQ(error_of([&] { quenz::fits::extract_image(path.c_str(), 1); }),
              path + ": the header of HDU 1 has BITPIX = 12, not 8, 16, 32, 64, -32 or -64");
    unlink(path.c_str());
}
