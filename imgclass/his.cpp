// HIS exposure files: a 100-byte header (the image keeps the first 34
// bytes) and 512 x 512 little-endian 16-bit counts.
#include "bild16.h"
#include "fileio.h"

namespace {
constexpr std::size_t pixel_offset = 100;
constexpr std::size_t file_size = pixel_offset + bild16::npixels() * 2;
}  // namespace

bild16& bild16::read_his(const char* name) {
    auto buf = quenz::read_file(name, file_size);
    if (!buf) throw quenz::Error(std::string(name) + " not found!\n");
    // Nothing changes unless the whole file is there.
    if (buf->size() < file_size)
        throw quenz::Error(std::string(name) + ": HIS file too short (" + std::to_string(buf->size()) +
                           " of " + std::to_string(file_size) + " bytes)");
    std::copy(buf->begin(), buf->begin() + header_size, header->begin());
    quenz::unpack_le(data(), buf->data() + pixel_offset, npixels());
    return *this;
}

void bild16::write_his(const char* name) const {
    std::vector<unsigned char> buf(file_size, 0);
    std::copy(header->begin(), header->end(), buf.begin());
    quenz::pack_le(buf.data() + pixel_offset, data(), npixels());
    quenz::write_file(name, buf.data(), buf.size());
}
