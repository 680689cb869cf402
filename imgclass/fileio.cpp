#include "fileio.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "error.h"

namespace quenz {

namespace {
struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, Closer>;

// The size of a regular file plus one (so the last read meets the end
// without growing the buffer), or a guess for devices, pipes and
// directories, whose seek positions say nothing about their length.
std::size_t size_hint(const char* name) {
    std::error_code ec;
    std::uintmax_t n = std::filesystem::file_size(name, ec);
    return ec ? std::size_t(1) << 16 : std::size_t(n) + 1;
}
}  // namespace

std::optional<std::vector<unsigned char>> read_file(const char* name, std::size_t limit) {
    File f(std::fopen(name, "rb"));
    if (!f) return std::nullopt;
    // Read straight into one buffer: a buffer that grows piecewise costs
    // more in copies and page faults than the read itself.
    std::vector<unsigned char> buf(std::min(limit, size_hint(name)));
    std::size_t have = 0;
    while (have < limit) {
        if (have == buf.size()) buf.resize(std::min(limit, 2 * buf.size()));
        std::size_t n = std::fread(buf.data() + have, 1, buf.size() - have, f.get());
        if (n == 0) break;
        have += n;
    }
    if (std::ferror(f.get())) return std::nullopt;
    buf.resize(have);
    return buf;
}

void write_file(const char* name, const void* data, std::size_t n) {
    std::FILE* f = std::fopen(name, "wb");
    if (!f) throw Error(std::string("Cannot write to ") + name);
    bool ok = std::fwrite(data, 1, n, f) == n;
    ok = std::fclose(f) == 0 && ok;  // a full disk often shows only here
    if (!ok) throw Error(std::string("Cannot write to ") + name);
}

}  // namespace quenz
