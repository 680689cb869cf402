// Pointer conversion: a word that stands for an object is a handle, "NULL"
// or the name of an object command (ours, or a foreign one that answers
// "cget -this").
#include <cstring>

#include "convert.h"
#include "handle.h"
#include "instances.h"
#include "safety.h"
#include "tables.h"

namespace qb {

// A handle word: the registry's object, pinned for the call. The parsed id
// and type stay in the word, so a call through the same word (a variable,
// or the handle an object command passes) reads no text.
static int from_handle(Tcl_Interp* interp, Tcl_Obj* obj, Ty want, void** addr, int flags,
                       Id* idp) {
    Id id;
    Ty named;
    if (!parse_handle_obj(obj, &id, &named)) return E_TYPE;
    if (!(type_record(want).accepts >> named & 1)) return E_TYPE;
    bool busy = false;
    Access access{(flags & F_DISOWN) != 0, domain_of(interp),
                  (flags & F_PROBE) ? nullptr : CallPins::active(), (flags & F_ALONE) != 0, &busy};
    void* p = resolve(id, named, want, access);
    if (!p) return busy ? E_BUSY : E_TYPE;
    if (flags & F_DISOWN) disown(id);
    *addr = p;
    if (idp) *idp = id;
    return OK;
}

int convert_ptr(Tcl_Interp* interp, Tcl_Obj* obj, Ty want, void** addr, int flags, Id* idp) {
    *addr = nullptr;
    if (idp) *idp = 0;
    // The common case first: nothing to hold, no name to look up.
    if (is_handle_obj(obj)) return from_handle(interp, obj, want, addr, flags, idp);
    Tcl_Obj* cur = obj;
    Tcl_IncrRefCount(cur);
    int rc = E_TYPE;
    // A command name stands for its object's handle; resolution is an exact
    // lookup, never a script evaluation of the given text.
    for (int depth = 0; depth < 8; ++depth) {
        const char* s = Tcl_GetString(cur);
        if (s[0] == '_') {
            rc = from_handle(interp, cur, want, addr, flags, idp);
            break;
        }
        if (std::strcmp(s, "NULL") == 0) {
            rc = OK;
            break;
        }
        if (!interp || s[0] == '\0') break;
        // (From the object: the lookup is remembered in it, as for a call.)
        Tcl_Command cmd = Tcl_GetCommandFromObj(interp, cur);
        Tcl_CmdInfo info;
        if (!cmd || !Tcl_GetCommandInfoFromToken(cmd, &info)) break;
        Tcl_Obj* next;
        if (info.isNativeObjectProc && info.objProc == &object_cmd) {
            next = static_cast<Instance*>(info.objClientData)->handle;
            Tcl_SetObjResult(interp, next);
        } else {
            // Someone else's object command: ask it for its handle, word by
            // word, so nothing in the name is substituted.
            Tcl_Obj* words[3] = {cur, Tcl_NewStringObj("cget", 4), Tcl_NewStringObj("-this", 5)};
            for (Tcl_Obj* w : words) Tcl_IncrRefCount(w);
            CallPins::hold(interp);
            int code = Tcl_EvalObjv(interp, 3, words, 0);
            for (Tcl_Obj* w : words) Tcl_DecrRefCount(w);
            if (code != TCL_OK) {
                Tcl_ResetResult(interp);
                break;
            }
            next = Tcl_GetObjResult(interp);
        }
        Tcl_IncrRefCount(next);
        Tcl_DecrRefCount(cur);
        cur = next;
    }
    Tcl_DecrRefCount(cur);
    return rc;
}

}  // namespace qb
