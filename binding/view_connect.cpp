// quenz::view_connect PATH: a channel to the quenz-view listening on the
// local socket PATH, for the client of its remote control
// (library/view-client.tcl). The kernel names the server's user; a socket
// another user holds (a link planted where ours should be, a viewer that
// has ended and whose name was taken) is refused before a byte is sent,
// so the token never reaches anyone else.
#include <tcl.h>
#include <unistd.h>

#include <string>

#include "imgclass/system/local_socket.h"
#include "view_connect.h"

namespace {

int connect_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "path");
        return TCL_ERROR;
    }
    const std::string path = Tcl_GetString(objv[1]);
    quenz::Peer p;
    try {
        p = quenz::connect_local(path);
    } catch (const std::exception& e) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj(e.what(), -1));
        return TCL_ERROR;
    }
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

}  // namespace

void qb::create_view_connect(Tcl_Interp* interp) {
    // Like every command that reaches the file system: not in a safe
    // interpreter.
    if (!Tcl_IsSafe(interp)) Tcl_CreateObjCommand(interp, "quenz::view_connect", connect_cmd, nullptr, nullptr);
}
