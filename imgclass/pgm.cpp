// Binary PGM ("P5") graymaps: 16-bit and 8-bit writers, and a reader for
// 512 x 512 files with maxval 255 or 65535. 16-bit samples are stored most
// significant byte first whatever the host's byte order.
#include <array>
#include <cctype>
#include <fstream>
#include <string>
#include <vector>

#include "bild16.h"
#include "fileio.h"

namespace {

// "P5\n512 512\n<maxval>\n"
std::string pgm_header(int sx, int sy, int maxval) {
    return "P5\n" + std::to_string(sx) + " " + std::to_string(sy) + "\n" + std::to_string(maxval) +
           "\n";
}

// Builds the whole file in memory: one write instead of a call per pixel.
// `byte` maps a count to its 8-bit sample.
template <class F>
void write_8bit(const bild16& img, const char* name, F byte) {
    std::string out = pgm_header(img.SIZEX, img.SIZEY, 255);
    std::size_t h = out.size();
    out.resize(h + img.npixels());
    const unsigned short* p = img.data();
    for (std::size_t i = 0; i < img.npixels(); ++i) out[h + i] = char(byte(p[i]));
    quenz::write_file(name, out.data(), out.size());
}

// The header numbers: comments before each, at most 10 digits.
class HeaderReader {
public:
    explicit HeaderReader(std::istream& in) : in_(in) {}

    long long number() {
        skip_space();
        while (in_.peek() == '#') {
            for (;;) {
                int c = in_.get();
                if (c == EOF) throw quenz::Error("Expected number (PGM)");
                if (c == '\n') break;
            }
            skip_space();
        }
        long long v = 0;
        for (int n = 0; n < 10; ++n) {
            int c = in_.get();
            if (c == EOF) throw quenz::Error("Premature EOF (PGM)");
            if (!std::isdigit(c)) {
                in_.unget();
                break;
            }
            v = v * 10 + (c - '0');
        }
        return v;
    }

private:
    void skip_space() {
        while (std::isspace(in_.peek())) in_.get();
    }
    std::istream& in_;
};

// Everything after the open; failures carry no file name yet.
void parse_pgm(std::istream& in, bild16& img) {
    if (in.get() != 'P') throw quenz::Error("Not a PPM file");
    if (in.get() != '5') throw quenz::Error("Not a PGM Graymap");
    HeaderReader hr(in);
    long long w = hr.number();
    if (w != img.SIZEX)
        throw quenz::Error("Width doesn't match. Expected" + std::to_string(img.SIZEX) + ", got" +
                           std::to_string(w));
    long long h = hr.number();
    if (h != img.SIZEY)
        throw quenz::Error("Height doesn't match. Expected" + std::to_string(img.SIZEY) + ", got" +
                           std::to_string(h));
    long long maxval = hr.number();
    in.get();  // the single whitespace that ends the header
    if (maxval != 255 && maxval != 65535)
        throw quenz::Error("Can only read 8bit or 16bit PGM (maxval==" + std::to_string(maxval) +
                           ")");

    // Read into a temporary: a short file leaves the image as it was.
    const std::size_t n = img.npixels(), bytes = maxval == 255 ? n : 2 * n;
    std::vector<unsigned char> buf(bytes);
    in.read(reinterpret_cast<char*>(buf.data()), std::streamsize(bytes));
    if (std::size_t(in.gcount()) != bytes) throw quenz::Error("PGM corrupt");

    unsigned short* p = img.data();
    if (maxval == 255) {
        for (std::size_t i = 0; i < n; ++i) p[i] = (unsigned short)(buf[i] << 8);
    } else {
        for (std::size_t i = 0; i < n; ++i)
            p[i] = (unsigned short)(buf[2 * i] << 8 | buf[2 * i + 1]);
    }
}

}  // namespace

void bild16::write_pgm16(const char* name) const {
    std::string out = pgm_header(SIZEX, SIZEY, 65535);
    std::size_t h = out.size();
    out.resize(h + 2 * npixels());
    const unsigned short* p = data();
    for (std::size_t i = 0; i < npixels(); ++i) {
        out[h + 2 * i] = char(p[i] >> 8);
        out[h + 2 * i + 1] = char(p[i] & 0xff);
    }
    quenz::write_file(name, out.data(), out.size());
}

void bild16::write_pgm8(const char* name) const {
    write_8bit(*this, name, [](unsigned short v) { return v >> 8; });
}

void bild16::write_pgm8_bounds(const char* name, data_t low, data_t high) const {
    if (low == high)
        throw quenz::Error("Error: Zero range (write_pgm8_bounds), low==high==" +
                           std::to_string(low));
    if (low > high) std::swap(low, high);
    // One entry per possible count: the double division runs 64Ki times,
    // not once per pixel, and gives the same bytes.
    std::vector<unsigned char> map(65536);
    for (unsigned v = 0; v < map.size(); ++v) {
        if (v > high)
            map[v] = 255;
        else if (v < low)
            map[v] = 0;
        else
            map[v] = (unsigned char)(double(v - low) * 255.0 / double(high - low));
    }
    write_8bit(*this, name, [&map](unsigned short v) { return map[v]; });
}

bild16& bild16::read_pgm(const char* name) {
    std::ifstream in(name, std::ios::binary);
    if (!in) throw quenz::Error(std::string(name) + " not found!");
    try {
        parse_pgm(in, *this);
    } catch (const quenz::Error& e) {
        throw quenz::Error(std::string(name) + ": " + e.what());
    }
    return *this;
}
