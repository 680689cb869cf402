// quenz::view_connect PATH ?SECONDS?: a channel to the quenz-view listening
// on the local socket PATH, for the client of its remote control
// (library/view-client.tcl). The kernel names the server's user; a socket
// another user holds (a link planted where ours should be, a viewer that
// has ended and whose name was taken) is refused before a byte is sent,
// so the token never reaches anyone else.
//
// With SECONDS, no wait on the viewer lasts longer: the connect, and every
// read and write of the channel (a blocking read then comes back short,
// with `fblocked` true). A viewer that was stopped, hangs, or accepts and
// says nothing cannot hold its client.
//
// quenz::view_send CHANNEL BYTES SECONDS writes BYTES to such a
// channel's socket itself, past the channel's buffer, within SECONDS all
// told: Tcl turns a write that times out into a background flush that
// keeps the socket open after `close` and writes from the event loop
// later, and a client must neither keep a silent viewer's socket nor run
// the caller's event loop. quenz::view_recv reads an answer the same way.
//
// Either command fails on a timeout with the error code QUENZ VIEW TIMEOUT.
#include <tcl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <string>

#include "imgclass/system/local_socket.h"
#include "view_connect.h"

namespace {

int timed_out(Tcl_Interp* interp, Tcl_Obj* message) {
    Tcl_SetObjResult(interp, message);
    Tcl_SetErrorCode(interp, "QUENZ", "VIEW", "TIMEOUT", nullptr);
    return TCL_ERROR;
}

// A time limit's word: a number of seconds above 0.
bool seconds_of(Tcl_Obj* word, double* seconds) {
    return Tcl_GetDoubleFromObj(nullptr, word, seconds) == TCL_OK && *seconds > 0 && std::isfinite(*seconds);
}

int bad_seconds(Tcl_Interp* interp, Tcl_Obj* seconds) {
    Tcl_SetObjResult(interp, Tcl_ObjPrintf("expected a number of seconds above 0 but got \"%s\"",
                                           Tcl_GetString(seconds)));
    return TCL_ERROR;
}

int connect_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 2 && objc != 3) {
        Tcl_WrongNumArgs(interp, 1, objv, "path ?seconds?");
        return TCL_ERROR;
    }
    double timeout = 0;
    if (objc == 3 && !seconds_of(objv[2], &timeout)) return bad_seconds(interp, objv[2]);
    const std::string path = Tcl_GetString(objv[1]);
    quenz::Peer p;
    try {
        p = quenz::connect_local(path, timeout);
    } catch (const std::exception& e) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj(e.what(), -1));
        return TCL_ERROR;
    }
    if (p.fd < 0) return timed_out(interp, Tcl_ObjPrintf("%s: timed out", path.c_str()));
    if (p.uid != geteuid()) {
        close(p.fd);
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("refused: the program at %s is not the user's own", path.c_str()));
        return TCL_ERROR;
    }
    Tcl_Channel chan = Tcl_MakeFileChannel(reinterpret_cast<ClientData>(static_cast<intptr_t>(p.fd)),
                                           TCL_READABLE | TCL_WRITABLE);
    Tcl_RegisterChannel(interp, chan);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(Tcl_GetChannelName(chan), -1));
    return TCL_OK;
}

// The channel's socket, for the commands that use it directly.
int socket_of(Tcl_Interp* interp, Tcl_Obj* name, int* fd) {
    int mode = 0;
    Tcl_Channel chan = Tcl_GetChannel(interp, Tcl_GetString(name), &mode);
    if (!chan) return TCL_ERROR;
    ClientData handle = nullptr;
    if (!(mode & TCL_WRITABLE) || Tcl_GetChannelHandle(chan, TCL_WRITABLE, &handle) != TCL_OK) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("channel \"%s\" is not a viewer's socket", Tcl_GetString(name)));
        return TCL_ERROR;
    }
    *fd = static_cast<int>(reinterpret_cast<intptr_t>(handle));
    return TCL_OK;
}

// Seconds (above 0, finite) to a deadline on the monotonic clock.
bool deadline_of(Tcl_Obj* seconds, std::chrono::steady_clock::time_point* deadline) {
    double t = 0;
    if (!seconds_of(seconds, &t) || t > 1e6) return false;  // (beyond the clock's range otherwise)
    *deadline = std::chrono::steady_clock::now() +
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(t));
    return true;
}

// Waits until fd is ready for `events` or the deadline passes (false).
bool wait_for(int fd, short events, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, events, 0};
        int n = poll(&p, 1, int(std::min<long long>(left.count() + 1, 1 << 30)));
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return true;  // the call that follows reports it
    }
}

int send_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 4) {
        Tcl_WrongNumArgs(interp, 1, objv, "channel bytes seconds");
        return TCL_ERROR;
    }
    int fd = -1;
    if (socket_of(interp, objv[1], &fd) != TCL_OK) return TCL_ERROR;
    std::chrono::steady_clock::time_point deadline;
    if (!deadline_of(objv[3], &deadline)) return bad_seconds(interp, objv[3]);
    int length = 0;
    const unsigned char* bytes = Tcl_GetByteArrayFromObj(objv[2], &length);
    for (int done = 0; done < length;) {
        if (!wait_for(fd, POLLOUT, deadline))
            return timed_out(interp, Tcl_ObjPrintf("error writing \"%s\": timed out", Tcl_GetString(objv[1])));
        // (MSG_NOSIGNAL: a viewer that has gone is an error, not SIGPIPE)
        ssize_t n = send(fd, bytes + done, std::size_t(length - done), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) {
            done += int(n);
            continue;
        }
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
        // Tcl's own words for a failed write (puts)
        Tcl_SetErrno(errno);
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("error writing \"%s\": %s", Tcl_GetString(objv[1]), Tcl_PosixError(interp)));
        return TCL_ERROR;
    }
    return TCL_OK;
}

// quenz::view_recv CHANNEL SECONDS: one answer of the viewer, "<length>\n"
// then that many bytes, read from the socket itself within SECONDS all
// told: a viewer that answers a byte at a time cannot hold its client,
// and one that announces or sends more than an answer can be (the
// viewer's own limit on a request) is refused before it is kept.
int recv_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 3) {
        Tcl_WrongNumArgs(interp, 1, objv, "channel seconds");
        return TCL_ERROR;
    }
    int fd = -1;
    if (socket_of(interp, objv[1], &fd) != TCL_OK) return TCL_ERROR;
    std::chrono::steady_clock::time_point deadline;
    if (!deadline_of(objv[2], &deadline)) return bad_seconds(interp, objv[2]);
    constexpr std::size_t kDigits = 12;            // the viewer writes at most this many
    constexpr std::size_t kLargest = 64u << 20;    // and answers no more than this
    auto closed = [&] {
        Tcl_SetObjResult(interp, Tcl_NewStringObj("the viewer closed the connection", -1));
        return TCL_ERROR;
    };
    auto bad = [&] {
        Tcl_SetObjResult(interp, Tcl_NewStringObj("the viewer's answer is malformed", -1));
        Tcl_SetErrorCode(interp, "QUENZ", "VIEW", "MALFORMED", nullptr);
        return TCL_ERROR;
    };
    // One byte at a time up to the newline: nothing of the answer is read
    // ahead, and the line is short.
    std::size_t length = 0, digits = 0;
    for (;;) {
        if (!wait_for(fd, POLLIN, deadline))
            return timed_out(interp, Tcl_NewStringObj("timed out", -1));
        char c;
        ssize_t n = recv(fd, &c, 1, MSG_DONTWAIT);
        if (n == 0) return closed();
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return closed();
        }
        if (c == '\n' && digits > 0) break;
        if (c < '0' || c > '9' || ++digits > kDigits) return bad();
        length = length * 10 + std::size_t(c - '0');
    }
    if (length > kLargest) return bad();
    Tcl_Obj* out = Tcl_NewByteArrayObj(nullptr, 0);
    unsigned char* p = Tcl_SetByteArrayLength(out, int(length));
    for (std::size_t done = 0; done < length;) {
        if (!wait_for(fd, POLLIN, deadline)) {
            Tcl_DecrRefCount(out);
            return timed_out(interp, Tcl_NewStringObj("timed out", -1));
        }
        ssize_t n = recv(fd, p + done, length - done, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
            Tcl_DecrRefCount(out);
            return closed();
        }
        if (n > 0) done += std::size_t(n);
    }
    Tcl_SetObjResult(interp, out);
    return TCL_OK;
}

}  // namespace

void qb::create_view_connect(Tcl_Interp* interp) {
    // Like every command that reaches the file system: not in a safe
    // interpreter.
    if (Tcl_IsSafe(interp)) return;
    Tcl_CreateObjCommand(interp, "quenz::view_connect", connect_cmd, nullptr, nullptr);
    Tcl_CreateObjCommand(interp, "quenz::view_send", send_cmd, nullptr, nullptr);
    Tcl_CreateObjCommand(interp, "quenz::view_recv", recv_cmd, nullptr, nullptr);
}
