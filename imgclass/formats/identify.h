// What kind of image file a file is, from its first bytes, its size and
// its name: the one table of the formats' signatures. quenz-view opens a
// file by what this says, and read_his uses the same table to refuse a
// file of another format that would otherwise read as a HIS exposure
// (HIS files carry no magic of their own).
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quenz {

enum class FileKind { unknown, his, pgm, gnuplot, png, tiff, fits, npy };

// The kind's name as scripts see it ("his", "tiff", ...; "unknown").
const char* kind_name(FileKind kind);

// A format told by its first bytes.
struct Signature {
    FileKind kind;
    std::string_view magic;
    // "a TIFF file"; empty for a format read_his does not refuse (a P5
    // file may be a HIS exposure whose header happens to start so).
    std::string_view what;
    std::string_view reader;  // the command that reads it
};

// Every signature, in the order they are tried.
std::span<const Signature> signatures();

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

// A signature read_his refuses that `head` begins with, or null.
const Signature* foreign_to_his(std::span<const unsigned char> head);

}  // namespace quenz
