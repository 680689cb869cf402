// A first look at a TIFF file's directories, before libtiff sees it.
// libtiff sets up a directory's codec as soon as it reads the directory,
// and some codecs (JBIG) allocate what the data claims and abort when that
// fails; so the Compression tag of every directory up to the page we read
// is checked here, with a bounded walk of our own.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace quenz {

// Reads up to `size` bytes at `offset` into `buf`; returns how many it
// read (fewer at the end of the file or on an error).
using tiff_read_at = std::function<std::size_t(std::uint64_t offset, void* buf, std::size_t size)>;

// The codecs users' tools write by default: none, LZW, deflate (both
// numbers) and PackBits.
bool tiff_codec_supported(std::uint64_t compression);
// A readable name of a compression number ("JBIG", "LZMA"), else the number.
std::string tiff_codec_name(std::uint64_t compression);

// Walks the directories 0 .. last_page (classic and BigTIFF, either byte
// order) and returns why the file is refused ("TIFF compression JBIG is not
// supported", prefixed with "page N: " beyond the first page), or "" when
// every directory it reached uses a codec we read. A structure it cannot
// follow (no TIFF header, a directory outside the file) ends the walk: libtiff
// cannot read such a directory either, and reports it in its own words.
std::string tiff_codec_refusal(const tiff_read_at& read, int last_page);

}  // namespace quenz
