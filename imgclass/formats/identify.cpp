#include "imgclass/formats/identify.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include <unistd.h>

#include <sys/stat.h>

#include "imgclass/system/error.h"
#include "imgclass/system/fileio.h"

namespace quenz {

namespace {

using namespace std::string_view_literals;

// A gnuplot binary matrix starts with its column count, 512.0f (little-endian).
constexpr std::string_view gnuplot_start = "\x00\x00\x00\x44"sv;

bool starts_with(std::span<const unsigned char> head, std::string_view magic) {
    return head.size() >= magic.size() && std::memcmp(head.data(), magic.data(), magic.size()) == 0;
}

// The name's extension in lower case: from the last dot of the last
// component on ("" without one), as quenz-view has always taken it.
std::string extension(std::string_view name) {
    const auto slash = name.rfind('/');
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && slash > dot)) return "";
    std::string ext(name.substr(dot));
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return ext;
}

bool has_extension(const Format& f, std::string_view ext) {
    return std::find(f.extensions.begin(), f.extensions.end(), ext) != f.extensions.end();
}

// White space after "P2": what Tcl's \s matches in a byte string.
bool space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r') || c == 0x85 || c == 0xa0; }

// Control bytes other than tab, line and page breaks: not text.
bool control(unsigned char c) { return c <= 0x08 || (c >= 0x0e && c <= 0x1f) || c == 0x7f; }

}  // namespace

Identity identify(std::span<const unsigned char> head, std::uint64_t size, std::string_view name) {
    head = head.first(std::min(head.size(), identify_head));
    Identity id;
    id.size = size;
    for (const Format& f : formats())
        for (const Signature& s : f.signatures)
            if (starts_with(head, s.magic)) {
                id.kind = f.kind;
                return id;
            }
    const std::string ext = extension(name);
    const Format& gnuplot = format_of(FileKind::gnuplot);
    if (starts_with(head, gnuplot_start) || has_extension(gnuplot, ext)) {
        id.kind = FileKind::gnuplot;
        return id;
    }
    const Format& his_format = format_of(FileKind::his);
    const std::uint64_t his_file_size = his_format.max_size;
    const bool his = has_extension(his_format, ext);
    if (head.empty()) {
        id.like = "an empty file";
    } else if (head.size() >= 3 && head[0] == 'P' && head[1] == '2' && space(head[2])) {
        id.like = "an ASCII PGM (P2) image";
    } else if (std::none_of(head.begin(), head.end(), control)) {
        id.like = "a text file";
    } else if (size == his_file_size || (his && size < his_file_size)) {
        // No magic word: a HIS file is known only by its size (a short one
        // by its name, so that its reader says what is missing).
        id.kind = FileKind::his;
    } else if (his) {
        id.like = "a HIS file " + std::to_string(size) + " bytes long instead of " + std::to_string(his_file_size);
    } else {
        id.like = std::to_string(size) + " bytes of data in no format it knows";
    }
    return id;
}

Identity identify_file(const char* name) {
    const int fd = open_for_read(name);
    if (fd < 0) {
        // In the words quenz-view has always used for it.
        std::string why = std::strerror(errno);
        if (!why.empty() && why[0] >= 'A' && why[0] <= 'Z') why[0] = char(why[0] - 'A' + 'a');
        throw Error("couldn't open \"" + std::string(name) + "\": " + why);
    }
    std::array<unsigned char, identify_head> head;
    std::size_t have = 0;
    int failed = 0;
    while (have < head.size()) {
        const ssize_t n = ::read(fd, head.data() + have, head.size() - have);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) failed = errno;
        if (n <= 0) break;
        have += std::size_t(n);
    }
    struct stat st;
    const std::uint64_t size = fstat(fd, &st) == 0 ? std::uint64_t(st.st_size) : 0;
    ::close(fd);
    if (failed) refuse(name, std::string("cannot be read: ") + std::strerror(failed));
    return identify(std::span(head).first(have), size, name);
}

bool identifiable(const Format& f) {
    return !f.signatures.empty() || f.kind == FileKind::gnuplot || f.kind == FileKind::his;
}

std::optional<Foreign> foreign_to_his(std::span<const unsigned char> head) {
    for (const Format& f : formats())
        for (const Signature& s : f.signatures)
            if (!s.what.empty() && starts_with(head, s.magic)) return Foreign{&f, &s};
    return std::nullopt;
}

}  // namespace quenz
