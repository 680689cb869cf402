// Binary PGM ("P5") graymaps: 16-bit and 8-bit writers, and a reader for
// 512 x 512 files with maxval 255 or 65535. 16-bit samples are stored most
// significant byte first whatever the host's byte order.
#include <algorithm>
#include <cctype>
#include <ext/stdio_filebuf.h>
#include <istream>
#include <string>
#include <vector>

#include "imgclass/core/bild16.h"
#include "imgclass/system/fileio.h"

namespace {

// "P5\n512 512\n<maxval>\n"
std::string pgm_header(int sx, int sy, int maxval) {
    return "P5\n" + std::to_string(sx) + " " + std::to_string(sy) + "\n" + std::to_string(maxval) +
           "\n";
}

// Builds the whole file in memory and writes it in one block.
// fill(dst, src, n) stores the samples of the n counts at src; restrict
// tells the compiler the byte stores cannot change the counts, so the
// loops vectorise.
template <class Fill>
void write_pgm(const bild16& img, const char* name, int maxval, std::size_t bytes_per_sample,
               Fill fill) {
    std::string head = pgm_header(img.SIZEX, img.SIZEY, maxval);
    std::vector<unsigned char> out(head.size() + bytes_per_sample * img.npixels());
    std::copy(head.begin(), head.end(), out.begin());
    fill(out.data() + head.size(), img.data(), img.npixels());
    quenz::write_file(name, out.data(), out.size());
}

// The header: the magic, the three numbers with comments before each (at
// most 10 digits each), and what ends it. Comments make a header as long
// as a writer likes, so the reader gives up after max_header bytes: a pipe
// of blanks or a comment without end must not keep it reading for ever.
class HeaderReader {
public:
    static constexpr long max_header = 1 << 20;

    explicit HeaderReader(std::istream& in) : in_(in) {}

    int get() {
        if (++used_ > max_header)
            throw quenz::Error("PGM header longer than " + std::to_string(max_header) + " bytes");
        return in_.get();
    }

    long long number() {
        skip_space();
        while (in_.peek() == '#') {
            for (;;) {
                int c = get();
                if (c == EOF) throw quenz::Error("Expected number (PGM)");
                if (c == '\n') break;
            }
            skip_space();
        }
        long long v = 0;
        for (int n = 0; n < 10; ++n) {
            int c = get();
            if (c == EOF) throw quenz::Error("Premature EOF (PGM)");
            if (!std::isdigit(c)) {
                in_.unget();
                --used_;
                break;
            }
            v = v * 10 + (c - '0');
        }
        return v;
    }

    // After the maximum value: one character ends the header, or a
    // comment does, up to and including its line end (a line feed or a
    // carriage return), as netpbm reads it.
    void end() {
        if (get() != '#') return;
        for (int c = get(); c != '\n' && c != '\r' && c != EOF; c = get()) {
        }
    }

private:
    void skip_space() {
        while (std::isspace(in_.peek())) get();
    }
    std::istream& in_;
    long used_ = 0;
};

// Counts from samples: an 8-bit sample is the high byte, 16-bit samples
// come most significant byte first.
void unpack8(unsigned short* __restrict p, const unsigned char* __restrict b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) p[i] = (unsigned short)(b[i] << 8);
}
void unpack16(unsigned short* __restrict p, const unsigned char* __restrict b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) p[i] = (unsigned short)(b[2 * i] << 8 | b[2 * i + 1]);
}

// Everything after the open; failures carry no file name yet.
void parse_pgm(std::istream& in, bild16& img) {
    HeaderReader hr(in);
    if (hr.get() != 'P') throw quenz::Error("Not a PPM file");
    if (hr.get() != '5') throw quenz::Error("Not a PGM Graymap");
    // (The messages have no space before the numbers.)
    auto size = [&hr](const char* what, int expected) {
        long long v = hr.number();
        if (v != expected)
            throw quenz::Error(std::string(what) + " doesn't match. Expected" + std::to_string(expected) +
                               ", got" + std::to_string(v));
    };
    size("Width", img.SIZEX);
    size("Height", img.SIZEY);
    long long maxval = hr.number();
    hr.end();
    if (maxval != 255 && maxval != 65535)
        throw quenz::Error("Can only read 8bit or 16bit PGM (maxval==" + std::to_string(maxval) +
                           ")");

    // Read into a temporary: a short file leaves the image as it was.
    const std::size_t n = img.npixels(), bytes = maxval == 255 ? n : 2 * n;
    std::vector<unsigned char> buf(bytes);
    in.read(reinterpret_cast<char*>(buf.data()), std::streamsize(bytes));
    if (std::size_t(in.gcount()) != bytes) throw quenz::Error("PGM corrupt");

    if (maxval == 255)
        unpack8(img.data(), buf.data(), n);
    else
        unpack16(img.data(), buf.data(), n);
}

}  // namespace

void bild16::write_pgm16(const char* name) const {
    write_pgm(*this, name, 65535, 2,
              [](unsigned char* __restrict d, const unsigned short* __restrict s, std::size_t n) {
                  for (std::size_t i = 0; i < n; ++i) {
                      d[2 * i] = (unsigned char)(s[i] >> 8);
                      d[2 * i + 1] = (unsigned char)(s[i] & 0xff);
                  }
              });
}

void bild16::write_pgm8(const char* name) const {
    write_pgm(*this, name, 255, 1,
              [](unsigned char* __restrict d, const unsigned short* __restrict s, std::size_t n) {
                  for (std::size_t i = 0; i < n; ++i) d[i] = (unsigned char)(s[i] >> 8);
              });
}

void bild16::write_pgm8_bounds(const char* name, data_t low, data_t high) const {
    if (low == high)
        throw quenz::Error("Error: Zero range (write_pgm8_bounds), low==high==" +
                           std::to_string(low));
    if (low > high) std::swap(low, high);
    // One entry per possible count: the division runs once per count, not
    // once per pixel, and gives the same bytes.
    std::vector<unsigned char> map(65536);
    for (unsigned v = 0; v < map.size(); ++v) {
        if (v > high)
            map[v] = 255;
        else if (v < low)
            map[v] = 0;
        else
            map[v] = (unsigned char)(double(v - low) * 255.0 / double(high - low));
    }
    write_pgm(*this, name, 255, 1,
              [&map](unsigned char* __restrict d, const unsigned short* __restrict s, std::size_t n) {
                  const unsigned char* __restrict m = map.data();
                  for (std::size_t i = 0; i < n; ++i) d[i] = m[s[i]];
              });
}

bild16& bild16::read_pgm(const char* name) {
    const int fd = quenz::open_for_read(name);
    if (fd < 0) quenz::cannot_open(name, quenz::Unopened::bang);
    __gnu_cxx::stdio_filebuf<char> file(fd, std::ios::in | std::ios::binary);  // closes fd
    std::istream in(&file);
    try {
        parse_pgm(in, *this);
    } catch (const quenz::Error& e) {
        throw quenz::Error(std::string(name) + ": " + e.what());
    }
    return *this;
}
