// The walk over a TIFF file's directories that checks the codec before
// libtiff reads the file: both layouts and byte orders, the tag's types
// and out-of-line values, and walks that must end (cycles, huge counts).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "imgclass/formats/tiff_ifd.h"

namespace {

struct Entry {
    std::uint16_t tag, type;
    std::uint64_t count, value;  // value: in line, or an offset
};

// A file of directories one after the other, each linked to the next (or
// to `last_link` for the last), followed by `tail` at offset tail_at().
struct File {
    bool big_endian = false, bigtiff = false;
    std::vector<std::vector<Entry>> dirs;
    std::int64_t last_link = 0;  // offset the last directory links to; -1: the first
    std::vector<unsigned char> tail;
    std::vector<unsigned char> bytes;

    File(bool be, bool big, std::vector<std::vector<Entry>> d, std::int64_t link = 0)
        : big_endian(be), bigtiff(big), dirs(std::move(d)), last_link(link) {}
    void put(std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i)
            bytes.push_back(std::uint8_t(v >> (8 * (big_endian ? n - 1 - i : i))));
    }
    std::uint64_t dir_size(const std::vector<Entry>& d) const {
        return bigtiff ? 8 + 20 * d.size() + 8 : 2 + 12 * d.size() + 4;
    }
    std::uint64_t tail_at() const {
        std::uint64_t at = bigtiff ? 16 : 8;
        for (auto& d : dirs) at += dir_size(d);
        return at;
    }
    std::vector<unsigned char>& build() {
        bytes.clear();
        bytes.push_back(big_endian ? 'M' : 'I');
        bytes.push_back(big_endian ? 'M' : 'I');
        const std::uint64_t first = bigtiff ? 16 : 8;
        if (bigtiff) {
            put(43, 2), put(8, 2), put(0, 2), put(first, 8);
        } else {
            put(42, 2), put(first, 4);
        }
        std::uint64_t at = first;
        for (std::size_t k = 0; k < dirs.size(); ++k) {
            put(dirs[k].size(), bigtiff ? 8 : 2);
            for (auto& e : dirs[k]) {
                put(e.tag, 2), put(e.type, 2), put(e.count, bigtiff ? 8 : 4);
                // A SHORT or SSHORT in line sits in the first bytes of the field.
                if ((e.type == 3 || e.type == 8) && e.count == 1) put(e.value, 2), put(0, bigtiff ? 6 : 2);
                else put(e.value, bigtiff ? 8 : 4);
            }
            at += dir_size(dirs[k]);
            const std::uint64_t link = k + 1 < dirs.size() ? at
                                       : last_link < 0    ? first
                                                          : std::uint64_t(last_link);
            put(link, bigtiff ? 8 : 4);
        }
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        return bytes;
    }
};

std::string refusal_of(const std::vector<unsigned char>& b, int page) {
    return quenz::tiff_codec_refusal(
        [&b](std::uint64_t offset, void* buf, std::size_t size) -> std::size_t {
            if (offset >= b.size()) return 0;
            const std::size_t n = std::min<std::uint64_t>(size, b.size() - offset);
            std::memcpy(buf, b.data() + offset, n);
            return n;
        },
        page);
}
std::string refusal(File& f, int page = 0) { return refusal_of(f.build(), page); }

std::vector<Entry> page_with(std::uint16_t compression) {
    return {{256, 3, 1, 512}, {257, 3, 1, 512}, {259, 3, 1, compression}, {262, 3, 1, 1}};
}

}  // namespace

TEST(TiffIfd, CodecOfTheFirstPageInEveryLayoutAndByteOrder) {
    for (bool big_endian : {false, true})
        for (bool bigtiff : {false, true}) {
            for (std::uint16_t ok : {1, 5, 8, 32946, 32773}) {
                File f{big_endian, bigtiff, {page_with(ok)}};
                EXPECT_EQ(refusal(f), "") << ok;
            }
            File jbig{big_endian, bigtiff, {page_with(34661)}};
            EXPECT_EQ(refusal(jbig), "TIFF compression JBIG is not supported");
            // No Compression tag: none, as libtiff takes it.
            File none{big_endian, bigtiff, {{{256, 3, 1, 512}}}};
            EXPECT_EQ(refusal(none), "");
        }
}

TEST(TiffIfd, EveryCompressionEntryAndEveryIntegerTypeCounts) {
    File dup{false, false, {{{259, 3, 1, 1}, {259, 3, 1, 34925}}}};
    EXPECT_EQ(refusal(dup), "TIFF compression LZMA is not supported");
    File as_long{true, false, {{{259, 4, 1, 50000}}}};
    EXPECT_EQ(refusal(as_long), "TIFF compression ZSTD is not supported");
    File as_long8{false, true, {{{259, 16, 1, 0x100000005ull}}}};
    EXPECT_EQ(refusal(as_long8), "TIFF compression 4294967301 is not supported");
    File negative{true, false, {{{259, 8, 1, 0xffff}}}};
    EXPECT_EQ(refusal(negative), "TIFF compression -1 is not supported");
    File rational{false, false, {{{259, 5, 1, 0}}}};
    EXPECT_EQ(refusal(rational), "TIFF compression tag is unreadable");
    File empty{false, false, {{{259, 3, 0, 0}}}};
    EXPECT_EQ(refusal(empty), "TIFF compression tag is unreadable");

    // Three SHORTs out of line: libtiff takes the first.
    File out{false, false, {{{259, 3, 3, 0}}}};
    out.dirs[0][0].value = out.tail_at();
    out.tail = {7, 0, 1, 0, 1, 0};
    EXPECT_EQ(refusal(out), "TIFF compression JPEG is not supported");
    out.tail = {5, 0, 7, 0, 7, 0};
    EXPECT_EQ(refusal(out), "");
    out.tail = {5};  // the values end with the file
    EXPECT_EQ(refusal(out), "TIFF compression tag is unreadable");
}

TEST(TiffIfd, EveryPageUpToTheOneReadAndWalksThatEnd) {
    File three{false, false, {page_with(1), page_with(1), page_with(34661)}};
    EXPECT_EQ(refusal(three, 0), "");
    EXPECT_EQ(refusal(three, 1), "");
    EXPECT_EQ(refusal(three, 2), "page 2: TIFF compression JBIG is not supported");
    EXPECT_EQ(refusal(three, 1000), "page 2: TIFF compression JBIG is not supported");
    EXPECT_EQ(refusal(three, -1), "");

    // A last directory linking back to the first: the walk ends.
    File loop{true, true, {page_with(1), page_with(5)}, -1};
    EXPECT_EQ(refusal(loop, 2000000000), "");
    // A link outside the file, a file cut inside a directory: left to
    // libtiff, which cannot read them either.
    File away{false, false, {page_with(1)}, 1 << 30};
    EXPECT_EQ(refusal(away, 5), "");
    std::vector<unsigned char> cut = three.build();
    cut.resize(8 + three.dir_size(three.dirs[0]) + three.dir_size(three.dirs[1]) + 20);
    EXPECT_EQ(refusal_of(cut, 2), "");
    cut.resize(8 + three.dir_size(three.dirs[0]) + 20);
    EXPECT_EQ(refusal_of(cut, 2), "");

    // A BigTIFF directory claiming more entries than there are tags.
    File many{false, true, {page_with(1), {}}};
    std::vector<unsigned char> b = many.build();
    const std::size_t second = 16 + many.dir_size(many.dirs[0]);
    b[second] = 0x70, b[second + 1] = 0x11, b[second + 2] = 0x01;  // 70000
    EXPECT_EQ(refusal_of(b, 0), "");
    EXPECT_EQ(refusal_of(b, 1), "page 1: TIFF directory of 70000 entries is not read");

    // Not a TIFF header: left to libtiff's words.
    EXPECT_EQ(refusal_of({'G', 'I', 'F', '8', '9', 'a', 0, 0}, 0), "");
    EXPECT_EQ(refusal_of({'I', 'I', 43, 0, 4, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0}, 0), "");
}

TEST(TiffIfd, EntriesListedWithTheirValuesInEveryByteOrder) {
    for (bool big_endian : {false, true})
        for (bool bigtiff : {false, true}) {
            // A FLOAT 0.5 in line; SRATIONAL -1/3 and DOUBLE -2.25 in line in
            // BigTIFF's 8-byte field, else at the tail; 18 SSHORTs and
            // Latin-1 text with a NUL between two strings at the tail.
            const std::uint64_t rational = big_endian ? 0xffffffff00000003ull : 0x00000003ffffffffull;
            const std::uint64_t dbl = 0xc002000000000000ull;
            const std::uint64_t flt = big_endian && bigtiff ? 0x3f000000ull << 32 : 0x3f000000ull;
            File f{big_endian, bigtiff,
                   {{{256, 8, 1, 0xfffb}, {257, 11, 1, flt}, {258, 10, 1, rational}, {259, 12, 1, dbl},
                     {260, 8, 18, 0}, {270, 2, 10, 0}, {271, 99, 1, 0}}}};
            auto put = [&](std::uint64_t v, int n) {
                for (int i = 0; i < n; ++i) f.tail.push_back(std::uint8_t(v >> (8 * (big_endian ? n - 1 - i : i))));
            };
            const std::uint64_t tail = f.tail_at();
            if (!bigtiff) {
                f.dirs[0][2].value = tail, f.dirs[0][3].value = tail + 8;
                put(std::uint32_t(-1), 4), put(3, 4), put(dbl, 8);
            }
            f.dirs[0][4].value = tail + f.tail.size();
            for (int i = 0; i < 18; ++i) put(std::uint16_t(-i), 2);
            f.dirs[0][5].value = tail + f.tail.size();
            for (int c : {0x61, 0xb5, 0x6d, 0, 0x62, 0x63, 0x64, 0x65, 0, 0}) f.tail.push_back(std::uint8_t(c));
            const std::vector<unsigned char> b = f.build();
            std::vector<quenz::TiffEntry> got;
            const std::string why = quenz::tiff_entries(
                [&b](std::uint64_t offset, void* buf, std::size_t size) -> std::size_t {
                    if (offset >= b.size()) return 0;
                    const std::size_t n = std::min<std::uint64_t>(size, b.size() - offset);
                    std::memcpy(buf, b.data() + offset, n);
                    return n;
                },
                0, got);
            ASSERT_EQ(why, "");
            std::vector<std::string> values;
            for (auto& e : got) values.push_back(e.value);
            EXPECT_EQ(values, (std::vector<std::string>{"-5", "0.5", "-1/3", "-2.25",
                                                         "0 -1 -2 -3 -4 -5 -6 -7 -8 -9 -10 -11 -12 -13 -14 -15 ...",
                                                         "a\xc2\xb5m bcde", "?"}))
                << big_endian << bigtiff;
            EXPECT_EQ(got[4].count, 18u);
        }
}

namespace {

std::string table_refusal(File& f, int page, std::uint64_t size) {
    const std::vector<unsigned char>& b = f.build();
    return quenz::tiff_table_refusal(
        [&b](std::uint64_t offset, void* buf, std::size_t n) -> std::size_t {
            if (offset >= b.size()) return 0;
            const std::size_t k = std::min<std::uint64_t>(n, b.size() - offset);
            std::memcpy(buf, b.data() + offset, k);
            return k;
        },
        page, size);
}

// A 512 x 512 page of 16-bit pixels in one uncompressed strip at `offset`
// of `bytes`, and what else is asked.
std::vector<Entry> one_strip(std::uint64_t offset, std::uint64_t bytes, std::uint16_t offset_type = 4,
                             std::vector<Entry> more = {}) {
    std::vector<Entry> d = {{256, 3, 1, 512}, {257, 3, 1, 512}, {258, 3, 1, 16},
                            {273, offset_type, 1, offset}, {279, offset_type, 1, bytes}};
    d.insert(d.end(), more.begin(), more.end());
    return d;
}

}  // namespace

TEST(TiffIfd, TablesOfThePageReadAgainstItsImageAndTheFileEnd) {
    const std::uint64_t need = 512 * 512 * 2, unknown = std::uint64_t(-1);
    File ok{false, false, {one_strip(100, need)}};
    EXPECT_EQ(table_refusal(ok, 0, 100 + need), "");
    EXPECT_EQ(table_refusal(ok, 0, 99 + need),
              "strip 0 of 1 (524288 bytes at 100) ends past the end of the file (524387 bytes)");
    // A pipe or device: its size unknown, a sum past 2^64 still found.
    File wrap{true, true, {one_strip(~std::uint64_t(0) - 10, need, 16)}};
    EXPECT_EQ(table_refusal(wrap, 0, unknown),
              "strip 0 of 1 (524288 bytes at 18446744073709551605) ends past the end of the file");
    EXPECT_EQ(table_refusal(ok, 0, unknown), "");
    // Only the page read is checked, and named beyond the first.
    File two{false, false, {one_strip(0, 0), one_strip(100, 10)}};
    EXPECT_EQ(table_refusal(two, 1, unknown), "page 1: strip 0 of 1 holds 10 bytes; uncompressed, its pixels need 524288");
    // Pages the reader refuses for their size or samples, before any pixel
    // is read, are left to it; so is a page that is not there.
    File small{false, false, {{{256, 3, 1, 256}, {257, 3, 1, 512}, {273, 4, 1, 0}}}};
    EXPECT_EQ(table_refusal(small, 0, 1000), "");
    File rgb{false, false, {one_strip(0, 0, 4, {{277, 3, 1, 3}})}};
    EXPECT_EQ(table_refusal(rgb, 0, 1000), "");
    EXPECT_EQ(table_refusal(ok, 1, unknown), "");
    // Compressed strips need no more bytes than they have; tiles count
    // the image's columns and rows rounded up.
    File lzw{false, false, {one_strip(100, 10, 4, {{259, 3, 1, 5}})}};
    EXPECT_EQ(table_refusal(lzw, 0, 110), "");
    File tiles{false, false, {{{256, 3, 1, 512}, {257, 3, 1, 512}, {322, 3, 1, 48}, {323, 3, 1, 80},
                               {324, 4, 76, 8}, {325, 4, 77, 8}}}};
    EXPECT_EQ(table_refusal(tiles, 0, unknown), "TileOffsets has 76 entries; 512 x 512 pixels in tiles of 48 x 80 need 77");
}
