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
#include <vector>

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

// Checks the strip or tile tables of directory `page` against the image
// it describes, before libtiff reads any of them: an entry per strip
// (ceil(rows / RowsPerStrip)) or tile (ceil(512 / TileWidth) x
// ceil(512 / TileLength)), each offset plus byte count inside the file
// (`file_size`, UINT64_MAX when unknown) and past the header, no byte count
// of 0, uncompressed data at least what its rows need, each layout tag
// once. Returns why the page is refused ("strip 3 ends past the end of the
// file ..."), or "". A directory of another size (unless any_size: a
// region read takes any size) or of several samples per pixel is left to
// the reader, which refuses it before reading any pixel; one the walk
// cannot reach is left to libtiff, as in tiff_codec_refusal.
std::string tiff_table_refusal(const tiff_read_at& read, int page, std::uint64_t file_size, bool any_size = false);

// The pages a count goes up to: a camera's stack of 512 x 512 frames that
// long is 32 GiB.
constexpr long max_tiff_pages = 65536;

// Counts the directories (pages) as libtiff walks them, into `pages`;
// returns why it cannot ("not a TIFF file", more than max_tiff_pages), or "".
std::string tiff_page_count(const tiff_read_at& read, long& pages);

// One directory entry, its value as text: up to 16 numbers (rationals as
// a/b) then "...", the text of an ASCII value (up to 4096 bytes), or "?".
struct TiffEntry {
    std::uint16_t tag = 0, type = 0;
    std::uint64_t count = 0;
    std::string value;
};

// The entries of directory `page` (counted from 0) into `out`; returns why
// it cannot list them (no such page, more than 4096 entries, no TIFF), or "".
std::string tiff_entries(const tiff_read_at& read, int page, std::vector<TiffEntry>& out);

}  // namespace quenz
