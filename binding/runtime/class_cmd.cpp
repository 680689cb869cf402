// The class command: constructs an object (or wraps a handle with -this)
// and makes its object command.
#include <cstring>

#include "convert.h"
#include "handle.h"
#include "instances.h"
#include "tables.h"

namespace qb {

// `<class> ...`: constructs (or wraps with -this) and makes an object command.
int class_cmd(ClientData cd, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    auto* c = static_cast<ClassDesc*>(cd);
    Preserved keep(interp);
    if (!c) return plain_error(interp, "swig: internal runtime error. No class object defined.");
    auto word = [&](int i) { return Tcl_GetString(objv[i]); };

    Tcl_Obj* name = nullptr;  // null: named after the handle
    Tcl_Obj* wrap = nullptr;  // -this H
    int first = 1;            // objv index of the word before the arguments
    if (objc == 1) {
        first = 0;
    } else if (std::strcmp(word(1), "-this") == 0) {
        if (objc < 3) return plain_error(interp, "wrong # args.");
        wrap = objv[2];
    } else if (std::strcmp(word(1), "-args") == 0) {
        first = 1;
    } else if (objc == 2) {
        name = objv[1];
    } else if (std::strcmp(word(2), "-this") == 0) {
        if (objc < 4) return plain_error(interp, "wrong # args.");
        name = objv[1];
        wrap = objv[3];
    } else {
        name = objv[1];
    }

    Tcl_Obj* handle;
    if (wrap) {
        handle = wrap;
    } else {
        if (!c->ctor) return plain_error(interp, "No constructor available.");
        int rc = c->ctor.proc(c->ctor.cd, interp, objc - first, objv + first);
        if (rc != TCL_OK) return rc;
        handle = Tcl_GetObjResult(interp);
    }
    Tcl_Obj* h = Tcl_DuplicateObj(handle);
    Tcl_IncrRefCount(h);
    void* addr;
    Id id;
    if (convert_ptr(interp, h, c->def->type, &addr, 0, &id) != OK || !addr) {
        Tcl_DecrRefCount(h);
        if (Tcl_GetStringResult(interp)[0] == '\0')
            Tcl_AppendResult(interp, "cannot wrap \"", Tcl_GetString(wrap), "\" as ", c->def->name,
                             nullptr);
        return TCL_ERROR;
    }
    // convert_ptr may have resolved a command name: keep the handle itself.
    Tcl_DecrRefCount(h);
    h = new_handle(id, c->def->type);
    if (wrap) {
        // Keep the handle's own type name as given.
        const char* w = Tcl_GetString(wrap);
        if (w[0] == '_') {
            Tcl_DecrRefCount(h);
            h = Tcl_DuplicateObj(wrap);
        }
    }
    Tcl_IncrRefCount(h);
    bool own = wrap == nullptr;
    auto* inst = new Instance{h, id, c, own, nullptr};
    if (own) acquire(id);
    if (!create_instance_command(interp, Tcl_GetString(name ? name : h), inst)) {
        // The interpreter was deleted by a script the call ran.
        if (own) destroy_object(id);
        return plain_error(interp, "the interpreter was deleted during the call");
    }
    return TCL_OK;
}

}  // namespace qb
