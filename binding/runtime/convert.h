// Tcl words to C++ values: numbers, and pointers given as a handle, "NULL"
// or the name of an object command.
#pragma once
#include <tcl.h>

#include <vector>

#include "errors.h"
#include "registry.h"

namespace qb {

// F_PROBE: the conversion only decides overload dispatch (nothing is kept).
// F_ALONE: the call replaces the object's storage, so it must be the only
// call using the object, and no other call may begin on it meanwhile.
enum { F_DISOWN = 1, F_SELF = 2, F_PROBE = 4, F_ALONE = 8 };

// On success *addr is the address as type `want` (null for "NULL").
// The objects converted for one call stay pinned until the call returns:
// another thread may destroy them meanwhile, and they are freed only then.
// One per call on the stack; conversions pin into the innermost.
// It also holds the interpreter once a conversion runs a script (which
// may delete it) until the call, which still reports into it, returns:
// calls that run none pay no Tcl_Preserve.
class CallPins {
public:
    CallPins() : prev_(current) { current = this; }
    ~CallPins() {
        current = prev_;
        if (!ids_.empty()) unpin(ids_);
        for (Tcl_Interp* i : held_) Tcl_Release(i);
    }
    CallPins(const CallPins&) = delete;
    CallPins& operator=(const CallPins&) = delete;
    static PinList* active() { return current ? &current->ids_ : nullptr; }
    // Before a script runs in interp. Without a call (an overload probe)
    // the command procedure holds the interpreter itself.
    static void hold(Tcl_Interp* interp) {
        if (!current) return;
        if (!current->ran_script_) {
            current->ran_script_ = true;
            current->removals_before_ = removals();
        }
        for (Tcl_Interp* i : current->held_)
            if (i == interp) return;
        Tcl_Preserve(interp);
        current->held_.push_back(interp);
    }
    // Whether a script run while converting destroyed objects: one of
    // those already converted may be among them. Only a script destroys.
    bool script_destroyed() const { return ran_script_ && removals() != removals_before_; }
    // Whether a conversion ran a script at all: only then can anything
    // converted earlier, or the interpreter, be gone.
    bool ran_script() const { return ran_script_; }

private:
    PinList ids_;
    std::vector<Tcl_Interp*> held_;
    CallPins* prev_;
    bool ran_script_ = false;
    std::uint64_t removals_before_ = 0;
    // (initial-exec: read on every call, so no lookup through the dynamic
    // loader; a few bytes of the static TLS reserve)
    [[gnu::tls_model("initial-exec")]] static inline thread_local CallPins* current = nullptr;
};

int convert_ptr(Tcl_Interp* interp, Tcl_Obj* obj, Ty want, void** addr, int flags = 0,
                Id* id = nullptr);

int get_long(Tcl_Interp*, Tcl_Obj*, long*);
int get_int(Tcl_Interp*, Tcl_Obj*, int*);
int get_ushort(Tcl_Interp*, Tcl_Obj*, unsigned short*);
int get_double(Tcl_Interp*, Tcl_Obj*, double*);
int get_float(Tcl_Interp*, Tcl_Obj*, float*);
int get_floats(Tcl_Interp*, Tcl_Obj*, std::vector<float>*);

}  // namespace qb
