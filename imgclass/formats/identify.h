// What kind of image file a file is, from its first bytes, its size and
// its name, by the formats' records (format.h): their signatures, then a
// gnuplot matrix's first float or extension, then a HIS file's size.
// quenz-view opens a file by what this says, and read_his uses the same
// records to refuse a file of another format that would otherwise read as
// a HIS exposure (HIS files carry no magic of their own).
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "imgclass/formats/format.h"

namespace quenz {

// The bytes read to identify a file.
inline constexpr std::size_t identify_head = 512;

struct Identity {
    FileKind kind = FileKind::unknown;
    std::uint64_t size = 0;
    // For an unknown kind, what the file looks like ("a text file", "an
    // empty file", "600000 bytes of data in no format it knows", ...).
    std::string like;
};

// The kind of a file whose first bytes (up to identify_head) are `head`,
// `size` bytes long (its length, 0 where the system does not know it),
// called `name` (only its extension counts).
Identity identify(std::span<const unsigned char> head, std::uint64_t size, std::string_view name);

// The file itself, opened as every reader opens it (quenz::open_for_read):
// a file that cannot be opened throws "couldn't open "NAME": <reason>".
Identity identify_file(const char* name);

// Whether identify() can answer a file of this format: by a signature, by a
// gnuplot matrix's first float or extension, or by a HIS file's size.
bool identifiable(const Format& f);

// The format and signature `head` begins with, of a format read_his
// refuses (one whose signature says what it is), or nothing.
struct Foreign {
    const Format* format;
    const Signature* signature;
};
std::optional<Foreign> foreign_to_his(std::span<const unsigned char> head);

}  // namespace quenz
