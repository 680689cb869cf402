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

int convert_ptr(Tcl_Interp* interp, Tcl_Obj* obj, Ty want, void** addr, int flags, Id* idp) {
    *addr = nullptr;
    if (idp) *idp = 0;
    Tcl_Obj* cur = obj;
    Tcl_IncrRefCount(cur);
    int rc = E_TYPE;
    // A command name stands for its object's handle; resolution is an exact
    // lookup, never a script evaluation of the given text.
    for (int depth = 0; depth < 8; ++depth) {
        const char* s = Tcl_GetString(cur);
        if (s[0] == '_') {
            Id id;
            Ty named;
            if (!parse_handle_obj(cur, &id, &named)) break;
            if (!(type_record(want).accepts >> named & 1)) break;
            bool busy = false;
            Access access{(flags & F_DISOWN) != 0, domain_of(interp),
                          (flags & F_PROBE) ? nullptr : CallPins::active(), (flags & F_ALONE) != 0,
                          &busy};
            void* p = resolve(id, named, want, access);
            if (busy) rc = E_BUSY;
            if (!p) break;
            if (flags & F_DISOWN) disown(id);
            *addr = p;
            if (idp) *idp = id;
            rc = OK;
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
