#include "imgclass/formats/png_file.h"

#include <png.h>
#include <sys/stat.h>

#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imgclass/system/atomic_file.h"
#include "imgclass/core/bild16.h"
#include "imgclass/system/fileio.h"
#include "imgclass/core/samples.h"
#include "imgclass/formats/region.h"
#include "imgclass/system/error.h"

namespace quenz {

namespace {

constexpr std::uint32_t n = std::uint32_t(image_size);
constexpr bool host_little = std::endian::native == std::endian::little;
// The most any chunk but IDAT may claim (IDAT is decoded as it streams):
// the size of a 16-bit image.
constexpr png_uint_32 max_chunk = png_uint_32(n) * n * 2;

// libpng reports errors by longjmp. The functions that call libpng below
// hold no C++ object that needs destruction between setjmp and the calls
// (buffers and files belong to their callers), and their messages go to a
// plain character array.
struct Context {
    char message[200] = "";
};
void on_error(png_structp png, png_const_charp msg) {
    auto* c = static_cast<Context*>(png_get_error_ptr(png));
    std::snprintf(c->message, sizeof c->message, "%s", msg);
    png_longjmp(png, 1);
}
void on_warning(png_structp, png_const_charp) {}

// Writes height rows of width pixels to out (`bits`-bit samples of the
// colour type: grey, RGB or RGBA); false on any failure.
bool encode(std::FILE* out, png_uint_32 width, png_uint_32 height, int bits, int colour,
            const png_bytep* rows) {
    Context ctx;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &ctx, on_error, on_warning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, out);
    png_set_IHDR(png, info, width, height, bits, colour, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    if (bits == 16 && host_little) png_set_swap(png);
    png_write_image(png, const_cast<png_bytepp>(rows));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

template <class T> void write_rows(const char* name, const T* px, int bits) {
    std::vector<png_bytep> rows(n);
    for (std::uint32_t y = 0; y < n; ++y)
        rows[y] = reinterpret_cast<png_bytep>(const_cast<T*>(px + std::size_t(y) * n));
    atomic_file out(name);
    if (!encode(out.stream(), n, n, bits, PNG_COLOR_TYPE_GRAY, rows.data())) out.fail();
    out.commit();
}

// What a file holds, from its header.
struct Info {
    png_uint_32 width = 0, height = 0;
    int bits = 0, colour = 0;
};

// Reads the header into info and, when it is a 512 x 512 8 or 16-bit grey
// file, the pixels through rows8 or rows16 (16-bit samples in host
// order). False (with ctx.message) when libpng fails.
bool readable(const Info& i);
bool decode(std::FILE* in, Context& ctx, Info& info, const png_bytep* rows8,
            const png_bytep* rows16) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &ctx, on_error, on_warning);
    if (!png) return false;
    png_infop pinfo = png_create_info_struct(png);
    if (!pinfo || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &pinfo, nullptr);
        return false;
    }
    // Strict: a chunk over the limit, a CRC error in an ancillary chunk or
    // a full chunk cache is an error, not a warning that reads on.
    png_set_benign_errors(png, 0);
    // libpng's default size limits, stated so that a build with others
    // cannot loosen them (only 512 x 512 files get as far as their rows).
    png_set_user_limits(png, 1000000, 1000000);
    png_set_chunk_cache_max(png, 32);
    // Bounded: no ancillary chunk may claim more memory than a 16-bit image.
    png_set_chunk_malloc_max(png, max_chunk);
    // Unknown chunks and the ancillary chunks libpng knows (text, profiles,
    // palettes of suggestions ...) are skipped unread: nothing of them is
    // used, and skipping stores and inflates nothing.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_init_io(png, in);
    png_read_info(png, pinfo);
    info.width = png_get_image_width(png, pinfo);
    info.height = png_get_image_height(png, pinfo);
    info.bits = png_get_bit_depth(png, pinfo);
    info.colour = png_get_color_type(png, pinfo);
    if (readable(info)) {
        if (info.bits == 16 && host_little) png_set_swap(png);
        png_set_interlace_handling(png);
        png_read_update_info(png, pinfo);
        png_read_image(png, const_cast<png_bytepp>(info.bits == 16 ? rows16 : rows8));
        png_read_end(png, nullptr);
    }
    png_destroy_read_struct(&png, &pinfo, nullptr);
    return true;
}

bool readable(const Info& i) {
    return i.width == n && i.height == n && i.colour == PNG_COLOR_TYPE_GRAY &&
           (i.bits == 8 || i.bits == 16);
}

// Our own walk over the chunk lengths before libpng reads a byte: a chunk
// other than IDAT that claims more than max_chunk, or more than the file
// holds, is refused (whatever libpng's version does with its limits).
// Returns why, or "" (also when the walk cannot go on: libpng reports a
// bad chunk name or a short file in its own words).
std::string chunk_refusal(std::FILE* f) {
    struct stat st;
    const bool sized = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
    for (std::uint64_t pos = 8;;) {
        unsigned char h[8];
        if (fseeko(f, off_t(pos), SEEK_SET) != 0 || std::fread(h, 1, 8, f) != 8) return "";
        const std::uint32_t length = std::uint32_t(h[0]) << 24 | h[1] << 16 | h[2] << 8 | h[3];
        std::string type(reinterpret_cast<const char*>(h + 4), 4);
        for (char c : type)
            if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return "";
        if (type != "IDAT") {
            if (length > max_chunk)
                return type + " chunk claims " + std::to_string(length) + " bytes; at most " +
                       std::to_string(max_chunk) + " are read";
            if (sized && pos + 12 + length > std::uint64_t(st.st_size))
                return type + " chunk of " + std::to_string(length) +
                       " bytes cut short: the file ends inside it";
        }
        if (type == "IEND") return "";
        pos += 12 + std::uint64_t(length);
    }
}

// A larger file, read row by row for a region (region.h). Each libpng call
// is made from a function of its own that holds its setjmp and no C++ object.
struct Reader {
    Context ctx;
    png_structp png = nullptr;
    png_infop pinfo = nullptr;
    ~Reader() { png_destroy_read_struct(&png, &pinfo, nullptr); }
};

bool start(Reader& r, std::FILE* in, Info& info, bool& interlaced) {
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r.ctx, on_error, on_warning);
    if (!r.png) return false;
    r.pinfo = png_create_info_struct(r.png);
    if (!r.pinfo || setjmp(png_jmpbuf(r.png))) return false;
    png_set_benign_errors(r.png, 0);
    png_set_user_limits(r.png, 1000000, 1000000);
    png_set_chunk_cache_max(r.png, 32);
    png_set_chunk_malloc_max(r.png, max_chunk);
    png_set_keep_unknown_chunks(r.png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_init_io(r.png, in);
    png_read_info(r.png, r.pinfo);
    info.width = png_get_image_width(r.png, r.pinfo);
    info.height = png_get_image_height(r.png, r.pinfo);
    info.bits = png_get_bit_depth(r.png, r.pinfo);
    info.colour = png_get_color_type(r.png, r.pinfo);
    interlaced = png_get_interlace_type(r.png, r.pinfo) != PNG_INTERLACE_NONE;
    return true;
}

bool prepare(Reader& r, int bits) {
    if (setjmp(png_jmpbuf(r.png))) return false;
    if (bits == 16 && host_little) png_set_swap(r.png);
    png_read_update_info(r.png, r.pinfo);
    return true;
}

bool next_row(Reader& r, png_bytep row) {
    if (setjmp(png_jmpbuf(r.png))) return false;
    png_read_row(r.png, row, nullptr);
    return true;
}

// The checks of read_png's own, in its order.
void require_grey(const char* name, const Info& info) {
    const std::string where = std::string(name) + ": ";
    if (info.colour & PNG_COLOR_MASK_COLOR) throw Error(where + "colour PNG; only grey pictures are read");
    if (info.colour != PNG_COLOR_TYPE_GRAY)
        throw Error(where + "grey PNG with alpha; only one sample per pixel is read");
}

void read_region(const char* name, std::FILE* f, bild16& img, const Region& region) {
    Reader r;
    Info info;
    bool interlaced = false;
    const std::string where = std::string(name) + ": ";
    if (!start(r, f, info, interlaced)) throw Error(where + r.ctx.message);
    require_grey(name, info);
    const Window w = place(name, info.width, info.height, region);
    if (info.bits != 8 && info.bits != 16)
        throw Error(where + std::to_string(info.bits) + "-bit grey PNG; only 8 and 16-bit grey pictures are read");
    if (interlaced) throw Error(where + "interlaced PNG: a region or binning is read from non-interlaced files only");
    if (!prepare(r, info.bits)) throw Error(where + r.ctx.message);
    const sample_kind k = info.bits == 16 ? sample_kind::u16 : sample_kind::u8;
    std::vector<unsigned char> row(std::size_t(info.width) * sample_size(k));
    std::uint64_t next = 0;  // the file's next row
    read_binned(img, w, [&](std::uint64_t first, unsigned rows, double* out) {
        for (unsigned i = 0; i < rows; ++i) {
            const std::uint64_t y = w.y + first + i;
            for (; next <= y; ++next)
                if (!next_row(r, row.data())) throw Error(where + r.ctx.message);
            sample_values(k, !host_little, true, row.data() + w.x * sample_size(k), std::size_t(w.side),
                          out + std::size_t(i) * w.side);
        }
    });
}

}  // namespace

void write_png16(const char* name, const bild16_base& img) { write_rows(name, img.data(), 16); }
void write_png8(const char* name, const std::uint8_t* grey) { write_rows(name, grey, 8); }

void write_png_colour(const char* name, int width, int height, int channels,
                      const std::uint8_t* px) {
    // (Both limits keep a row's bytes and the row table within int.)
    if (width < 1 || height < 1 || width > png_max_side || height > png_max_side ||
        (channels != 3 && channels != 4))
        throw Error(std::string(name) + ": a picture of " + std::to_string(width) + " x " +
                    std::to_string(height) + " pixels with " + std::to_string(channels) +
                    " channels cannot be written as PNG");
    const std::size_t row = std::size_t(width) * std::size_t(channels);
    std::vector<png_bytep> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) rows[std::size_t(y)] = const_cast<png_bytep>(px + std::size_t(y) * row);
    atomic_file out(name);
    if (!encode(out.stream(), png_uint_32(width), png_uint_32(height), 8,
                channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, rows.data()))
        out.fail();
    out.commit();
}

void read_png(const char* name, bild16& img, const Region& region) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(fopen_for_read(name), &std::fclose);
    if (!f) cannot_open(name, Unopened::bang);
    unsigned char sig[8];
    if (std::fread(sig, 1, 8, f.get()) != 8 || png_sig_cmp(sig, 0, 8) != 0)
        throw Error(std::string(name) + ": not a PNG file");
    const std::string why = chunk_refusal(f.get());
    if (!why.empty()) refuse(name, why);
    std::rewind(f.get());
    if (!region.plain()) return read_region(name, f.get(), img, region);
    std::vector<unsigned char> px(std::size_t(n) * n * 2);
    std::vector<png_bytep> rows8(n), rows16(n);
    for (std::uint32_t y = 0; y < n; ++y) {
        rows8[y] = px.data() + std::size_t(y) * n;
        rows16[y] = px.data() + std::size_t(y) * n * 2;
    }
    Context ctx;
    Info info;
    const std::string where = std::string(name) + ": ";
    if (!decode(f.get(), ctx, info, rows8.data(), rows16.data())) throw Error(where + ctx.message);
    if (info.colour & PNG_COLOR_MASK_COLOR)
        throw Error(where + "colour PNG; only grey pictures are read");
    if (info.colour != PNG_COLOR_TYPE_GRAY)
        throw Error(where + "grey PNG with alpha; only one sample per pixel is read");
    require_size(info.width, info.height, name);
    if (info.bits != 8 && info.bits != 16)
        throw Error(where + std::to_string(info.bits) +
                    "-bit grey PNG; only 8 and 16-bit grey pictures are read");
    store(img, {info.bits == 16 ? sample_kind::u16 : sample_kind::u8, px.data(), !host_little}, name);
}

}  // namespace quenz
