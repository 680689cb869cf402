// Gnuplot binary matrix files: (1 + 512) x (1 + 512) little-endian floats,
// the first row and column holding the axis values in pixel-size units.
#include "bildfloat.h"
#include "fileio.h"

namespace {
constexpr std::size_t n = 512;
constexpr std::size_t file_size = (n + 1) * (n + 1) * 4;

float axis(std::size_t i) { return float(double(i) * double(quenz::bildfloat_pix_size)); }
}  // namespace

void bildfloat::write_gnuplot(const char* name) const {
    std::vector<unsigned char> buf(file_size);
    unsigned char* p = buf.data();
    quenz::store_le<float>(p, float(n));
    for (std::size_t i = 0; i < n; ++i) quenz::store_le<float>(p + 4 * (1 + i), axis(i));
    for (std::size_t j = 0; j < n; ++j) {
        unsigned char* row = p + 4 * (n + 1) * (j + 1);
        quenz::store_le<float>(row, axis(j));
        quenz::pack_le(row + 4, rows[j], n);
    }
    quenz::write_file(name, buf.data(), buf.size());
}

bildfloat& bildfloat::read_gnuplot(const char* name) {
    auto buf = quenz::read_file(name, file_size);
    if (!buf) throw quenz::Error(std::string(name) + " not readable");
    if (buf->size() >= 4 && !(quenz::load_le<float>(buf->data()) == float(n)))
        throw quenz::Error("Not a known gnuplot binary format");
    // Nothing changes unless the whole matrix is there.
    if (buf->size() < file_size)
        throw quenz::Error(std::string(name) + ": gnuplot file too short (" +
                           std::to_string(buf->size()) + " of " + std::to_string(file_size) +
                           " bytes)");
    for (std::size_t j = 0; j < n; ++j)
        quenz::unpack_le(rows[j], buf->data() + 4 * ((n + 1) * (j + 1) + 1), n);
    return *this;
}
