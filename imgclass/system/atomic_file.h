// All-or-nothing file writes: the data goes to a temporary file in the
// target's directory, which is renamed over the target only once every
// byte is written and closed. Any failure removes the temporary file and
// throws "Cannot write to <name>"; the target is then as it was.
//
// What a name can be:
// - a new name in an existing directory: the file appears whole or not at
//   all;
// - a regular file: replaced whole, keeping its permission bits (and its
//   owner and group where the process may set them); one the process may
//   not write is refused, however the directory's permissions are;
// - a symbolic link: followed as open(2) follows it (a chain of links, a
//   dangling link's target created like fopen creates it), so the link
//   stays a link and the file it names gets the new content;
// - a name with other hard links: the name written gets a new file, the
//   other links keep the old content; nothing is lost;
// - a FIFO, a character or block device (/dev/null, a tape): no file can
//   be renamed over them, so they are written in place as fopen would
//   write them (a FIFO's open waits for its reader);
// - a directory: refused;
// - a file we may write in a directory that refuses us new names (EACCES,
//   EPERM: a shared result file an administrator made, or a link to
//   one): no temporary file can be made beside it, so it is written in
//   place (opened without creating or truncating, written, cut to the
//   written length, closed). All or nothing needs a writable directory:
//   a write that fails part-way here is reported ("Cannot write to
//   <name>") but leaves the file damaged, and the other hard links of such
//   a file share the new content. A file on a read-only file system is
//   refused.
// The temporary file is made with the directory's descriptor and the base
// name (openat/renameat), so a target whose whole path is near PATH_MAX
// works, and its name is never longer than the directory allows: it is
// the target's base name followed by ".tmp" and eight letters or digits
// ("exp0001.his.tmp3k9x0qaz"), with the base name cut short (to at most
// NAME_MAX bytes in all, usually 255) when the whole would not fit. A
// process killed between the open and the rename leaves such a file behind
// and never a partial file under the target's name; it is safe to delete.
// Two processes writing the same name at once each write a temporary file
// of their own, and the name ends up holding one of the two whole files.
//
// Crashes. A crash of the process at any moment leaves the name holding
// the old file or the new one, whole (the kernel has every byte written).
// A crash of the machine (power, kernel) before the system has flushed
// its cache may lose what was written in the last seconds: by default the
// file is not synced, and after such a crash the name may hold the old
// file, the new one, or on some file systems an empty or partial one.
// With QUENZ_FSYNC set in the environment (to anything but "" or "0") the
// file is synced before the rename and its directory after it: when the
// write returns the new file is on the disk, and a machine crash before
// that leaves the old file or the new one. That costs a flush of the disk
// per write (a 0.5 MB HIS file on an ordinary ext4 disk: about 11 ms with
// it, 1 to 2 ms without; on tmpfs nothing), which batch runs that can
// write again what a machine crash loses should not pay on every file.
// A file written in place is synced too; a FIFO or a device is not.
#pragma once
#include <cstddef>
#include <cstdio>
#include <span>
#include <string>

namespace quenz {

class atomic_file {
public:
    // Creates the temporary file (mode 0666 less the umask, as fopen
    // would), or opens a FIFO or device in place; throws on failure.
    explicit atomic_file(const char* name);
    atomic_file(const atomic_file&) = delete;
    atomic_file& operator=(const atomic_file&) = delete;
    // Without commit(): the temporary file is removed, the target untouched.
    ~atomic_file();

    const std::string& name() const { return name_; }  // as given
    // The file being written (for libraries' messages): the temporary
    // file, or the FIFO or device itself.
    const std::string& temp_path() const { return temp_; }
    int fd() const { return fd_; }
    // Whether the file is written in place (a directory without room for
    // the temporary; see above).
    bool in_place() const { return in_place_; }

    // Writes all n bytes at the current position, or throws.
    void write(const void* data, std::size_t n);
    // Writes the blocks one after the other (writev, no copy), or throws.
    void write(std::span<const std::span<const unsigned char>> blocks);
    // Hands the descriptor to a library that closes it itself (libtiff's
    // TIFFClose): commit() then only renames.
    int release_fd();
    // A second descriptor of the file for a library that writes, seeks
    // and closes it itself (libtiff); ours stays to report the close. In
    // place the old content is cut off first.
    int dup_fd();
    // A stdio stream on the descriptor (made once; closed by commit()).
    std::FILE* stream();
    // Closes the file and renames it into place, or throws. A failure
    // that shows only at the close (a full disk, NFS) is a failure.
    void commit();
    // Throws the writer's error after cleaning up.
    [[noreturn]] void fail();

private:
    std::string name_;
    std::string temp_;      // for messages: the directory and the temporary's name
    std::string base_;      // the target's name in its directory
    std::string temp_base_; // the temporary's name there
    int dir_ = -1;          // the target's directory (none when written in place)
    int fd_ = -1;
    std::FILE* stream_ = nullptr;
    bool committed_ = false;
    bool in_place_ = false;
    bool cut_ = false;      // in place: cut to nothing for a library's descriptor
    bool close_file() noexcept;
    bool cut_for_library() noexcept;
    void discard() noexcept;
};

// The whole of data as the new content of name, all or nothing.
void write_file_atomic(const char* name, const void* data, std::size_t n);
void write_file_atomic(const char* name, std::span<const std::span<const unsigned char>> blocks);

}  // namespace quenz
