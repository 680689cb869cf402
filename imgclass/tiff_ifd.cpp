#include "tiff_ifd.h"

#include <algorithm>
#include <unordered_set>

namespace quenz {

namespace {

constexpr std::uint16_t compression_tag = 259;
// More entries than there are TIFF tags: no writer makes such a directory
// (libtiff itself refuses more than 4096), and the walk stays short.
constexpr std::uint64_t max_entries = 65535;

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

// The bytes of one value of each integer type libtiff accepts for the
// Compression tag (0: a type it refuses), and whether it is signed.
std::size_t int_size(std::uint64_t type, bool& is_signed) {
    is_signed = type == 6 || type == 8 || type == 9 || type == 17;
    switch (type) {
    case 1: case 6: return 1;    // BYTE, SBYTE
    case 3: case 8: return 2;    // SHORT, SSHORT
    case 4: case 9: return 4;    // LONG, SLONG
    case 16: case 17: return 8;  // LONG8, SLONG8
    default: return 0;
    }
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

std::string tiff_codec_refusal(const tiff_read_at& read, int last_page) {
    Layout l;
    if (!header(read, l)) return "";
    // Offsets already walked: a directory that links back ends the walk,
    // as it ends libtiff's.
    std::unordered_set<std::uint64_t> seen;
    std::uint64_t offset = l.first;
    for (int page = 0; page <= std::max(last_page, 0) && offset != 0; ++page) {
        if (!seen.insert(offset).second) break;
        unsigned char c[8];
        if (read(offset, c, l.count_size()) != l.count_size()) break;
        const std::uint64_t entries = l.get(c, l.count_size());
        const std::string where = page ? "page " + std::to_string(page) + ": " : "";
        if (entries > max_entries)
            return where + "TIFF directory of " + std::to_string(entries) + " entries is not read";
        // Entries in blocks; every Compression entry counts (libtiff may set
        // the tag more than once from a directory that repeats it).
        const std::uint64_t start = offset + l.count_size();
        unsigned char block[256 * 20];
        const std::uint64_t per_block = sizeof block / l.entry_size();
        for (std::uint64_t i = 0; i < entries; i += per_block) {
            const std::uint64_t k = std::min(per_block, entries - i);
            const std::size_t bytes = std::size_t(k) * l.entry_size();
            if (read(start + i * l.entry_size(), block, bytes) != bytes) return "";
            for (std::uint64_t j = 0; j < k; ++j) {
                const unsigned char* e = block + j * l.entry_size();
                if (l.get(e, 2) != compression_tag) continue;
                const std::string why = entry_refusal(read, l, e);
                if (!why.empty()) return where + why;
            }
        }
        unsigned char next[8] = {};
        if (read(start + entries * l.entry_size(), next, l.value_size()) != l.value_size()) break;
        offset = l.get(next, l.value_size());
    }
    return "";
}

}  // namespace quenz
