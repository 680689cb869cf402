// Whole-file reads and writes in one block, and little-endian packing.
#pragma once
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quenz {

// How this thread's readers open files. By default a FIFO or a device is
// read as it always was, waiting for data (`read_his /dev/stdin`). A
// program that must never wait on a file (quenz-view's event loop) asks
// for regular files only, and for names it did not choose (a watched
// directory's) for no symbolic link in the last place: a link could lead
// to a device or onto a mount that does not answer.
struct ReadPolicy {
    bool regular_only = false;
    bool follow_links = true;
};
ReadPolicy& read_policy();  // this thread's

// Every reader's way into a file: opened without waiting (O_NONBLOCK, so
// a FIFO without a writer or a device waiting for a carrier cannot hold
// the open), then looked at with fstat. Under the thread's policy anything
// but a regular file is refused ("NAME: not a regular file"), and so is a
// link not to be followed ("NAME: a symbolic link (not followed)");
// otherwise a FIFO is opened again to wait for its writer and other
// devices read blocking, as before. -1 (errno set) when the file cannot
// be opened at all; the caller words that its own way. The descriptor is
// the caller's (close-on-exec).
int open_for_read(const char* name);

// A file read in steps, for formats whose header says how much follows:
// nothing is read beyond what the caller asks for, so a device or pipe
// without end costs no more than the largest file of the format.
class FileReader {
public:
    explicit FileReader(const char* name);
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;
    explicit operator bool() const { return f_ != nullptr; }
    // Reads on until buf holds `want` bytes or the file ends (buf keeps
    // what it held); false on a read error. The buffer grows with what
    // arrives, so a short file never costs what its header announces.
    bool read_to(std::vector<unsigned char>& buf, std::size_t want);

private:
    std::FILE* f_;
    std::size_t hint_;
};

// open_for_read as a stdio stream ("rb"), or null.
std::FILE* fopen_for_read(const char* name);

// The file's first `limit` bytes (all of it if shorter: the readers ignore
// what follows their format's size), or nothing if it cannot be opened or
// read. Every reader states its bound.
std::optional<std::vector<unsigned char>> read_file(const char* name, std::size_t limit);

// Reads the file's first bytes straight into the blocks, filling one after
// the other, with no buffer in between (a fixed-size format reads its
// pixels where they are to stay). The count read, less than the blocks
// hold if the file is shorter, or nothing if it cannot be opened or read.
std::optional<std::size_t> read_file_into(const char* name, std::initializer_list<std::span<unsigned char>> blocks);

// Writes the bytes as the new content of name, all or nothing (through
// atomic_file: a temporary file renamed into place, so a failure part-way
// leaves the old file as it was); a file that cannot be created or written
// throws "Cannot write to <name>". Every writer of the library ends here or
// in atomic_file.
void write_file(const char* name, const void* data, std::size_t n);
// The blocks one after the other, likewise, with no buffer in between.
void write_file(const char* name, std::span<const std::span<const unsigned char>> blocks);

template <class T> void store_le(unsigned char* p, T v) {
    auto u = std::bit_cast<std::conditional_t<sizeof(T) == 2, std::uint16_t,
                                              std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>(v);
    for (std::size_t i = 0; i < sizeof(T); ++i) p[i] = (unsigned char)(u >> (8 * i));
}

template <class T> T load_le(const unsigned char* p) {
    using U = std::conditional_t<sizeof(T) == 2, std::uint16_t,
                                 std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>;
    U u = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) u |= U(p[i]) << (8 * i);
    return std::bit_cast<T>(u);
}

// Copies n values between memory and a little-endian byte stream; n may
// be 0 with null pointers.
template <class T> void pack_le(unsigned char* dst, const T* src, std::size_t n) {
    if constexpr (std::endian::native == std::endian::little) {
        if (n) std::memcpy(dst, src, n * sizeof(T));  // (an empty vector's data() may be null)
    } else {
        for (std::size_t i = 0; i < n; ++i) store_le(dst + i * sizeof(T), src[i]);
    }
}
template <class T> void unpack_le(T* dst, const unsigned char* src, std::size_t n) {
    if constexpr (std::endian::native == std::endian::little) {
        if (n) std::memcpy(dst, src, n * sizeof(T));
    } else {
        for (std::size_t i = 0; i < n; ++i) dst[i] = load_le<T>(src + i * sizeof(T));
    }
}

}  // namespace quenz
