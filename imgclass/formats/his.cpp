// HIS exposure files: a 100-byte header (the image keeps the first 34
// bytes) and 512 x 512 little-endian 16-bit counts.
#include "imgclass/formats/his.h"

#include <algorithm>
#include <array>
#include <bit>

#include "imgclass/core/bild16.h"
#include "imgclass/system/fileio.h"
#include "imgclass/formats/identify.h"

using quenz::his_file_size;
using quenz::his_pixel_offset;

namespace {
quenz::Error too_short(const char* name, std::size_t n) {
    return quenz::Error(std::string(name) + ": HIS file too short (" + std::to_string(n) + " of " +
                        std::to_string(his_file_size) + " bytes)");
}
}  // namespace

void quenz::decode_his(bild16& img, std::span<const unsigned char> file, const char* name) {
    // Nothing changes unless the whole file is there.
    if (file.size() < his_file_size) throw too_short(name, file.size());
    std::copy(file.begin(), file.begin() + bild16::header_size, img.header().begin());
    unpack_le(img.data(), file.data() + his_pixel_offset, img.npixels());
}

bild16& bild16::read_his(const char* name) {
    // The pixels go straight into a block of their own, which replaces the
    // image's only once the whole file is there: no copy, and a failed
    // read leaves the image as it was.
    std::array<unsigned char, his_pixel_offset> head;
    bild16_base px(quenz::no_init);
    const std::span<unsigned char> bytes(reinterpret_cast<unsigned char*>(px.data()), npixels() * sizeof(data_t));
    auto n = quenz::read_file_into(name, {head, bytes});
    if (!n) quenz::cannot_open(name, quenz::Unopened::bang_newline);
    // A HIS file is known by nothing but its size, so any file would read
    // as one; a file that says it is of another format we read is not.
    if (auto other = quenz::foreign_to_his(std::span(head).first(std::min(*n, head.size()))))
        quenz::refuse(name, std::string(other->signature->what) + ", not a HIS exposure (read it with read_" +
                                std::string(other->format->name) + ")");
    if (*n < his_file_size) throw too_short(name, *n);
    if constexpr (std::endian::native != std::endian::little) {
        data_t* p = px.data();
        for (std::size_t i = 0; i < npixels(); ++i) p[i] = quenz::load_le<data_t>(bytes.data() + 2 * i);
    }
    std::copy(head.begin(), head.begin() + header_size, header().begin());
    swap(px);
    return *this;
}

void bild16::write_his(const char* name) const {
    std::vector<unsigned char> buf(his_file_size, 0);
    std::copy(header_.begin(), header_.end(), buf.begin());
    quenz::pack_le(buf.data() + his_pixel_offset, data(), npixels());
    quenz::write_file(name, buf.data(), buf.size());
}
