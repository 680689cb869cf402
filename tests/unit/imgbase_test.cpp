#include <gtest/gtest.h>

#include <vector>

#include "imgclass/core/imgbase.h"

TEST(Imgbase, RowsOfOneBlock) {
    bildfloat_base b;
    static_assert(bildfloat_base::SIZEX == 512 && bildfloat_base::SIZEY == 512);
    for (int y = 0; y < 512; ++y) EXPECT_EQ(b.row(y), b.data() + y * 512);
    b.set(3, 7, 2.5f);
    EXPECT_EQ(b.data()[3 * 512 + 7], 2.5f);
}

TEST(Imgbase, CopiesNeverShareStorage) {
    bild16_base a;
    a.set(0, 511, 7);
    bild16_base c(a);
    a.set(0, 511, 9);
    EXPECT_EQ(c.get(0, 511), 7);
    a = c;
    EXPECT_EQ(a.get(0, 511), 7);
    EXPECT_NE(a.data(), c.data());
}

// A move hands the block over: no copy, no second block counted, and the
// moved-to image owns it (freed once).
TEST(Imgbase, MovesHandOverTheBlockWithoutCopying) {
    const std::size_t bytes0 = quenz::big_block_bytes();
    {
        bild16_base a;
        a.set(5, 6, 77);
        const unsigned short* block = a.data();
        bild16_base b(std::move(a));
        EXPECT_EQ(b.data(), block);
        EXPECT_EQ(b.get(5, 6), 77);
        EXPECT_EQ(quenz::big_block_bytes(), bytes0 + (std::size_t(1) << 19));
        bild16_base c;
        c = std::move(b);
        EXPECT_EQ(c.data(), block);
        EXPECT_EQ(c.get(5, 6), 77);
        EXPECT_EQ(quenz::big_block_bytes(), bytes0 + 2 * (std::size_t(1) << 19));
        std::vector<bildfloat_base> v(1);
        const float* fb = v[0].data();
        v.reserve(v.capacity() + 8);  // reallocation moves the images
        EXPECT_EQ(v[0].data(), fb);
    }
    EXPECT_EQ(quenz::big_block_bytes(), bytes0);
}

TEST(Imgbase, ComplexDefaultsToZero) {
    bildcomplex_base z;
    EXPECT_EQ(z.get(511, 511).re, 0.0f);
    EXPECT_EQ(z.get(0, 0).im, 0.0f);
}

TEST(Imgbase, CoordinateCheckNamesTheCall) {
    EXPECT_NO_THROW(bild16_base::check_yx("f", 511, 0));
    try {
        bild16_base::check_yx("bild16_base_get", 512, -1);
        FAIL();
    } catch (const quenz::Error& e) {
        EXPECT_STREQ(e.what(), "bild16_base_get: coordinates outside the image (y=512, x=-1)");
    }
}

TEST(BigBlocks, ManyFreedImagesGoBackOneAfterAnotherDoNot) {
    const std::size_t bytes0 = quenz::big_block_bytes();
    const std::size_t returns0 = quenz::big_block_returns();
    // One image after another: reuse, no return.
    for (int i = 0; i < 200; ++i) {
        bildfloat_base b;
        EXPECT_EQ(quenz::big_block_bytes(), bytes0 + (std::size_t(1) << 20));
    }
    EXPECT_EQ(quenz::big_block_returns(), returns0);
    // 40 images held, then freed: a return for every 8 MiB below the peak
    // (one more if an earlier peak was higher).
    {
        std::vector<bildfloat_base> many(40);
        EXPECT_EQ(quenz::big_block_bytes(), bytes0 + 40 * (std::size_t(1) << 20));
    }
    EXPECT_EQ(quenz::big_block_bytes(), bytes0);
    EXPECT_GE(quenz::big_block_returns() - returns0, 5u);
    EXPECT_LE(quenz::big_block_returns() - returns0, 6u);
}
