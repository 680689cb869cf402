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
// quenz::view_send CHANNEL BYTES writes BYTES to such a channel's socket
// itself, past the channel's buffer: Tcl turns a write that times out into
// a background flush that keeps the socket open after `close` and writes
// from the event loop later, and a client must neither keep a silent
// viewer's socket nor run the caller's event loop.
//
// Either command fails on a timeout with the error code QUENZ VIEW TIMEOUT.
#include <tcl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
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

int connect_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 2 && objc != 3) {
        Tcl_WrongNumArgs(interp, 1, objv, "path ?seconds?");
        return TCL_ERROR;
    }
    double timeout = 0;
    if (objc == 3 && (Tcl_GetDoubleFromObj(nullptr, objv[2], &timeout) != TCL_OK || !(timeout > 0) ||
                      !std::isfinite(timeout))) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("expected a number of seconds above 0 but got \"%s\"",
                                               Tcl_GetString(objv[2])));
        return TCL_ERROR;
    }
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

int send_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 3) {
        Tcl_WrongNumArgs(interp, 1, objv, "channel bytes");
        return TCL_ERROR;
    }
    int mode = 0;
    Tcl_Channel chan = Tcl_GetChannel(interp, Tcl_GetString(objv[1]), &mode);
    if (!chan) return TCL_ERROR;
    ClientData handle = nullptr;
    if (!(mode & TCL_WRITABLE) || Tcl_GetChannelHandle(chan, TCL_WRITABLE, &handle) != TCL_OK) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("channel \"%s\" is not a viewer's socket", Tcl_GetString(objv[1])));
        return TCL_ERROR;
    }
    const int fd = static_cast<int>(reinterpret_cast<intptr_t>(handle));
    int length = 0;
    const unsigned char* bytes = Tcl_GetByteArrayFromObj(objv[2], &length);
    for (int done = 0; done < length;) {
        // (MSG_NOSIGNAL: a viewer that has gone is an error, not SIGPIPE)
        ssize_t n = send(fd, bytes + done, std::size_t(length - done), MSG_NOSIGNAL);
        if (n >= 0) {
            done += int(n);
            continue;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return timed_out(interp, Tcl_ObjPrintf("error writing \"%s\": timed out", Tcl_GetString(objv[1])));
        // Tcl's own words for a failed write (puts)
        Tcl_SetErrno(errno);
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("error writing \"%s\": %s", Tcl_GetString(objv[1]), Tcl_PosixError(interp)));
        return TCL_ERROR;
    }
    return TCL_OK;
}

}  // namespace

void qb::create_view_connect(Tcl_Interp* interp) {
    // Like every command that reaches the file system: not in a safe
    // interpreter.
    if (Tcl_IsSafe(interp)) return;
    Tcl_CreateObjCommand(interp, "quenz::view_connect", connect_cmd, nullptr, nullptr);
    Tcl_CreateObjCommand(interp, "quenz::view_send", send_cmd, nullptr, nullptr);
}
