// Local stream sockets with the peer's credentials (see local_socket.h).
#include "imgclass/system/local_socket.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>

#include "imgclass/system/error.h"

namespace {

[[noreturn]] void fail(const std::string& what, int err) {
    throw quenz::Error(what + ": " + std::strerror(err));
}

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) close(fd);
    }
    int release() { return std::exchange(fd, -1); }
};

// The address of dir/name. A path too long for sun_path goes through the
// directory's descriptor (dirfd is then kept open by the caller).
sockaddr_un address(const std::string& dir, const std::string& name, Fd& dirfd) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::string path = dir.empty() ? name : dir + "/" + name;
    if (path.size() >= sizeof a.sun_path) {
        dirfd.fd = open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (dirfd.fd < 0) fail(dir, errno);
        path = "/proc/self/fd/" + std::to_string(dirfd.fd) + "/" + name;
        if (path.size() >= sizeof a.sun_path) throw quenz::Error(name + ": socket name too long");
    }
    std::memcpy(a.sun_path, path.c_str(), path.size() + 1);
    return a;
}

quenz::Peer credentials(int fd) {
    ucred c{};
    socklen_t n = sizeof c;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &c, &n) != 0) fail("SO_PEERCRED", errno);
    return {fd, c.uid, c.pid};
}

}  // namespace

int quenz::listen_local(const std::string& dir, const std::string& name, int backlog) {
    Fd dirfd;
    sockaddr_un a = address(dir, name, dirfd);
    struct stat st;
    if (lstat(a.sun_path, &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) throw Error(dir + "/" + name + ": exists and is not a socket");
        unlink(a.sun_path);
    }
    Fd s;
    s.fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s.fd < 0) fail("socket", errno);
    if (bind(s.fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) fail(dir + "/" + name, errno);
    if (chmod(a.sun_path, 0600) != 0 || listen(s.fd, backlog) != 0) {
        int err = errno;
        unlink(a.sun_path);
        fail(dir + "/" + name, err);
    }
    return s.release();
}

quenz::Peer quenz::accept_local(int listener) {
    Fd c;
    c.fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (c.fd < 0) {
        // Nothing waiting, or a peer that left before we took it.
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNABORTED || errno == EINTR ||
            errno == EPROTO)
            return {};
        fail("accept", errno);
    }
    Peer p = credentials(c.fd);
    c.release();
    return p;
}

quenz::Peer quenz::connect_local(const std::string& path, double timeout) {
    Fd dirfd;
    auto slash = path.rfind('/');
    sockaddr_un a = slash == std::string::npos ? address("", path, dirfd)
                                               : address(path.substr(0, slash), path.substr(slash + 1), dirfd);
    Fd s;
    s.fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s.fd < 0) fail("socket", errno);
    if (timeout > 0) {
        // (at least a microsecond: a zero time would mean no limit)
        auto us = std::max<long long>(1, static_cast<long long>(std::ceil(timeout * 1e6)));
        timeval tv{static_cast<time_t>(us / 1000000), static_cast<suseconds_t>(us % 1000000)};
        if (setsockopt(s.fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) != 0 ||
            setsockopt(s.fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0)
            fail("setsockopt", errno);
    }
    // A server whose queue of connections is full is waited for (the
    // send time limit bounds the wait): EAGAIN is a timeout.
    if (connect(s.fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        if (errno == EAGAIN && timeout > 0) return {};
        fail(path, errno);
    }
    Peer p = credentials(s.fd);
    s.release();
    return p;
}
