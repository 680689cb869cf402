// All-or-nothing file writes: the data goes to a temporary file in the
// target's directory, which is renamed over the target only once every
// byte is written and closed. Any failure removes the temporary file and
// throws "Cannot write to <name>"; the target is then as it was.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

namespace quenz {

class atomic_file {
public:
    // Creates the temporary file (mode 0666 less the umask, as fopen
    // would). A name that exists but is no regular file (a directory, a
    // device, a pipe) is refused: renaming over it would replace it. A
    // symbolic link is followed, so the file it points to is replaced.
    explicit atomic_file(const char* name);
    atomic_file(const atomic_file&) = delete;
    atomic_file& operator=(const atomic_file&) = delete;
    // Without commit(): the temporary file is removed, the target untouched.
    ~atomic_file();

    const std::string& name() const { return name_; }  // as given
    const std::string& temp_path() const { return temp_; }
    int fd() const { return fd_; }

    // Writes all n bytes at the current position, or throws.
    void write(const void* data, std::size_t n);
    // Hands the descriptor to a library that closes it itself (libtiff's
    // TIFFClose): commit() then only renames.
    int release_fd();
    // A stdio stream on the descriptor (made once; closed by commit()).
    std::FILE* stream();
    // Closes the file and renames it into place, or throws.
    void commit();
    // Throws the writer's error after cleaning up.
    [[noreturn]] void fail();

private:
    std::string name_, target_, temp_;
    int fd_ = -1;
    std::FILE* stream_ = nullptr;
    bool committed_ = false;
    void discard() noexcept;
};

// The whole of data as the new content of name, all or nothing.
void write_file_atomic(const char* name, const void* data, std::size_t n);

}  // namespace quenz
