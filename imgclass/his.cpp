// HIS exposure files: a 100-byte header (the image keeps the first 34
// bytes) and 512 x 512 little-endian 16-bit counts.
#include "his.h"

#include "bild16.h"
#include "fileio.h"

using quenz::his_file_size;
using quenz::his_pixel_offset;

void quenz::decode_his(bild16& img, std::span<const unsigned char> file, const char* name) {
    // Nothing changes unless the whole file is there.
    if (file.size() < his_file_size)
        throw Error(std::string(name) + ": HIS file too short (" + std::to_string(file.size()) +
                    " of " + std::to_string(his_file_size) + " bytes)");
    std::copy(file.begin(), file.begin() + bild16::header_size, img.header->begin());
    unpack_le(img.data(), file.data() + his_pixel_offset, img.npixels());
}

bild16& bild16::read_his(const char* name) {
    auto buf = quenz::read_file(name, his_file_size);
    if (!buf) throw quenz::Error(std::string(name) + " not found!\n");
    quenz::decode_his(*this, *buf, name);
    return *this;
}

void bild16::write_his(const char* name) const {
    std::vector<unsigned char> buf(his_file_size, 0);
    std::copy(header->begin(), header->end(), buf.begin());
    quenz::pack_le(buf.data() + his_pixel_offset, data(), npixels());
    quenz::write_file(name, buf.data(), buf.size());
}
