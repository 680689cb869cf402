#include "imgclass/formats/tiff_ifd.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>
#include <unordered_set>

namespace quenz {

namespace {

constexpr std::uint16_t compression_tag = 259;
// More entries than there are TIFF tags: no writer makes such a directory
// (libtiff itself refuses more than 4096), and the walk stays short.
constexpr std::uint64_t max_entries = 65535;
// What a listing of one directory shows: libtiff's own bound on entries,
// numbers and text enough to tell what a tag holds.
constexpr std::uint64_t max_listed = 4096;
constexpr std::uint64_t max_numbers = 16;
constexpr std::size_t max_text = 4096;
// The reason a visit gives for a structure it cannot follow.
const std::string stop = "\x01";

std::string where(int page) { return page ? "page " + std::to_string(page) + ": " : ""; }

struct Layout {
    bool big_endian = false, bigtiff = false;
    std::uint64_t first = 0;  // offset of the first directory
    std::size_t count_size() const { return bigtiff ? 8 : 2; }
    std::size_t entry_size() const { return bigtiff ? 20 : 12; }
    std::size_t value_size() const { return bigtiff ? 8 : 4; }
    std::uint64_t get(const unsigned char* p, std::size_t bytes) const {
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < bytes; ++i)
            v |= std::uint64_t(p[big_endian ? bytes - 1 - i : i]) << (8 * i);
        return v;
    }
};

// The header, or false when it is none libtiff would accept either.
bool header(const tiff_read_at& read, Layout& l) {
    unsigned char h[16];
    const std::size_t got = read(0, h, sizeof h);
    if (got < 8) return false;
    if (h[0] == 'I' && h[1] == 'I') l.big_endian = false;
    else if (h[0] == 'M' && h[1] == 'M') l.big_endian = true;
    else return false;
    const auto magic = l.get(h + 2, 2);
    if (magic == 42) {
        l.first = l.get(h + 4, 4);
        return true;
    }
    if (magic != 43 || got < 16 || l.get(h + 4, 2) != 8 || l.get(h + 6, 2) != 0) return false;
    l.bigtiff = true;
    l.first = l.get(h + 8, 8);
    return true;
}

// The bytes of one value of each TIFF type (0: no such type).
constexpr std::size_t type_width[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4, 0, 0, 8, 8, 8};

std::size_t width_of(std::uint64_t type) { return type < std::size(type_width) ? type_width[type] : 0; }

// The bytes of one value of each integer type libtiff accepts for the
// Compression tag (0: a type it refuses), and whether it is signed.
std::size_t int_size(std::uint64_t type, bool& is_signed) {
    is_signed = type == 6 || type == 8 || type == 9 || type == 17;
    const bool integer = type == 1 || type == 3 || type == 4 || type == 16 || is_signed;
    return integer ? width_of(type) : 0;
}

// Why one Compression entry is refused, or "" when its codec is one we read.
// libtiff takes the first value when an entry holds several.
std::string entry_refusal(const tiff_read_at& read, const Layout& l, const unsigned char* e) {
    const std::uint64_t type = l.get(e + 2, 2);
    const std::uint64_t count = l.get(e + 4, l.bigtiff ? 8 : 4);
    const unsigned char* field = e + (l.bigtiff ? 12 : 8);
    bool is_signed = false;
    const std::size_t size = int_size(type, is_signed);
    const std::string unreadable = "TIFF compression tag is unreadable";
    if (size == 0 || count == 0) return unreadable;
    unsigned char v[8];
    if (count <= l.value_size() / size) {
        std::copy(field, field + size, v);
    } else if (read(l.get(field, l.value_size()), v, size) != size) {
        return unreadable;
    }
    std::uint64_t value = l.get(v, size);
    std::string shown;
    if (is_signed && (value >> (8 * size - 1)) & 1) {
        // Negative: no codec; shown as the number it is.
        const std::uint64_t magnitude = size == 8 ? ~value + 1 : (std::uint64_t(1) << (8 * size)) - value;
        shown = std::string("-").append(std::to_string(magnitude));
    } else if (tiff_codec_supported(value)) {
        return "";
    } else {
        shown = tiff_codec_name(value);
    }
    return "TIFF compression " + shown + " is not supported";
}

}  // namespace

bool tiff_codec_supported(std::uint64_t c) {
    return c == 1 || c == 5 || c == 8 || c == 32946 || c == 32773;
}

std::string tiff_codec_name(std::uint64_t c) {
    switch (c) {
    case 1: return "none";
    case 2: return "CCITT RLE";
    case 3: return "CCITT G3";
    case 4: return "CCITT G4";
    case 5: return "LZW";
    case 6: return "OJPEG";
    case 7: return "JPEG";
    case 8: case 32946: return "deflate";
    case 9: return "JBIG T.85";
    case 10: return "JBIG T.43";
    case 32766: return "NeXT";
    case 32771: return "CCITT RLEW";
    case 32773: return "PackBits";
    case 32809: return "ThunderScan";
    case 32908: return "PixarFilm";
    case 32909: return "PixarLog";
    case 32947: return "DCS";
    case 34661: return "JBIG";
    case 34676: return "SGILog";
    case 34677: return "SGILog24";
    case 34712: return "JPEG 2000";
    case 34887: return "LERC";
    case 34925: return "LZMA";
    case 50000: return "ZSTD";
    case 50001: return "WEBP";
    case 50002: return "JPEG XL";
    default: return std::to_string(c);
    }
}

namespace {

// Walks the directories 0 .. last_page, calling visit(page, first entry's
// offset, entries) for each; a visit that returns a reason ends the walk
// with it. A structure the walk cannot follow ends it with "". Offsets
// already walked: a directory that links back ends the walk, as it ends
// libtiff's.
template <class Visit>
std::string walk(const tiff_read_at& read, const Layout& l, int last_page, Visit visit) {
    std::unordered_set<std::uint64_t> seen;
    std::uint64_t offset = l.first;
    for (int page = 0; page <= std::max(last_page, 0) && offset != 0; ++page) {
        if (!seen.insert(offset).second) break;
        unsigned char c[8];
        if (read(offset, c, l.count_size()) != l.count_size()) break;
        const std::uint64_t entries = l.get(c, l.count_size());
        if (entries > max_entries)
            return where(page) + "TIFF directory of " + std::to_string(entries) + " entries is not read";
        const std::uint64_t start = offset + l.count_size();
        if (std::string why = visit(page, start, entries); !why.empty()) return why;
        unsigned char next[8] = {};
        if (read(start + entries * l.entry_size(), next, l.value_size()) != l.value_size()) break;
        offset = l.get(next, l.value_size());
    }
    return "";
}

// An entry's value as text: up to 16 numbers (rationals as a/b), then
// "...", or the text of an ASCII value; "?" for a type TIFF does not have.
std::string value_text(const tiff_read_at& read, const Layout& l, std::uint64_t type, std::uint64_t count,
                       const unsigned char* field) {
    const std::size_t w = width_of(type);
    if (w == 0) return "?";
    // The value's size, saturated: a count near 2^64 claims more than any file.
    const std::uint64_t total = count > std::uint64_t(-1) / w ? std::uint64_t(-1) : count * w;
    const std::size_t shown = type == 2 ? max_text : std::min<std::uint64_t>(count, max_numbers) * w;
    const std::size_t bytes = std::size_t(std::min<std::uint64_t>(total, shown));
    std::vector<unsigned char> raw(bytes);
    if (total <= l.value_size()) {
        std::copy(field, field + bytes, raw.begin());
    } else {
        raw.resize(read(l.get(field, l.value_size()), raw.data(), bytes));
    }
    std::string out;
    if (type == 2) {
        // Latin-1 to UTF-8; NULs end the strings of the value.
        while (!raw.empty() && raw.back() == 0) raw.pop_back();
        for (unsigned char ch : raw) {
            if (ch == 0) ch = ' ';
            if (ch < 0x80) {
                out += char(ch);
            } else {
                out += char(0xc0 | (ch >> 6));
                out += char(0x80 | (ch & 0x3f));
            }
        }
        return out;
    }
    char buf[64];
    for (std::size_t at = 0; at + w <= raw.size(); at += w) {
        const std::uint64_t v = l.get(raw.data() + at, w);
        // A rational is two 4-byte numbers, each in the file's byte order.
        const std::uint64_t num = type == 5 || type == 10 ? l.get(raw.data() + at, 4) : 0;
        const std::uint64_t den = type == 5 || type == 10 ? l.get(raw.data() + at + 4, 4) : 0;
        switch (type) {
        case 6: std::snprintf(buf, sizeof buf, "%d", int(std::int8_t(v))); break;
        case 8: std::snprintf(buf, sizeof buf, "%d", int(std::int16_t(v))); break;
        case 9: std::snprintf(buf, sizeof buf, "%d", int(std::int32_t(v))); break;
        case 17: std::snprintf(buf, sizeof buf, "%lld", (long long)std::int64_t(v)); break;
        case 5: std::snprintf(buf, sizeof buf, "%u/%u", unsigned(num), unsigned(den)); break;
        case 10: std::snprintf(buf, sizeof buf, "%d/%d", int(std::int32_t(num)), int(std::int32_t(den))); break;
        case 11: {
            float f;
            const std::uint32_t u = std::uint32_t(v);
            std::memcpy(&f, &u, 4);
            std::snprintf(buf, sizeof buf, "%.9g", double(f));
            break;
        }
        case 12: {
            double d;
            std::memcpy(&d, &v, 8);
            std::snprintf(buf, sizeof buf, "%.17g", d);
            break;
        }
        default: std::snprintf(buf, sizeof buf, "%llu", (unsigned long long)v);
        }
        if (!out.empty()) out += ' ';
        out += buf;
    }
    if (count > max_numbers) out += " ...";
    return out;
}

}  // namespace

std::string tiff_codec_refusal(const tiff_read_at& read, int last_page) {
    Layout l;
    if (!header(read, l)) return "";
    const std::string why = walk(read, l, last_page, [&](int page, std::uint64_t start, std::uint64_t entries) -> std::string {
        // Entries in blocks; every Compression entry counts (libtiff may set
        // the tag more than once from a directory that repeats it).
        unsigned char block[256 * 20];
        const std::uint64_t per_block = sizeof block / l.entry_size();
        for (std::uint64_t i = 0; i < entries; i += per_block) {
            const std::uint64_t k = std::min(per_block, entries - i);
            const std::size_t bytes = std::size_t(k) * l.entry_size();
            // A directory cut short: libtiff reports it in its own words.
            if (read(start + i * l.entry_size(), block, bytes) != bytes) return stop;
            for (std::uint64_t j = 0; j < k; ++j) {
                const unsigned char* e = block + j * l.entry_size();
                if (l.get(e, 2) != compression_tag) continue;
                const std::string why = entry_refusal(read, l, e);
                if (!why.empty()) return where(page) + why;
            }
        }
        return "";
    });
    return why == stop ? "" : why;
}

namespace {

// The tags that say where a page's pixels are and how many bytes they take.
enum : std::uint16_t {
    image_width = 256, image_length = 257, bits_per_sample = 258, samples_per_pixel = 277,
    strip_offsets = 273, rows_per_strip = 278, strip_byte_counts = 279, planar_config = 284,
    tile_width = 322, tile_length = 323, tile_offsets = 324, tile_byte_counts = 325
};
constexpr std::uint16_t layout_tags[] = {image_width, image_length, bits_per_sample, compression_tag,
                                         strip_offsets, samples_per_pixel, rows_per_strip, strip_byte_counts,
                                         planar_config, tile_width, tile_length, tile_offsets, tile_byte_counts};

const char* tag_name(std::uint16_t tag) {
    switch (tag) {
    case image_width: return "ImageWidth";
    case image_length: return "ImageLength";
    case bits_per_sample: return "BitsPerSample";
    case compression_tag: return "Compression";
    case strip_offsets: return "StripOffsets";
    case samples_per_pixel: return "SamplesPerPixel";
    case rows_per_strip: return "RowsPerStrip";
    case strip_byte_counts: return "StripByteCounts";
    case planar_config: return "PlanarConfiguration";
    case tile_width: return "TileWidth";
    case tile_length: return "TileLength";
    case tile_offsets: return "TileOffsets";
    default: return "TileByteCounts";
    }
}

// The bytes of one value of an unsigned integer type (BYTE, SHORT, LONG,
// IFD, LONG8, IFD8), 0 for any other type.
std::size_t unsigned_width(std::uint64_t type) {
    return type == 1 || type == 3 || type == 4 || type == 13 || type == 16 || type == 18 ? width_of(type) : 0;
}

std::string plural(std::uint64_t k, const char* one, const char* many) {
    return std::to_string(k) + " " + (k == 1 ? one : many);
}

// The layout entries of one directory, each kept as it stands.
struct Layout_entries {
    const tiff_read_at& read_;
    const Layout& l_;
    std::vector<unsigned char> raw[std::size(layout_tags)];

    const unsigned char* find(std::uint16_t tag) const {
        for (std::size_t i = 0; i < std::size(layout_tags); ++i)
            if (layout_tags[i] == tag) return raw[i].empty() ? nullptr : raw[i].data();
        return nullptr;
    }
    std::uint64_t type(const unsigned char* e) const { return l_.get(e + 2, 2); }
    std::uint64_t count(const unsigned char* e) const { return l_.get(e + 4, l_.bigtiff ? 8 : 4); }
    // The values of an unsigned integer entry, all of them (`all`) or the
    // first; false when its type is no unsigned integer, it has no value or
    // its values are not in the file.
    bool values(const unsigned char* e, std::vector<std::uint64_t>& out, bool all, std::uint64_t file_size,
                std::string* where_not = nullptr) const {
        const std::size_t w = unsigned_width(type(e));
        const std::uint64_t k = all ? count(e) : std::min<std::uint64_t>(count(e), 1);
        if (w == 0 || count(e) == 0) return false;
        const std::uint64_t bytes = k * w;  // k is at most what the caller checked
        std::vector<unsigned char> buf(std::size_t(bytes), 0);
        const unsigned char* field = e + (l_.bigtiff ? 12 : 8);
        if (count(e) <= l_.value_size() / w) {
            std::copy(field, field + bytes, buf.begin());
        } else {
            const std::uint64_t at = l_.get(field, l_.value_size());
            std::uint64_t end = 0;
            if (__builtin_add_overflow(at, bytes, &end) || end > file_size) {
                if (where_not) {
                    where_not->assign("(").append(std::to_string(bytes)).append(" bytes at ");
                    where_not->append(std::to_string(at)).append(") lies past the end of the file");
                }
                return false;
            }
            if (read_(at, buf.data(), buf.size()) != buf.size()) return false;
        }
        out.resize(std::size_t(k));
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = l_.get(buf.data() + i * w, w);
        return true;
    }
};

}  // namespace

std::string tiff_table_refusal(const tiff_read_at& read, int page, std::uint64_t file_size, bool any_size) {
    Layout l;
    if (!header(read, l)) return "";
    const std::uint64_t header_bytes = l.bigtiff ? 16 : 8;
    const std::string why = walk(read, l, page, [&](int p, std::uint64_t start, std::uint64_t entries) -> std::string {
        if (p < page) return "";
        const std::string at = where(p);
        Layout_entries d{read, l, {}};
        std::vector<unsigned char> all(std::size_t(entries) * l.entry_size());
        if (read(start, all.data(), all.size()) != all.size()) return stop;
        for (std::uint64_t i = 0; i < entries; ++i) {
            const unsigned char* e = all.data() + i * l.entry_size();
            const std::uint64_t tag = l.get(e, 2);
            for (std::size_t k = 0; k < std::size(layout_tags); ++k) {
                if (layout_tags[k] != tag) continue;
                // Readers differ in which of two entries they take.
                if (!d.raw[k].empty()) return at + "TIFF directory has " + tag_name(layout_tags[k]) + " twice";
                d.raw[k].assign(e, e + l.entry_size());
            }
        }
        // One value of a tag (its first), or `otherwise` when it is absent.
        std::string bad;
        auto scalar = [&](std::uint16_t tag, std::uint64_t otherwise) -> std::uint64_t {
            const unsigned char* e = d.find(tag);
            std::vector<std::uint64_t> v;
            if (!e) return otherwise;
            if (!d.values(e, v, false, file_size) && bad.empty())
                bad = at + "TIFF tag " + tag_name(tag) + " is unreadable";
            return v.empty() ? 0 : v[0];
        };
        for (std::uint16_t tag : {image_width, image_length})
            if (!d.find(tag)) return at + "TIFF directory has no " + tag_name(tag);
        const std::uint64_t w = scalar(image_width, 0), h = scalar(image_length, 0);
        const std::uint64_t spp = scalar(samples_per_pixel, 1);
        if (!bad.empty()) return bad;
        // Refused by the reader for what they are, before any pixel is read
        // (a region may be read from a page of any size: its tables are
        // checked whatever the size).
        if ((!any_size && (w != 512 || h != 512)) || spp != 1 || w == 0 || h == 0) return "";
        const std::uint64_t bits = scalar(bits_per_sample, 1);
        const std::uint64_t compression = scalar(compression_tag, 1);
        const bool tiled = d.find(tile_width) || d.find(tile_length);
        const std::uint64_t rps = scalar(rows_per_strip, std::uint64_t(0xffffffff));
        const std::uint64_t tw = scalar(tile_width, 0), th = scalar(tile_length, 0);
        if (!bad.empty()) return bad;
        // No sample the reader takes (8 to 64 bits): refused before any pixel is read.
        if (bits == 0 || bits > 64) return "";
        const std::uint16_t offsets_tag = tiled ? tile_offsets : strip_offsets;
        const std::uint16_t counts_tag = tiled ? tile_byte_counts : strip_byte_counts;
        const char* piece = tiled ? "tile" : "strip";
        // libtiff takes either table for the other.
        if (d.find(tiled ? strip_offsets : tile_offsets) || d.find(tiled ? strip_byte_counts : tile_byte_counts))
            return at + "TIFF directory has both strip and tile tables";
        // How many pieces the image needs, and the bytes of piece i
        // uncompressed.
        std::uint64_t pieces = 0;
        std::function<std::uint64_t(std::uint64_t)> need;
        std::string shape;
        if (tiled) {
            if (!d.find(tile_width) || !d.find(tile_length))
                return at + "TIFF directory has " + (d.find(tile_width) ? "TileWidth but no TileLength" : "TileLength but no TileWidth");
            if (tw == 0 || th == 0)
                return at + "tiles of " + std::to_string(tw) + " x " + std::to_string(th) + " pixels are not read";
            // Larger than the image: refused by the reader before any tile is read.
            if (tw > w || th > h) return "";
            if (__builtin_mul_overflow((w + tw - 1) / tw, (h + th - 1) / th, &pieces))
                return at + "tiles of " + std::to_string(tw) + " x " + std::to_string(th) + " pixels are not read";
            std::uint64_t tile = 0;
            if (__builtin_mul_overflow(th, (tw * bits + 7) / 8, &tile))
                return at + "tiles of " + std::to_string(tw) + " x " + std::to_string(th) + " pixels are not read";
            need = [tile](std::uint64_t) { return tile; };
            shape = std::to_string(w) + " x " + std::to_string(h) + " pixels in tiles of " + std::to_string(tw) +
                    " x " + std::to_string(th);
        } else {
            if (rps == 0) return at + "TIFF RowsPerStrip is 0";
            const std::uint64_t rows = std::min(rps, h);
            pieces = (h + rows - 1) / rows;
            const std::uint64_t row_bytes = (w * bits + 7) / 8;
            // (w and h fit 32 bits, bits 64: a strip's bytes may not fit 64)
            std::uint64_t strip_bytes = 0;
            if (__builtin_mul_overflow(rows, row_bytes, &strip_bytes))
                return at + "strips of " + plural(rows, "row", "rows") + " of " + std::to_string(row_bytes) +
                       " bytes are too large";
            need = [=](std::uint64_t i) { return std::min(rows, h - i * rows) * row_bytes; };
            shape = plural(h, "row", "rows") + " in strips of " + plural(rows, "row", "rows");
        }
        const std::string name_of_offsets = tag_name(offsets_tag), name_of_counts = tag_name(counts_tag);
        const unsigned char* oe = d.find(offsets_tag);
        const unsigned char* ce = d.find(counts_tag);
        if (!oe) return at + "TIFF directory has no " + name_of_offsets;
        // Without byte counts libtiff works out a length only for one
        // strip; for uncompressed data that length is exactly what the
        // rows need, so that case alone is read (checked below as if the
        // counts said so). Compressed data has no length to work out.
        if (!ce && (tiled || pieces != 1 || compression != 1))
            return at + "TIFF directory has no " + name_of_counts +
                   " (only an uncompressed image in one strip is read without)";
        for (const unsigned char* e : {oe, ce}) {
            if (!e) continue;
            const std::string which = tag_name(std::uint16_t(l.get(e, 2)));
            if (unsigned_width(d.type(e)) == 0)
                return at + which + " has values of TIFF type " + std::to_string(d.type(e)) +
                       ", not unsigned integers";
            if (d.count(e) != pieces)
                return at + which + " has " + plural(d.count(e), "entry", "entries") + "; " + shape + " need " +
                       std::to_string(pieces);
        }
        std::vector<std::uint64_t> offsets, counts;
        std::string not_there;
        if (!d.values(oe, offsets, true, file_size, &not_there))
            return at + "the table " + name_of_offsets + " " + (not_there.empty() ? "is unreadable" : not_there);
        if (ce && !d.values(ce, counts, true, file_size, &not_there))
            return at + "the table " + name_of_counts + " " + (not_there.empty() ? "is unreadable" : not_there);
        for (std::uint64_t i = 0; i < pieces; ++i) {
            const std::uint64_t off = offsets[i], bytes = ce ? counts[i] : need(i);
            const std::string which = at + piece + " " + std::to_string(i) + " of " + std::to_string(pieces);
            if (bytes == 0) return which + " has a byte count of 0";
            if (off < header_bytes) return which + " starts inside the TIFF header (at " + std::to_string(off) + ")";
            std::uint64_t end = 0;
            if (__builtin_add_overflow(off, bytes, &end) || end > file_size)
                return which + " (" + std::to_string(bytes) + " bytes at " + std::to_string(off) +
                       ") ends past the end of the file" +
                       (file_size == std::uint64_t(-1) ? "" : " (" + std::to_string(file_size) + " bytes)");
            if (compression == 1 && bytes < need(i))
                return which + " holds " + std::to_string(bytes) + " bytes; uncompressed, its pixels need " +
                       std::to_string(need(i));
        }
        return "";
    });
    return why == stop ? "" : why;
}

std::string tiff_page_count(const tiff_read_at& read, long& pages) {
    pages = 0;
    Layout l;
    if (!header(read, l)) return "not a TIFF file";
    std::string why = walk(read, l, max_tiff_pages, [&](int, std::uint64_t, std::uint64_t) -> std::string {
        return ++pages > max_tiff_pages ? "more than " + std::to_string(max_tiff_pages) + " pages are not counted" : "";
    });
    return why;
}

std::string tiff_entries(const tiff_read_at& read, int page, std::vector<TiffEntry>& out) {
    out.clear();
    Layout l;
    if (!header(read, l)) return "not a TIFF file";
    if (page < 0) return "page " + std::to_string(page) + " out of range (counted from 0)";
    int reached = -1;
    std::string why = walk(read, l, page, [&](int p, std::uint64_t start, std::uint64_t entries) -> std::string {
        reached = p;
        if (p < page) return "";
        if (entries > max_listed)
            return where(p) + "TIFF directory of " + std::to_string(entries) + " entries is not read";
        std::vector<unsigned char> all(std::size_t(entries) * l.entry_size());
        if (read(start, all.data(), all.size()) != all.size()) return where(p) + "TIFF directory is cut short";
        for (std::uint64_t i = 0; i < entries; ++i) {
            const unsigned char* e = all.data() + i * l.entry_size();
            TiffEntry t;
            t.tag = std::uint16_t(l.get(e, 2));
            t.type = std::uint16_t(l.get(e + 2, 2));
            t.count = l.get(e + 4, l.bigtiff ? 8 : 4);
            t.value = value_text(read, l, t.type, t.count, e + (l.bigtiff ? 12 : 8));
            out.push_back(std::move(t));
        }
        return "";
    });
    if (why.empty() && reached < page) {
        const long pages = reached + 1;
        why = "page " + std::to_string(page) + " out of range (the file has " + std::to_string(pages) +
              (pages == 1 ? " page)" : " pages)");
    }
    return why;
}

}  // namespace quenz
