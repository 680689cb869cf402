#include "fileio.h"

#include <cstdio>
#include <memory>

#include "error.h"

namespace quenz {

namespace {
struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, Closer>;
}  // namespace

std::optional<std::vector<unsigned char>> read_file(const char* name) {
    File f(std::fopen(name, "rb"));
    if (!f) return std::nullopt;
    std::vector<unsigned char> buf;
    unsigned char chunk[1 << 16];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f.get())) > 0) buf.insert(buf.end(), chunk, chunk + n);
    if (std::ferror(f.get())) return std::nullopt;
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
