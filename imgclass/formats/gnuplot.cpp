// Gnuplot binary matrix files: (1 + 512) x (1 + 512) little-endian floats,
// the first row and column holding the axis values in pixel-size units.
#include "imgclass/formats/gnuplot.h"

#include "imgclass/core/bildfloat.h"
#include "imgclass/system/fileio.h"

namespace {
constexpr std::size_t n = 512;
using quenz::gnuplot_file_size;

float axis(std::size_t i) { return float(double(i) * double(quenz::bildfloat_pix_size)); }
}  // namespace

void bildfloat::write_gnuplot(const char* name) const {
    std::vector<unsigned char> buf(gnuplot_file_size);
    unsigned char* p = buf.data();
    quenz::store_le<float>(p, float(n));
    for (std::size_t i = 0; i < n; ++i) quenz::store_le<float>(p + 4 * (1 + i), axis(i));
    for (std::size_t j = 0; j < n; ++j) {
        unsigned char* row = p + 4 * (n + 1) * (j + 1);
        quenz::store_le<float>(row, axis(j));
        quenz::pack_le(row + 4, this->row(int(j)), n);
    }
    quenz::write_file(name, buf.data(), buf.size());
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
