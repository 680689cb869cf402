#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <memory>

#include "error.h"

namespace quenz {

namespace {

[[noreturn]] void cannot_write(const std::string& name) {
    throw Error("Cannot write to " + name);
}

// The file a write to name ends in: a symbolic link's target (so that the
// link stays a link), otherwise name itself.
std::string resolve(const std::string& name) {
    struct stat st;
    if (lstat(name.c_str(), &st) != 0) {
        if (errno == ENOENT) return name;
        cannot_write(name);
    }
    if (S_ISLNK(st.st_mode)) {
        std::unique_ptr<char, decltype(&std::free)> real(realpath(name.c_str(), nullptr), &std::free);
        if (!real) cannot_write(name);  // a dangling link
        if (stat(real.get(), &st) != 0 || !S_ISREG(st.st_mode)) cannot_write(name);
        return real.get();
    }
    if (!S_ISREG(st.st_mode)) cannot_write(name);
    return name;
}

// A file the caller may not write stays as it is, although its directory
// would let a rename replace it.
void check_writable(const std::string& target, const std::string& name) {
    if (access(target.c_str(), F_OK) == 0 && access(target.c_str(), W_OK) != 0) cannot_write(name);
}

// A suffix no other writer in this or another process picks at the same
// moment (and O_EXCL settles the rest).
std::string suffix() {
    static std::atomic<unsigned long> counter{0};
    unsigned long v = (unsigned long)getpid() * 1000003ul ^
                      (unsigned long)std::chrono::steady_clock::now().time_since_epoch().count() ^
                      counter.fetch_add(1) * 0x9e3779b97f4a7c15ul;
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string s = ".tmp";
    for (int i = 0; i < 8; ++i, v /= 36) s += digits[v % 36];
    return s;
}

}  // namespace

atomic_file::atomic_file(const char* name) : name_(name), target_(resolve(name)) {
    check_writable(target_, name_);
    // A file replaced keeps its permissions.
    struct stat old;
    const bool replacing = stat(target_.c_str(), &old) == 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp_ = target_ + suffix();
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            if (replacing) (void)fchmod(fd_, old.st_mode & 07777);
            return;
        }
        if (errno != EEXIST) break;
    }
    temp_.clear();
    cannot_write(name_);
}

atomic_file::~atomic_file() {
    if (!committed_) discard();
}

void atomic_file::discard() noexcept {
    if (stream_) {
        std::fclose(stream_);
        stream_ = nullptr;
        fd_ = -1;
    } else if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
}

void atomic_file::fail() {
    discard();
    cannot_write(name_);
}

void atomic_file::write(const void* data, std::size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        ssize_t k = ::write(fd_, p, n < std::size_t(SSIZE_MAX) ? n : std::size_t(SSIZE_MAX));
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) fail();
        p += k;
        n -= std::size_t(k);
    }
}

int atomic_file::release_fd() {
    int fd = fd_;
    fd_ = -1;
    return fd;
}

std::FILE* atomic_file::stream() {
    if (!stream_) {
        stream_ = fdopen(fd_, "wb");
        if (!stream_) fail();
    }
    return stream_;
}

void atomic_file::commit() {
    bool ok = true;
    if (stream_) {
        ok = std::fclose(stream_) == 0;  // a full disk often shows only here
        stream_ = nullptr;
        fd_ = -1;
    } else if (fd_ >= 0) {
        ok = ::close(fd_) == 0;
        fd_ = -1;
    }
    if (!ok || std::rename(temp_.c_str(), target_.c_str()) != 0) fail();
    committed_ = true;
}

void write_file_atomic(const char* name, const void* data, std::size_t n) {
    atomic_file f(name);
    f.write(data, n);
    f.commit();
}

}  // namespace quenz
