// Gnuplot binary matrix files: (1 + 512) x (1 + 512) little-endian floats,
// the first row and column holding the axis values in pixel-size units.
#include "imgclass/formats/gnuplot.h"

#include "imgclass/core/bildfloat.h"
#include "imgclass/system/fileio.h"

#include <bit>
#include <cstring>
#include <span>
#include <vector>

namespace {
constexpr std::size_t n = 512;
using quenz::gnuplot_file_size;

float axis(std::size_t i) { return float(double(i) * double(quenz::bildfloat_pix_size)); }
}  // namespace

void bildfloat::write_gnuplot(const char* name) const {
    // The first row (the count and the column coordinates) and the first
    // row coordinate; then each row's pixels and the next row coordinate.
    unsigned char head[4 * (n + 2)], coords[4 * n];
    quenz::store_le<float>(head, float(n));
    for (std::size_t i = 0; i < n; ++i) {
        quenz::store_le<float>(head + 4 * (1 + i), axis(i));
        quenz::store_le<float>(coords + 4 * i, axis(i));
    }
    quenz::store_le<float>(head + 4 * (n + 1), axis(0));
    if constexpr (std::endian::native == std::endian::little) {
        // The pixels are the file's bytes: written from where they are.
        std::vector<std::span<const unsigned char>> blocks{{head, sizeof head}};
        for (std::size_t j = 0; j < n; ++j) {
            blocks.emplace_back(reinterpret_cast<const unsigned char*>(this->row(int(j))), 4 * n);
            if (j + 1 < n) blocks.emplace_back(coords + 4 * (j + 1), 4);
        }
        quenz::write_file(name, blocks);
    } else {
        std::vector<unsigned char> buf(gnuplot_file_size);
        unsigned char* p = buf.data();
        std::memcpy(p, head, sizeof head);
        for (std::size_t j = 0; j < n; ++j) {
            unsigned char* row = p + 4 * (n + 1) * (j + 1);
            if (j > 0) std::memcpy(row, coords + 4 * j, 4);
            quenz::pack_le(row + 4, this->row(int(j)), n);
        }
        quenz::write_file(name, buf.data(), buf.size());
    }
}

void quenz::decode_gnuplot(bildfloat& img, std::span<const unsigned char> file, const char* name) {
    if (file.size() >= 4 && !(load_le<float>(file.data()) == float(n)))
        throw Error("Not a known gnuplot binary format");
    // Nothing changes unless the whole matrix is there.
    if (file.size() < gnuplot_file_size)
        throw Error(std::string(name) + ": gnuplot file too short (" + std::to_string(file.size()) +
                    " of " + std::to_string(gnuplot_file_size) + " bytes)");
    for (std::size_t j = 0; j < n; ++j)
        unpack_le(img.row(int(j)), file.data() + 4 * ((n + 1) * (j + 1) + 1), n);
}

bildfloat& bildfloat::read_gnuplot(const char* name) {
    auto buf = quenz::read_file(name, gnuplot_file_size);
    if (!buf) quenz::cannot_open(name, quenz::Unopened::unreadable);
    quenz::decode_gnuplot(*this, *buf, name);
    return *this;
}
