// Directory notification for quenz-view's --watch (see notify.h). One
// inotify descriptor per interpreter, read from Tcl's event loop: idle, it
// costs nothing, and a file is known the moment its writer closes it.
#include "quenz-view/notify.h"

#ifdef __linux__
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <string>

namespace {

struct Watcher {
    Tcl_Interp* interp = nullptr;
    int fd = -1;
    std::map<int, std::pair<std::string, Tcl_Obj*>> dirs;  // watch -> directory, script
};

// Every event read at once; each finished file of a watched directory
// runs its script, in the order the kernel reported them.
void readable(ClientData data, int) {
    auto* w = static_cast<Watcher*>(data);
    alignas(inotify_event) char buf[64 * 1024];
    Tcl_Preserve(w->interp);
    for (;;) {
        ssize_t n = read(w->fd, buf, sizeof buf);
        if (n <= 0) break;
        for (char* p = buf; p < buf + n;) {
            auto* ev = reinterpret_cast<inotify_event*>(p);
            p += sizeof(inotify_event) + ev->len;
            auto it = w->dirs.find(ev->wd);
            // (A directory moved in is announced too: the viewer says why it
            // does not show it, as for any other file it cannot read.)
            if (it == w->dirs.end() || !ev->len) continue;
            std::string path = it->second.first + "/" + ev->name;
            Tcl_Obj* cmd = Tcl_DuplicateObj(it->second.second);
            Tcl_IncrRefCount(cmd);
            Tcl_ListObjAppendElement(nullptr, cmd, Tcl_NewStringObj(path.c_str(), -1));
            if (Tcl_EvalObjEx(w->interp, cmd, TCL_EVAL_GLOBAL) != TCL_OK)
                Tcl_BackgroundException(w->interp, TCL_ERROR);
            Tcl_DecrRefCount(cmd);
            if (Tcl_InterpDeleted(w->interp)) break;
        }
    }
    Tcl_Release(w->interp);
}

int notify_cmd(ClientData data, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    auto* w = static_cast<Watcher*>(data);
    if (objc != 3) {
        Tcl_WrongNumArgs(interp, 1, objv, "dir script");
        return TCL_ERROR;
    }
    if (w->fd < 0) {
        w->fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (w->fd < 0) {
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("inotify: %s", std::strerror(errno)));
            return TCL_ERROR;
        }
        Tcl_CreateFileHandler(w->fd, TCL_READABLE, readable, w);
    }
    std::string dir = Tcl_GetString(objv[1]);
    int wd = inotify_add_watch(w->fd, dir.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO | IN_ONLYDIR);
    if (wd < 0) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("%s: %s", dir.c_str(), std::strerror(errno)));
        return TCL_ERROR;
    }
    auto& slot = w->dirs[wd];
    if (slot.second) Tcl_DecrRefCount(slot.second);
    slot = {dir, objv[2]};
    Tcl_IncrRefCount(objv[2]);
    return TCL_OK;
}

void notify_gone(ClientData data) {
    auto* w = static_cast<Watcher*>(data);
    if (w->fd >= 0) {
        Tcl_DeleteFileHandler(w->fd);
        close(w->fd);
    }
    for (auto& d : w->dirs) Tcl_DecrRefCount(d.second.second);
    delete w;
}

}  // namespace

bool quenz::view::create_notify_command(Tcl_Interp* interp) {
    auto* w = new Watcher;
    w->interp = interp;
    Tcl_CreateObjCommand(interp, "quenzview_notify", notify_cmd, w, notify_gone);
    return true;
}

#else

bool quenz::view::create_notify_command(Tcl_Interp*) { return false; }

#endif
