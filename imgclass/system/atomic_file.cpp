#include "imgclass/system/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imgclass/system/error.h"

namespace quenz {

namespace {

// The path's directory and its last component; false when there is no
// last component to create ("dir/", "", ".", "..").
bool split(const std::string& path, std::string& dir, std::string& base) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        dir = ".";
        base = path;
    } else {
        dir = slash == 0 ? "/" : path.substr(0, slash);
        base = path.substr(slash + 1);
    }
    return !base.empty() && base != "." && base != "..";
}

// Whether something owned by `owner` at `path` lies in a directory that
// anyone may write and only owners may rename in (/tmp), and is neither
// ours nor the directory's owner's: another user planted it. The kernel's
// protected_symlinks and protected_fifos rules, kept whatever the sysctl
// says (and for the links walked here, which the kernel never sees).
bool planted(const std::string& path, uid_t owner) {
    if (owner == geteuid()) return false;
    const auto slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat d;
    if (stat(dir.c_str(), &d) != 0) return true;
    return (d.st_mode & S_ISVTX) && (d.st_mode & S_IWOTH) && owner != d.st_uid;
}

// The file a write to name ends in, following symbolic links in the last
// component as open(2) does; st and exists describe it. A dangling link
// leads to the name it holds, which fopen would create. Another user's
// link in a shared directory is not followed.
std::string follow(const std::string& name, struct stat& st, bool& exists) {
    std::string path = name;
    std::vector<char> buf(PATH_MAX + 1);
    for (int hops = 0; hops <= 40; ++hops) {  // (the kernel's limit)
        if (lstat(path.c_str(), &st) != 0) {
            if (errno != ENOENT) cannot_write(name);
            exists = false;
            return path;
        }
        if (!S_ISLNK(st.st_mode)) {
            exists = true;
            return path;
        }
        if (planted(path, st.st_uid)) cannot_write(name);
        ssize_t n = readlink(path.c_str(), buf.data(), buf.size());
        if (n <= 0 || std::size_t(n) >= buf.size()) cannot_write(name);
        std::string link(buf.data(), std::size_t(n));
        // A relative link is relative to the directory that holds it.
        auto slash = path.rfind('/');
        path = link[0] == '/' || slash == std::string::npos ? link : path.substr(0, slash + 1) + link;
    }
    cannot_write(name);  // a loop
}

// Eight letters or digits no other writer in this or another process
// picks at the same moment (and O_EXCL settles the rest).
std::string random_part() {
    static std::atomic<unsigned long> counter{0};
    unsigned long v = (unsigned long)getpid() * 1000003ul ^
                      (unsigned long)std::chrono::steady_clock::now().time_since_epoch().count() ^
                      counter.fetch_add(1) * 0x9e3779b97f4a7c15ul;
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string s;
    for (int i = 0; i < 8; ++i, v /= 36) s += digits[v % 36];
    return s;
}

// "<base>.tmp<8 random>", with base cut (never inside a UTF-8 character)
// so that the whole is at most `limit` bytes.
std::string temp_name(const std::string& base, std::size_t limit) {
    std::string tail = ".tmp" + random_part();
    std::size_t keep = base.size();
    if (keep + tail.size() > limit) {
        keep = limit > tail.size() ? limit - tail.size() : 0;
        while (keep > 0 && (static_cast<unsigned char>(base[keep]) & 0xc0) == 0x80) --keep;
    }
    std::string s = base.substr(0, keep) + tail;
    if (s.size() > limit) s.resize(limit);
    return s;
}

// QUENZ_FSYNC set (and not to 0): writes wait for the disk.
bool sync_requested() {
    const char* v = std::getenv("QUENZ_FSYNC");
    return v && *v && std::strcmp(v, "0") != 0;
}

}  // namespace

atomic_file::atomic_file(const char* name) : name_(name) {
    struct stat st;
    bool exists = false;
    const std::string target = follow(name_, st, exists);
    if (exists && S_ISDIR(st.st_mode)) cannot_write(name_);
    if (exists && !S_ISREG(st.st_mode)) {
        // A FIFO or a device: nothing can take its place, so it is
        // written as it is, as a plain open would (a FIFO waits for its
        // reader; a socket fails to open). Another user's in a shared
        // directory is not written: it is not ours to feed.
        if (planted(target, st.st_uid)) cannot_write(name_);
        fd_ = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd_ < 0) cannot_write(name_);
        temp_ = target;
        return;
    }
    std::string dir;
    if (!split(target, dir, base_)) cannot_write(name_);
#ifdef O_PATH
    // (A directory we may search and write but not list will do.)
    dir_ = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
#else
    dir_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
    if (dir_ < 0) cannot_write(name_);
    // A file the process may not write stays as it is, although its
    // directory would let a rename replace it.
    if (exists && faccessat(dir_, base_.c_str(), W_OK, AT_EACCESS) != 0) fail();
    long name_max = fpathconf(dir_, _PC_NAME_MAX);
    std::size_t limit = name_max > 0 ? std::size_t(name_max) : std::size_t(NAME_MAX);
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp_base_ = temp_name(base_, limit);
        fd_ = ::openat(dir_, temp_base_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            temp_ = dir + "/" + temp_base_;
            if (exists) {
                // The replacement is the old file's, as writing in place
                // kept it: owner and group where we may set them (not
                // checked: an ordinary user keeps the file as their own),
                // then the permission bits (a chown clears set-id bits).
                (void)!fchown(fd_, st.st_uid, st.st_gid);
                (void)fchmod(fd_, st.st_mode & 07777);
            }
            return;
        }
        // A file system that allows less than it says: no longer than the
        // target's own name, which it took.
        if (errno == ENAMETOOLONG && limit > base_.size() && base_.size() > 12) {
            limit = base_.size();
            continue;
        }
        if (errno != EEXIST) break;
    }
    temp_base_.clear();
    // A directory that refuses new names (a shared result file an
    // administrator made) holding a file we may write: the file is
    // written in place. (A read-only file system, EROFS, refuses the file
    // too, so it is not tried.)
    if (exists && (errno == EACCES || errno == EPERM)) {
        fd_ = ::openat(dir_, base_.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
        struct stat now;
        if (fd_ >= 0 && fstat(fd_, &now) == 0 && S_ISREG(now.st_mode) && !planted(target, now.st_uid)) {
            in_place_ = true;
            temp_ = dir + "/" + base_;
            ::close(dir_);
            dir_ = -1;
            return;
        }
    }
    fail();
}

atomic_file::~atomic_file() {
    if (!committed_) discard();
}

bool atomic_file::close_file() noexcept {
    bool ok = true;
    if (stream_) {
        ok = std::fclose(stream_) == 0;  // a full disk often shows only here
        stream_ = nullptr;
        fd_ = -1;
    } else if (fd_ >= 0) {
        ok = ::close(fd_) == 0;
        fd_ = -1;
    }
    return ok;
}

void atomic_file::discard() noexcept {
    close_file();
    if (dir_ >= 0) {
        if (!temp_base_.empty()) ::unlinkat(dir_, temp_base_.c_str(), 0);
        ::close(dir_);
        dir_ = -1;
    }
    temp_base_.clear();
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

void atomic_file::write(std::span<const std::span<const unsigned char>> blocks) {
    std::size_t next = 0, done = 0;  // the first block not yet written whole, and its bytes written
    iovec io[256];
    while (next < blocks.size()) {
        int count = 0;
        for (std::size_t b = next; b < blocks.size() && count < 256; ++b) {
            const std::size_t skip = b == next ? done : 0;
            if (blocks[b].size() == skip) continue;
            io[count].iov_base = const_cast<unsigned char*>(blocks[b].data() + skip);
            io[count].iov_len = blocks[b].size() - skip;
            ++count;
        }
        if (count == 0) break;
        ssize_t k = ::writev(fd_, io, count);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) fail();
        // Past the blocks the kernel took whole, into the one it took in part.
        std::size_t left = std::size_t(k);
        while (next < blocks.size() && left >= blocks[next].size() - done) {
            left -= blocks[next].size() - done;
            done = 0;
            ++next;
        }
        done += left;
    }
}

// In place, how far a library that writes through a descriptor of its own
// went is not known when it is done (libtiff goes back to fill in
// offsets): the old content is cut off before it starts.
bool atomic_file::cut_for_library() noexcept {
    if (!in_place_ || cut_) return true;
    cut_ = ::ftruncate(fd_, 0) == 0;
    return cut_;
}

int atomic_file::release_fd() {
    if (!cut_for_library()) fail();
    int fd = fd_;
    fd_ = -1;
    return fd;
}

int atomic_file::dup_fd() {
    if (!cut_for_library()) fail();
    int fd = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) fail();
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
    if (stream_ && std::fflush(stream_) != 0) fail();
    if (in_place_ && fd_ >= 0 && !cut_) {
        // What was written runs from the start to where the writes ended
        // (they only append); an old file's longer tail goes.
        off_t end = ::lseek(fd_, 0, SEEK_CUR);
        if (end < 0 || ::ftruncate(fd_, end) != 0) fail();
    }
    // On request, the data reaches the disk before the new name points at
    // it, and the new name before the write returns (a FIFO or a device
    // has nothing to sync).
    const bool sync = fd_ >= 0 && (dir_ >= 0 || in_place_) && sync_requested();
    if (sync && ::fsync(fd_) != 0) fail();
    if (!close_file()) fail();
    if (dir_ >= 0) {
        if (::renameat(dir_, temp_base_.c_str(), dir_, base_.c_str()) != 0) fail();
        temp_base_.clear();
        if (sync) {
            // (The descriptor above may be O_PATH, which fsync refuses;
            // a directory we may not read cannot be synced and is not.)
            int d = ::openat(dir_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (d >= 0) {
                bool ok = ::fsync(d) == 0;
                ::close(d);
                if (!ok) fail();
            }
        }
        ::close(dir_);
        dir_ = -1;
    }
    committed_ = true;
}

void write_file_atomic(const char* name, const void* data, std::size_t n) {
    atomic_file f(name);
    f.write(data, n);
    f.commit();
}

void write_file_atomic(const char* name, std::span<const std::span<const unsigned char>> blocks) {
    atomic_file f(name);
    f.write(blocks);
    f.commit();
}

}  // namespace quenz
