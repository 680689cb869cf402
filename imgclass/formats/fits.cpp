#include "imgclass/formats/fits.h"

#include <fitsio.h>

#include <bit>
#include <charconv>
#include <type_traits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "imgclass/system/atomic_file.h"
#include "imgclass/core/bild16.h"
#include "imgclass/core/bildfloat.h"
#include "imgclass/system/error.h"
#include "imgclass/formats/fits_header.h"
#include "imgclass/core/samples.h"

namespace quenz {

namespace {

constexpr std::size_t n = std::size_t(image_size);
constexpr std::size_t block = 2880;  // FITS files are made of these

// cfitsio's text for a status (its message stack is dropped: it is
// per-thread state we never read).
std::string status_text(int status) {
    char text[FLEN_STATUS] = "";
    fits_get_errstatus(status, text);
    fits_clear_errmsg();
    return text;
}

struct Closer {
    void operator()(fitsfile* f) const {
        int status = 0;
        fits_close_file(f, &status);
    }
};

// ------------------------------------------------------------ writing

// The file is made in memory (cfitsio's own writer, no extended file-name
// syntax involved), then written all or nothing.
template <class T> void write_image(const char* name, const T* px, int bitpix, int datatype) {
    std::size_t size = block + (n * n * sizeof(T) + block - 1) / block * block;
    // Cleared: cfitsio reads the buffer before it writes all of it, and
    // no byte of our memory may reach the file.
    void* mem = std::calloc(size, 1);
    if (!mem) throw std::bad_alloc();
    fitsfile* f = nullptr;
    int status = 0;
    long naxes[2] = {long(n), long(n)};
    // Bottom row first.
    std::vector<T> flipped(n * n);
    for (std::size_t y = 0; y < n; ++y)
        std::memcpy(flipped.data() + y * n, px + (n - 1 - y) * n, n * sizeof(T));
    fits_create_memfile(&f, &mem, &size, block * 64, std::realloc, &status);
    fits_create_img(f, bitpix, 2, naxes, &status);
    fits_write_img(f, datatype, 1, LONGLONG(n * n), flipped.data(), &status);
    // The file's length (the buffer may be longer): the end of the data
    // rounded up to whole blocks.
    LONGLONG head = 0, data = 0, end = 0;
    fits_get_hduaddrll(f, &head, &data, &end, &status);
    if (f) fits_close_file(f, &status);
    const std::size_t length = (std::size_t(end) + block - 1) / block * block;
    if (status || length > size) {
        fits_clear_errmsg();
        std::free(mem);
        cannot_write(name);
    }
    try {
        write_file_atomic(name, mem, length);
    } catch (...) {
        std::free(mem);
        throw;
    }
    std::free(mem);
}

// ------------------------------------------------------------ reading

std::string number(double v) {
    char buf[40];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// The physical values of the checked one-HDU file (fits_header.h), row 0
// of our image first.
std::vector<double> read_values(const char* name, std::vector<unsigned char> file, const fits::Scaling& s) {
    // cfitsio sees the checked image alone, as a file of one HDU in
    // memory: never the file's name, its other HDUs or the HDU number.
    void* mem = file.data();
    std::size_t size = file.size();
    fitsfile* raw = nullptr;
    int status = 0;
    // (A plain name: cfitsio would read brackets in it as an HDU to move to.)
    fits_open_memfile(&raw, "image", READONLY, &mem, &size, 0, nullptr, &status);
    if (status) {
        const std::string why = status_text(status);
        if (raw) fits_close_file(raw, &status);
        refuse(name, why);
    }
    std::unique_ptr<fitsfile, Closer> f(raw);
    int bitpix = 0;
    if (fits_get_img_type(f.get(), &bitpix, &status)) refuse(name, status_text(status));
    // The scaling is the one our walk parsed, whatever cfitsio would make
    // of the cards: set, not left to its own reading of the header.
    if (fits_set_bscale(f.get(), s.bscale.value_or(1.0), s.bzero.value_or(0.0), &status))
        refuse(name, status_text(status));
    if (s.blank && bitpix > 0 && fits_set_imgnull(f.get(), *s.blank, &status)) refuse(name, status_text(status));
    std::vector<double> values(n * n);
    // Integer pixels equal to BLANK are undefined: NaN. Float pixels are
    // taken as they are: cfitsio's check would also turn infinities and
    // subnormal numbers into NaN and 0.
    double blank = std::numeric_limits<double>::quiet_NaN();
    int anynul = 0;
    if (fits_read_img(f.get(), TDOUBLE, 1, LONGLONG(n * n), bitpix > 0 ? &blank : nullptr,
                      values.data(), &anynul, &status))
        refuse(name, status_text(status));
    // FITS row 1 is the bottom one.
    for (std::size_t y = 0; y < n / 2; ++y)
        std::swap_ranges(values.begin() + y * n, values.begin() + (y + 1) * n,
                         values.begin() + (n - 1 - y) * n);
    return values;
}

}  // namespace

void write_fits(const char* name, const bild16_base& img) {
    write_image(name, img.data(), USHORT_IMG, TUSHORT);
}
void write_fits(const char* name, const bildfloat_base& img) {
    write_image(name, img.data(), FLOAT_IMG, TFLOAT);
}

namespace {

// Into a bild16 only whole numbers in 0..65535.
void store(const char* name, const std::vector<double>& v, bild16& img) {
    for (std::size_t i = 0; i < v.size(); ++i)
        if (!(v[i] >= 0 && v[i] <= 65535 && v[i] == std::floor(v[i])))
            refuse(name, "pixel at row " + std::to_string(i / n) + ", column " +
                             std::to_string(i % n) + " is " + number(v[i]) +
                             ", not a whole number in 0..65535: read the file into a bildfloat");
    unsigned short* p = img.data();
    for (std::size_t i = 0; i < v.size(); ++i) p[i] = (unsigned short)v[i];
}

void store(const char*, const std::vector<double>& v, bildfloat& img) {
    float* p = img.data();
    for (std::size_t i = 0; i < v.size(); ++i) p[i] = float(v[i]);
}

}  // namespace

namespace {

std::vector<double> image_values(const char* name, int hdu) {
    fits::Scaling s;
    std::vector<unsigned char> file = fits::extract_image(name, hdu, &s);
    return read_values(name, std::move(file), s);
}
std::vector<double> plane_values(const char* name, int hdu, long long plane) {
    fits::Scaling s;
    std::vector<unsigned char> file = fits::extract_plane(name, hdu, plane, &s);
    return read_values(name, std::move(file), s);
}

}  // namespace

namespace {

template <class T> T big_endian(const unsigned char* p) {
    using U = std::conditional_t<sizeof(T) == 1, std::uint8_t,
              std::conditional_t<sizeof(T) == 2, std::uint16_t,
              std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;
    U u = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) u = U(u << 8 | p[i]);
    return std::bit_cast<T>(u);
}

// The physical values of `count` stored samples, as cfitsio gives them:
// BLANK integers undefined (NaN), then stored * BSCALE + BZERO.
void physical(const fits::Header& h, const fits::Scaling& s, const unsigned char* p, std::size_t count, double* out) {
    const std::size_t size = std::size_t(h.bitpix < 0 ? -h.bitpix : h.bitpix) / 8;
    for (std::size_t i = 0; i < count; ++i, p += size) {
        double v = 0;
        std::int64_t stored = 0;
        switch (h.bitpix) {
            case 8: stored = p[0]; break;
            case 16: stored = big_endian<std::int16_t>(p); break;
            case 32: stored = big_endian<std::int32_t>(p); break;
            case 64: stored = big_endian<std::int64_t>(p); break;
            case -32: v = double(big_endian<float>(p)); break;
            default: v = big_endian<double>(p); break;
        }
        if (h.bitpix > 0) {
            if (s.blank && stored == *s.blank) {
                out[i] = std::numeric_limits<double>::quiet_NaN();
                continue;
            }
            v = double(stored);
        }
        if (s.bscale || s.bzero) v = v * s.bscale.value_or(1.0) + s.bzero.value_or(0.0);
        out[i] = v;
    }
}

// A region of the image (plane fits::whole_image) or of a cube's plane, binned.
template <class Img> void read_fits_region(const char* name, Img& img, int hdu, long long plane, const Region& r) {
    fits::read_region(name, hdu, plane, r, [&](const fits::RegionRows& rr) {
        const Window& w = rr.w;
        const std::uint64_t height = std::uint64_t(rr.h.axes[1]);
        const std::size_t side = std::size_t(w.side);
        std::vector<unsigned char> row(side * std::size_t(rr.h.bitpix < 0 ? -rr.h.bitpix : rr.h.bitpix) / 8);
        read_binned(img, w, [&](std::uint64_t first, unsigned rows, double* out) {
            for (unsigned i = 0; i < rows; ++i) {
                const std::uint64_t y = w.y + first + i;  // from the top
                rr.row(height - 1 - y, row.data());
                double* v = out + std::size_t(i) * side;
                physical(rr.h, rr.s, row.data(), side, v);
                if constexpr (std::is_same_v<Img, bild16>) {
                    for (std::size_t c = 0; c < side; ++c)
                        if (!(v[c] >= 0 && v[c] <= 65535 && v[c] == std::floor(v[c])))
                            refuse(name, "pixel at row " + std::to_string(y) + ", column " +
                                             std::to_string(w.x + c) + " is " + number(v[c]) +
                                             ", not a whole number in 0..65535: read the file into a bildfloat");
                }
            }
        });
    });
}

}  // namespace

void read_fits(const char* name, bild16& img, int hdu, const Region& r) {
    if (!r.plain()) return read_fits_region(name, img, hdu, fits::whole_image, r);
    store(name, image_values(name, hdu), img);
}
void read_fits(const char* name, bildfloat& img, int hdu, const Region& r) {
    if (!r.plain()) return read_fits_region(name, img, hdu, fits::whole_image, r);
    store(name, image_values(name, hdu), img);
}
void read_fits_plane(const char* name, bild16& img, int hdu, long long plane, const Region& r) {
    if (!r.plain()) return read_fits_region(name, img, hdu, plane, r);
    store(name, plane_values(name, hdu, plane), img);
}
void read_fits_plane(const char* name, bildfloat& img, int hdu, long long plane, const Region& r) {
    if (!r.plain()) return read_fits_region(name, img, hdu, plane, r);
    store(name, plane_values(name, hdu, plane), img);
}

}  // namespace quenz
