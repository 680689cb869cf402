// Local (UNIX-domain) stream sockets that know their peer: the kernel
// tells each end which user runs the other (SO_PEERCRED), at the cost of
// one system call, so a server can refuse another user's connection
// before reading a byte, and a client can refuse to talk to another
// user's server. The socket lives in a directory of the user's own with
// mode 0700, so other users cannot even connect.
//
// Paths of any length work: the directory is opened and the socket named
// through /proc/self/fd, so sun_path's 108 bytes are no limit.
#pragma once
#include <string>
#include <sys/types.h>

namespace quenz {

struct Peer {
    int fd = -1;  // non-blocking, close-on-exec
    uid_t uid = 0;
    pid_t pid = 0;
};

// Binds and listens at dir/name (an old socket file of that name is
// replaced; any other file there is refused), mode 0600. Throws
// quenz::Error with the reason.
int listen_local(const std::string& dir, const std::string& name, int backlog);

// The next waiting connection with its peer's credentials; fd -1 when none
// is waiting. Throws on other failures.
Peer accept_local(int listener);

// Connects to the socket at path (blocking) and reads its server's
// credentials. Throws quenz::Error naming the path. With a timeout (in
// seconds, above 0), each wait on the socket lasts at most that long: the
// connect (fd -1 when the server did not take it in time), and every
// later blocking read and write, which then fail with EAGAIN.
Peer connect_local(const std::string& path, double timeout = 0);

}  // namespace quenz
