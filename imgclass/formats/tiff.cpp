#include "imgclass/formats/tiff.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imgclass/system/atomic_file.h"
#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"
#include "imgclass/system/error.h"
#include "imgclass/system/fileio.h"
#include "imgclass/core/samples.h"
#include "imgclass/formats/tiff_ifd.h"
#include "imgclass/formats/region.h"

namespace quenz {

namespace {

constexpr std::uint32_t n = std::uint32_t(image_size);
// The most libtiff may allocate at once for a file, whatever its header
// claims: twice the largest strip we read (a whole image of 64-bit
// samples), room for a compressed strip that came out larger.
constexpr tmsize_t max_alloc = tmsize_t(n) * n * 8 * 2;

// libtiff's messages go here (per file, so threads do not mix them); the
// first error is the one reported, warnings are dropped.
struct Messages {
    std::string first_error;
};
int on_error(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    auto* m = static_cast<Messages*>(user);
    if (m->first_error.empty()) {
        char buf[512];
        std::vsnprintf(buf, sizeof buf, fmt, ap);
        m->first_error = buf;
        (void)module;
    }
    return 1;
}
int on_warning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct OptionsDeleter {
    void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};
struct TiffDeleter {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using Tiff = std::unique_ptr<TIFF, TiffDeleter>;

// A region's reads may allocate up to 1 GiB at once: a strip of a large
// page, whose bytes the file holds (our walk checked every strip's extent).
std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(Messages& m, const Region& region = {}) {
    std::unique_ptr<TIFFOpenOptions, OptionsDeleter> o(TIFFOpenOptionsAlloc());
    if (!o) throw std::bad_alloc();
    const tmsize_t most = region.plain() ? max_alloc : tmsize_t(1) << 30;
    TIFFOpenOptionsSetMaxSingleMemAlloc(o.get(), most);
#if TIFFLIB_AT_LEAST(4, 7, 0)
    // All of a file's allocations together: a few images' worth.
    TIFFOpenOptionsSetMaxCumulatedMemAlloc(o.get(), 4 * most);
#endif
    TIFFOpenOptionsSetErrorHandlerExtR(o.get(), on_error, &m);
    TIFFOpenOptionsSetWarningHandlerExtR(o.get(), on_warning, &m);
    return o;
}

// ------------------------------------------------------------ writing

template <class T>
void write_page(const char* name, const T* px, std::uint16_t bits, std::uint16_t format,
                tiff_compression c) {
    atomic_file out(name);
    Messages m;
    auto opts = options(m);
    // libtiff closes its own descriptor; ours reports the close.
    int fd = out.dup_fd();
    Tiff t(TIFFFdOpenExt(fd, out.temp_path().c_str(), "w", opts.get()));
    if (!t) {
        close(fd);
        out.fail();
    }
    const bool compressed = c != tiff_compression::none;
    // One strip when uncompressed (one write, one read); strips of 32 rows
    // otherwise, so that readers can decode them in pieces.
    const std::uint32_t rows_per_strip = compressed ? 32 : n;
    bool ok = TIFFSetField(t.get(), TIFFTAG_IMAGEWIDTH, n) &&
              TIFFSetField(t.get(), TIFFTAG_IMAGELENGTH, n) &&
              TIFFSetField(t.get(), TIFFTAG_BITSPERSAMPLE, bits) &&
              TIFFSetField(t.get(), TIFFTAG_SAMPLESPERPIXEL, std::uint16_t(1)) &&
              TIFFSetField(t.get(), TIFFTAG_SAMPLEFORMAT, format) &&
              TIFFSetField(t.get(), TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK) &&
              TIFFSetField(t.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(t.get(), TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
              TIFFSetField(t.get(), TIFFTAG_ROWSPERSTRIP, rows_per_strip) &&
              TIFFSetField(t.get(), TIFFTAG_COMPRESSION,
                           c == tiff_compression::none      ? COMPRESSION_NONE
                           : c == tiff_compression::deflate ? COMPRESSION_ADOBE_DEFLATE
                                                            : COMPRESSION_LZW);
    // Differences of neighbours compress counts far better; every reader
    // of deflate and LZW knows this predictor.
    if (ok && compressed && format == SAMPLEFORMAT_UINT)
        ok = TIFFSetField(t.get(), TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    const std::size_t row_bytes = std::size_t(n) * sizeof(T);
    // The encoder may change the data in place (the predictor): give it a copy.
    std::vector<T> strip(compressed ? std::size_t(rows_per_strip) * n : 0);
    for (std::uint32_t s = 0; ok && s * rows_per_strip < n; ++s) {
        const T* src = px + std::size_t(s) * rows_per_strip * n;
        std::size_t bytes = std::size_t(rows_per_strip) * row_bytes;
        if (compressed) {
            std::memcpy(strip.data(), src, bytes);
            src = strip.data();
        }
        ok = TIFFWriteEncodedStrip(t.get(), s, const_cast<T*>(src), tmsize_t(bytes)) >= 0;
    }
    ok = ok && TIFFFlush(t.get()) == 1;
    t.reset();
    if (!ok) out.fail();
    out.commit();
}

// ------------------------------------------------------------ reading

[[noreturn]] void broken(const char* name, const Messages& m, const char* what) {
    refuse(name, m.first_error.empty() ? std::string(what) : m.first_error);
}

// The sample type of the current page, or a refusal saying why not; the
// window of the region asked for in *win.
sample_kind page_kind(TIFF* t, const char* name, int page, const Region& region, Window* win) {
    std::uint32_t w = 0, h = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
    std::uint16_t photometric = PHOTOMETRIC_MINISBLACK, spp = 1, bits = 1,
                  format = SAMPLEFORMAT_UINT;
    TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &format);
    const std::string where = page ? "page " + std::to_string(page) + ": " : "";
    if (photometric != PHOTOMETRIC_MINISBLACK && photometric != PHOTOMETRIC_MINISWHITE)
        refuse(name, where + "colour TIFF (photometric interpretation " +
                         std::to_string(photometric) + "); only grey images are read");
    if (spp != 1)
        refuse(name, where + std::to_string(spp) +
                         " samples per pixel; only grey images of one sample per pixel are read");
    if (photometric == PHOTOMETRIC_MINISWHITE)
        refuse(name, where + "inverted grey (white is zero) is not read");
    if (region.plain())
        require_size(w, h, name);
    else
        *win = place(name, w, h, region);
    if (format == SAMPLEFORMAT_UINT && bits == 8) return sample_kind::u8;
    if (format == SAMPLEFORMAT_UINT && bits == 16) return sample_kind::u16;
    if (format == SAMPLEFORMAT_IEEEFP && bits == 32) return sample_kind::f32;
    if (format == SAMPLEFORMAT_IEEEFP && bits == 64) return sample_kind::f64;
    const char* kind = format == SAMPLEFORMAT_UINT     ? "unsigned"
                       : format == SAMPLEFORMAT_INT    ? "signed"
                       : format == SAMPLEFORMAT_IEEEFP ? "float"
                                                       : "complex or unknown";
    refuse(name, where + std::to_string(bits) + "-bit " + kind +
                     " samples are not read (8 or 16-bit unsigned, 32 or 64-bit float are)");
}

// A strip or tile that libtiff could not decode, after our walk found the
// tables sound: said in our words (libtiff's name scanlines and rows that
// mean nothing to the user).
[[noreturn]] void undecodable(const char* name, int page, const char* piece, std::uint32_t i,
                              std::uint32_t pieces, std::uint16_t compression) {
    refuse(name, (page ? "page " + std::to_string(page) + ": " : std::string()) + piece + " " +
                     std::to_string(i) + " of " + std::to_string(pieces) +
                     (compression == COMPRESSION_NONE
                          ? std::string(" cannot be read")
                          : ": its " + tiff_codec_name(compression) + " data does not decode"));
}

// Decodes every pixel of the current page into px (row-major, host order).
void decode_page(TIFF* t, const char* name, int page, std::uint16_t compression, std::size_t size,
                 unsigned char* px) {
    const std::size_t row_bytes = std::size_t(n) * size;
    if (TIFFIsTiled(t)) {
        std::uint32_t tw = 0, th = 0;
        TIFFGetField(t, TIFFTAG_TILEWIDTH, &tw);
        TIFFGetField(t, TIFFTAG_TILELENGTH, &th);
        if (tw == 0 || th == 0 || tw > n || th > n)
            refuse(name, "tiles of " + std::to_string(tw) + " x " + std::to_string(th) +
                             " pixels are not read (at most the image)");
        const std::size_t tile_row = std::size_t(tw) * size;
        std::vector<unsigned char> tile(tile_row * th);
        for (std::uint32_t y = 0; y < n; y += th)
            for (std::uint32_t x = 0; x < n; x += tw) {
                const std::uint32_t i = TIFFComputeTile(t, x, y, 0, 0);
                if (TIFFReadEncodedTile(t, i, tile.data(), tmsize_t(tile.size())) < 0)
                    undecodable(name, page, "tile", i, TIFFNumberOfTiles(t), compression);
                const std::uint32_t rows = std::min(th, n - y), cols = std::min(tw, n - x);
                for (std::uint32_t r = 0; r < rows; ++r)
                    std::memcpy(px + (y + r) * row_bytes + x * size, tile.data() + r * tile_row,
                                cols * size);
            }
        return;
    }
    std::uint32_t rps = n;
    TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rps);
    if (rps == 0 || rps > n) rps = n;
    for (std::uint32_t s = 0, y = 0; y < n; ++s, y += rps) {
        const std::size_t want = std::size_t(std::min(rps, n - y)) * row_bytes;
        if (TIFFReadEncodedStrip(t, s, px + y * row_bytes, tmsize_t(want)) != tmsize_t(want))
            undecodable(name, page, "strip", s, TIFFNumberOfStrips(t), compression);
    }
}

// Our walks' reads of the file open as fd.
tiff_read_at read_at(int fd) {
    return [fd](std::uint64_t offset, void* buf, std::size_t size) -> std::size_t {
        std::size_t got = 0;
        while (got < size && offset + got <= std::uint64_t(INT64_MAX)) {
            ssize_t r = pread(fd, static_cast<char*>(buf) + got, size - got, off_t(offset + got));
            if (r <= 0) break;
            got += std::size_t(r);
        }
        return got;
    };
}

// Opens the file `name` and runs a walk over it (given its reads and its
// size, UINT64_MAX when not a regular file); returns the descriptor, or
// refuses the file with the walk's reason.
template <class Walk> int open_walked(const char* name, Walk walk) {
    int fd = open_for_read(name);
    // (access after the open: a link refused unopened is never followed)
    if (fd >= 0 && access(name, R_OK) != 0) {
        close(fd);
        fd = -1;
    }
    if (fd < 0) cannot_open(name, Unopened::bang);
    struct stat st;
    const std::uint64_t size =
        fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? std::uint64_t(st.st_size) : std::uint64_t(-1);
    const std::string why = walk(read_at(fd), size);
    if (!why.empty()) {
        close(fd);
        refuse(name, why);
    }
    return fd;
}

// Opens the file for libtiff once our own walk of its directories up to
// `page` found only codecs we read (libtiff sets up a directory's codec
// while reading the directory, before any strip is decoded) and the page's
// strip or tile tables true to its image (libtiff fills a short table with
// zeros and reads the header as pixels).
Tiff open_checked(const char* name, int page, TIFFOpenOptions* opts, Messages& m, bool any_size) {
    // One descriptor for our walk and libtiff: both see the same file.
    int fd = open_walked(name, [page, any_size](const tiff_read_at& read, std::uint64_t size) {
        std::string why = tiff_codec_refusal(read, page);
        return why.empty() ? tiff_table_refusal(read, page, size, any_size) : why;
    });
    // Without memory mapping ("m"), uncompressed strips are read straight
    // into our buffer, not copied out of a fresh mapping; without strip
    // chopping ("c"), a whole-image strip is one read, not 8 KiB pieces.
    // libtiff closes the descriptor with the file, but not when the open fails.
    Tiff t(TIFFFdOpenExt(fd, name, "rmc", opts));
    if (!t) {
        close(fd);
        broken(name, m, "not a TIFF file");
    }
    return t;
}

// The window's rows, band by band: strips through libtiff's scanlines
// (which decode a strip in pieces, so a file's strip may be of any height),
// tiles one row of tiles at a time.
template <class Img>
void read_window(TIFF* t, const char* name, int page, std::uint16_t compression, sample_kind k, const Window& w,
                 Img& img) {
    const std::size_t size = sample_size(k), side = std::size_t(w.side);
    const bool counts = std::is_same_v<Img, bild16>;
    const bool big = std::endian::native == std::endian::big;
    if (TIFFIsTiled(t)) {
        std::uint32_t tw = 0, th = 0;
        TIFFGetField(t, TIFFTAG_TILEWIDTH, &tw);
        TIFFGetField(t, TIFFTAG_TILELENGTH, &th);
        if (tw == 0 || th == 0 || tw > w.side || th > w.side)
            refuse(name, "tiles of " + std::to_string(tw) + " x " + std::to_string(th) +
                             " pixels are not read (at most the region)");
        const std::size_t tile_row = std::size_t(tw) * size;
        std::vector<unsigned char> tile(tile_row * th), band(std::size_t(th) * side * size);
        std::uint64_t band_top = UINT64_MAX;  // the window row of band's first row
        read_binned(img, w, [&](std::uint64_t first, unsigned rows, double* out) {
            for (unsigned r = 0; r < rows; ++r) {
                const std::uint64_t y = w.y + first + r;  // the file's row
                const std::uint64_t top = y / th * th;
                if (top != band_top) {
                    for (std::uint64_t x = w.x / tw * tw; x < w.x + w.side; x += tw) {
                        const std::uint32_t i = TIFFComputeTile(t, std::uint32_t(x), std::uint32_t(top), 0, 0);
                        if (TIFFReadEncodedTile(t, i, tile.data(), tmsize_t(tile.size())) < 0)
                            undecodable(name, page, "tile", i, TIFFNumberOfTiles(t), compression);
                        // The tile's columns inside the window.
                        const std::uint64_t from = std::max(x, w.x), to = std::min(x + tw, w.x + w.side);
                        for (std::uint32_t tr = 0; tr < th; ++tr)
                            std::memcpy(band.data() + (tr * side + (from - w.x)) * size,
                                        tile.data() + tr * tile_row + (from - x) * size, std::size_t(to - from) * size);
                    }
                    band_top = top;
                }
                sample_values(k, big, counts, band.data() + std::size_t(y - top) * side * size, side,
                              out + std::size_t(r) * side);
            }
        });
        return;
    }
    std::uint32_t width = 0, rps = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rps);
    if (rps == 0) rps = 1;
    const std::uint64_t row_bytes = std::uint64_t(width) * size;
    if (compression == COMPRESSION_NONE) {
        // Uncompressed: only the window's bytes of each row, straight from
        // the file at the place the strip table gives (checked by our walk
        // against the file), whatever the strips' height: never a whole
        // strip in memory for a few of its rows.
        std::uint64_t* offsets = nullptr;
        if (!TIFFGetField(t, TIFFTAG_STRIPOFFSETS, &offsets) || !offsets)
            refuse(name, "TIFF directory has no StripOffsets");
        const tiff_read_at read = read_at(TIFFFileno(t));
        const std::uint32_t strips = TIFFNumberOfStrips(t);
        std::vector<unsigned char> row(side * size);
        read_binned(img, w, [&](std::uint64_t first, unsigned rows, double* out) {
            for (unsigned r = 0; r < rows; ++r) {
                const std::uint64_t y = w.y + first + r, strip = y / rps;
                if (strip >= strips) undecodable(name, page, "strip", std::uint32_t(strip), strips, compression);
                const std::uint64_t at = offsets[strip] + (y - strip * rps) * row_bytes + w.x * size;
                if (read(at, row.data(), row.size()) != row.size())
                    undecodable(name, page, "strip", std::uint32_t(strip), strips, compression);
                // (the file's byte order: these bytes did not pass through libtiff)
                sample_values(k, TIFFIsBigEndian(t), counts, row.data(), side, out + std::size_t(r) * side);
            }
        });
        return;
    }
    // Compressed rows are decoded whole: a file row is bounded, so that a
    // small file claiming an enormous width is refused, not allocated.
    constexpr std::uint64_t most_row = std::uint64_t(256) << 20;
    const std::uint64_t line_bytes = std::max<std::uint64_t>(std::uint64_t(TIFFScanlineSize64(t)), row_bytes);
    if (line_bytes > most_row)
        refuse(name, "rows of " + std::to_string(line_bytes) + " bytes are too long to read a region from (at most " +
                         std::to_string(most_row) + " when compressed)");
    std::vector<unsigned char> line(line_bytes);
    // Codecs decode a strip from its start only: the rows above the region
    // in its first strip are decoded and passed over.
    std::uint64_t next = w.y / rps * rps;
    read_binned(img, w, [&](std::uint64_t first, unsigned rows, double* out) {
        for (unsigned r = 0; r < rows; ++r) {
            const std::uint32_t y = std::uint32_t(w.y + first + r);
            for (; next <= y; ++next)
                if (TIFFReadScanline(t, line.data(), std::uint32_t(next), 0) < 0)
                    undecodable(name, page, "strip", TIFFComputeStrip(t, std::uint32_t(next), 0),
                                TIFFNumberOfStrips(t), compression);
            sample_values(k, big, counts, line.data() + w.x * size, side, out + std::size_t(r) * side);
        }
    });
}

template <class Img> void read_page(const char* name, Img& img, int page, const Region& region) {
    Messages m;
    auto opts = options(m, region);
    Tiff t = open_checked(name, page, opts.get(), m, !region.plain());
    // A page that exists but cannot be read says why; one that is not there
    // says how many there are.
    m.first_error.clear();
    if (page < 0 || !TIFFSetDirectory(t.get(), tdir_t(page))) {
        const std::string why = m.first_error;
        tdir_t pages = TIFFNumberOfDirectories(t.get());
        if (page >= 0 && tdir_t(page) < pages)
            refuse(name, "page " + std::to_string(page) + ": " +
                             (why.empty() ? std::string("broken TIFF directory") : why));
        refuse(name, "page " + std::to_string(page) + " out of range (the file has " +
                         std::to_string(pages) + (pages == 1 ? " page)" : " pages)"));
    }
    // Our walk already checked the codec; this holds whatever libtiff
    // made of the directory.
    std::uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(t.get(), TIFFTAG_COMPRESSION, &compression);
    if (!tiff_codec_supported(compression))
        refuse(name, (page ? "page " + std::to_string(page) + ": " : std::string()) +
                         "TIFF compression " + tiff_codec_name(compression) + " is not supported");
    Window win{};
    sample_kind k = page_kind(t.get(), name, page, region, &win);
    if constexpr (std::is_same_v<Img, bild16>) require_counts(k, name);
    if (!region.plain()) return read_window(t.get(), name, page, compression, k, win, img);
    // Every byte is decoded before use: no need to clear the buffer first.
    auto px = std::make_unique_for_overwrite<unsigned char[]>(std::size_t(n) * n * sample_size(k));
    decode_page(t.get(), name, page, compression, sample_size(k), px.get());
    grey_samples s{k, px.get(), std::endian::native == std::endian::big};
    if constexpr (std::is_same_v<Img, bild16>)
        store(img, s, name);
    else
        store(img, s);
}

}  // namespace

tiff_compression parse_tiff_compression(std::string_view word) {
    if (word == "none") return tiff_compression::none;
    if (word == "deflate") return tiff_compression::deflate;
    if (word == "lzw") return tiff_compression::lzw;
    throw Error("bad compression \"" + std::string(word) + "\": must be none, deflate or lzw");
}

void write_tiff(const char* name, const bild16_base& img, tiff_compression c) {
    write_page(name, img.data(), 16, SAMPLEFORMAT_UINT, c);
}
void write_tiff(const char* name, const bildfloat_base& img, tiff_compression c) {
    write_page(name, img.data(), 32, SAMPLEFORMAT_IEEEFP, c);
}
void read_tiff(const char* name, bild16& img, int page, const Region& r) { read_page(name, img, page, r); }
void read_tiff(const char* name, bildfloat& img, int page, const Region& r) { read_page(name, img, page, r); }

long tiff_pages(const char* name) {
    long pages = 0;
    close(open_walked(name, [&](const tiff_read_at& read, std::uint64_t) { return tiff_page_count(read, pages); }));
    return pages;
}

std::vector<TiffEntry> tiff_tags(const char* name, int page) {
    std::vector<TiffEntry> out;
    close(open_walked(name, [&](const tiff_read_at& read, std::uint64_t) { return tiff_entries(read, page, out); }));
    return out;
}

}  // namespace quenz
