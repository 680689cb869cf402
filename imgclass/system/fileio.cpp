#include "imgclass/system/fileio.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "imgclass/system/atomic_file.h"
#include "imgclass/system/error.h"

namespace quenz {

ReadPolicy& read_policy() {
    thread_local ReadPolicy policy;
    return policy;
}

int open_for_read(const char* name) {
    const ReadPolicy policy = read_policy();
    const int flags = O_RDONLY | O_NOCTTY | O_CLOEXEC;
    int fd = ::open(name, flags | O_NONBLOCK | (policy.follow_links ? 0 : O_NOFOLLOW));
    if (fd < 0) {
        if (errno == ELOOP && !policy.follow_links) refuse(name, "a symbolic link (not followed)");
        return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        const int e = errno;
        ::close(fd);
        errno = e;
        return -1;
    }
    if (S_ISREG(st.st_mode)) return fd;
    if (policy.regular_only) {
        ::close(fd);
        refuse(name, "not a regular file");
    }
    if (S_ISFIFO(st.st_mode)) {
        // Waits for a writer, as an open always did here. The first
        // descriptor stays open until the second is: a writer already
        // writing must never find the FIFO without a reader (SIGPIPE).
        const int blocking = ::open(name, flags);
        const int e = errno;
        ::close(fd);
        errno = e;
        return blocking;
    }
    const int fl = fcntl(fd, F_GETFL);
    if (fl == -1 || fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) == -1) {
        const int e = errno;
        ::close(fd);
        errno = e;
        return -1;
    }
    return fd;
}

std::FILE* fopen_for_read(const char* name) {
    const int fd = open_for_read(name);
    if (fd < 0) return nullptr;
    std::FILE* f = fdopen(fd, "rb");
    if (!f) ::close(fd);
    return f;
}

namespace {
// The size of a regular file plus one (so the last read meets the end
// without growing the buffer), or a guess for devices, pipes and
// directories, whose seek positions say nothing about their length.
std::size_t size_hint(std::FILE* f) {
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) return std::size_t(1) << 16;
    return std::size_t(st.st_size) + 1;
}
}  // namespace

FileReader::FileReader(const char* name) : f_(fopen_for_read(name)), hint_(0) {
    if (f_) hint_ = size_hint(f_);
}

FileReader::~FileReader() {
    if (f_) std::fclose(f_);
}

bool FileReader::read_to(std::vector<unsigned char>& buf, std::size_t want) {
    std::size_t have = buf.size();
    if (have >= want) return true;
    // Read straight into one buffer: a buffer that grows piecewise costs
    // more in copies and page faults than the read itself.
    buf.resize(std::min(want, std::max(have + 1, hint_)));
    while (have < want) {
        if (have == buf.size()) buf.resize(std::min(want, 2 * buf.size()));
        std::size_t n = std::fread(buf.data() + have, 1, buf.size() - have, f_);
        if (n == 0) break;
        have += n;
    }
    buf.resize(have);
    return !std::ferror(f_);
}

std::optional<std::vector<unsigned char>> read_file(const char* name, std::size_t limit) {
    FileReader in(name);
    if (!in) return std::nullopt;
    std::vector<unsigned char> buf;
    if (!in.read_to(buf, limit)) return std::nullopt;
    return buf;
}

std::optional<std::size_t> read_file_into(const char* name, std::initializer_list<std::span<unsigned char>> blocks) {
    std::FILE* f = fopen_for_read(name);
    if (!f) return std::nullopt;
    // Unbuffered: each block is one read into its own memory.
    std::setvbuf(f, nullptr, _IONBF, 0);
    std::size_t total = 0;
    bool more = true;
    for (auto b : blocks) {
        std::size_t have = 0;
        while (more && have < b.size()) {
            std::size_t n = std::fread(b.data() + have, 1, b.size() - have, f);
            if (n == 0) more = false;
            have += n;
        }
        total += have;
    }
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return std::nullopt;
    return total;
}

void write_file(const char* name, const void* data, std::size_t n) { write_file_atomic(name, data, n); }
void write_file(const char* name, std::span<const std::span<const unsigned char>> blocks) {
    write_file_atomic(name, blocks);
}

}  // namespace quenz
