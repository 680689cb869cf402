// quenz::watch DIR SCRIPT: the kernel's word that a writer has finished a
// file of DIR (closed it after writing, or moved it in) runs SCRIPT with
// the file's path appended, at global level from the event loop. One
// inotify descriptor per interpreter, read by a file handler: idle, a
// watch costs nothing, and a file is known the moment its writer closes
// it. quenz-view's --watch and scripts (examples/live.tcl) share it.
//
// quenz::read_policy ?FILES LINKS?: how the library's readers open files
// in this thread, for a thread that reads names from a directory others
// write into.
#include "watch.h"

#include <cstring>
#include <string>

#include "imgclass/system/fileio.h"

#ifdef __linux__
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <map>

namespace {

struct Watcher {
    Tcl_Interp* interp = nullptr;
    int fd = -1;
    std::map<int, std::pair<std::string, Tcl_Obj*>> dirs;  // watch -> directory, script
};

void run(Watcher* w, Tcl_Obj* script, const std::string& path) {
    Tcl_Obj* cmd = Tcl_DuplicateObj(script);
    Tcl_IncrRefCount(cmd);
    Tcl_ListObjAppendElement(nullptr, cmd, Tcl_NewStringObj(path.data(), int(path.size())));
    if (Tcl_EvalObjEx(w->interp, cmd, TCL_EVAL_GLOBAL) != TCL_OK)
        Tcl_BackgroundException(w->interp, TCL_ERROR);
    Tcl_DecrRefCount(cmd);
}

void forget(Watcher* w, int wd) {
    auto it = w->dirs.find(wd);
    if (it == w->dirs.end()) return;
    Tcl_DecrRefCount(it->second.second);
    w->dirs.erase(it);
}

// Every event read at once; each finished file of a watched directory
// runs its script, in the order the kernel reported them. When the
// kernel's queue overflowed, names were lost: every script runs with an
// empty path, for its caller to list the directory; so does the script of
// a directory that went (its watch has ended: the caller may watch the
// name again once a directory is there).
void readable(ClientData data, int) {
    auto* w = static_cast<Watcher*>(data);
    alignas(inotify_event) char buf[64 * 1024];
    Tcl_Preserve(w->interp);
    for (;;) {
        ssize_t n = read(w->fd, buf, sizeof buf);
        if (n <= 0) break;
        for (char* p = buf; p < buf + n && !Tcl_InterpDeleted(w->interp);) {
            auto* ev = reinterpret_cast<inotify_event*>(p);
            p += sizeof(inotify_event) + ev->len;
            if (ev->mask & IN_Q_OVERFLOW) {
                std::map<int, Tcl_Obj*> scripts;
                for (auto& d : w->dirs) {
                    scripts[d.first] = d.second.second;
                    Tcl_IncrRefCount(d.second.second);
                }
                for (auto& s : scripts) {
                    if (!Tcl_InterpDeleted(w->interp)) run(w, s.second, "");
                    Tcl_DecrRefCount(s.second);
                }
                continue;
            }
            // The directory moved away: the watch is of its path, so it
            // ends (the kernel then says IN_IGNORED, below).
            if (ev->mask & IN_MOVE_SELF) {
                inotify_rm_watch(w->fd, ev->wd);
                continue;
            }
            // The directory itself went (removed, moved away, or its file
            // system unmounted): its watch has ended, and its script runs
            // once more with an empty path, for its caller to look again.
            if (ev->mask & IN_IGNORED) {
                auto gone = w->dirs.find(ev->wd);
                if (gone == w->dirs.end()) continue;
                Tcl_Obj* script = gone->second.second;
                Tcl_IncrRefCount(script);
                forget(w, ev->wd);
                run(w, script, "");
                Tcl_DecrRefCount(script);
                continue;
            }
            auto it = w->dirs.find(ev->wd);
            // (A directory moved in is announced too: the caller looks at
            // what it is before reading it.)
            if (it == w->dirs.end() || !ev->len) continue;
            // The name as the kernel gave it, up to its terminating zero, in
            // the system's encoding as Tcl's own file commands read names:
            // the path is a Tcl string that finds the file.
            // A name the encoding cannot carry (bytes that are not UTF-8,
            // in a UTF-8 locale) comes back as other bytes: it would name
            // another file, or none, so it is not announced.
            const int bytes = int(strnlen(ev->name, ev->len));
            Tcl_DString name, back;
            Tcl_ExternalToUtfDString(nullptr, ev->name, bytes, &name);
            Tcl_UtfToExternalDString(nullptr, Tcl_DStringValue(&name), Tcl_DStringLength(&name), &back);
            const bool carried = Tcl_DStringLength(&back) == bytes &&
                                 std::memcmp(Tcl_DStringValue(&back), ev->name, std::size_t(bytes)) == 0;
            std::string path = it->second.first + "/" + std::string(Tcl_DStringValue(&name), std::size_t(Tcl_DStringLength(&name)));
            Tcl_DStringFree(&name);
            Tcl_DStringFree(&back);
            if (!carried) continue;
            Tcl_Obj* script = it->second.second;
            Tcl_IncrRefCount(script);  // the script may end its own watch
            run(w, script, path);
            Tcl_DecrRefCount(script);
        }
        if (Tcl_InterpDeleted(w->interp)) break;
    }
    Tcl_Release(w->interp);
}

int watch_cmd(ClientData data, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    auto* w = static_cast<Watcher*>(data);
    if (objc != 3) {
        Tcl_WrongNumArgs(interp, 1, objv, "dir script");
        return TCL_ERROR;
    }
    std::string dir = Tcl_GetString(objv[1]);
    int length = 0;
    Tcl_GetStringFromObj(objv[2], &length);
    if (length == 0) {
        // An empty script ends the watch of dir.
        for (auto& d : w->dirs)
            if (d.second.first == dir) {
                int wd = d.first;
                inotify_rm_watch(w->fd, wd);
                forget(w, wd);
                break;
            }
        return TCL_OK;
    }
    if (w->fd < 0) {
        w->fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (w->fd < 0) {
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("inotify: %s", std::strerror(errno)));
            return TCL_ERROR;
        }
        Tcl_CreateFileHandler(w->fd, TCL_READABLE, readable, w);
    }
    Tcl_DString native;
    Tcl_UtfToExternalDString(nullptr, dir.c_str(), int(dir.size()), &native);
    int wd = inotify_add_watch(w->fd, Tcl_DStringValue(&native), IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVE_SELF | IN_ONLYDIR);
    Tcl_DStringFree(&native);
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

void watch_gone(ClientData data) {
    auto* w = static_cast<Watcher*>(data);
    if (w->fd >= 0) {
        Tcl_DeleteFileHandler(w->fd);
        close(w->fd);
    }
    for (auto& d : w->dirs) Tcl_DecrRefCount(d.second.second);
    delete w;
}

void create_watch(Tcl_Interp* interp) {
    auto* w = new Watcher;
    w->interp = interp;
    Tcl_CreateObjCommand(interp, "quenz::watch", watch_cmd, w, watch_gone);
}

}  // namespace

#else

namespace {
// Without inotify there is no quenz::watch: its callers look at the
// directory themselves.
void create_watch(Tcl_Interp*) {}
}  // namespace

#endif

namespace {

// FILES "regular" (anything else is refused before it is read) or "any";
// LINKS "follow" or "nofollow" (a symbolic link in the last place of a
// name is refused). Returns the policy as it was, {FILES LINKS}.
int read_policy_cmd(ClientData, Tcl_Interp* in, int objc, Tcl_Obj* const objv[]) {
    quenz::ReadPolicy& policy = quenz::read_policy();
    Tcl_Obj* was[] = {Tcl_NewStringObj(policy.regular_only ? "regular" : "any", -1),
                      Tcl_NewStringObj(policy.follow_links ? "follow" : "nofollow", -1)};
    Tcl_Obj* result = Tcl_NewListObj(2, was);
    if (objc == 1) {
        Tcl_SetObjResult(in, result);
        return TCL_OK;
    }
    static const char* const files[] = {"any", "regular", nullptr};
    static const char* const links[] = {"follow", "nofollow", nullptr};
    int regular = 0, nofollow = 0;
    if (objc != 3 || Tcl_GetIndexFromObj(in, objv[1], files, "file kind", 0, &regular) != TCL_OK ||
        Tcl_GetIndexFromObj(in, objv[2], links, "link rule", 0, &nofollow) != TCL_OK) {
        if (objc != 3) Tcl_WrongNumArgs(in, 1, objv, "?files links?");
        Tcl_DecrRefCount(result);
        return TCL_ERROR;
    }
    policy.regular_only = regular == 1;
    policy.follow_links = nofollow == 0;
    Tcl_SetObjResult(in, result);
    return TCL_OK;
}

}  // namespace

void qb::create_watch_commands(Tcl_Interp* interp) {
    // Like every command that reaches the file system: not in a safe
    // interpreter.
    if (Tcl_IsSafe(interp)) return;
    create_watch(interp);
    Tcl_CreateObjCommand(interp, "quenz::read_policy", read_policy_cmd, nullptr, nullptr);
}
