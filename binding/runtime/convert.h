// Tcl words to C++ values: numbers, and pointers given as a handle, "NULL"
// or the name of an object command.
#pragma once
#include <tcl.h>

#include <vector>

#include "errors.h"
#include "registry.h"

namespace qb {

// F_PROBE: the conversion only decides overload dispatch (nothing is kept).
enum { F_DISOWN = 1, F_SELF = 2, F_PROBE = 4 };

// On success *addr is the address as type `want` (null for "NULL").
// The objects converted for one call stay pinned until the call returns:
// another thread may destroy them meanwhile, and they are freed only then.
// One per call on the stack; conversions pin into the innermost.
class CallPins {
public:
    CallPins() : prev_(current) { current = this; }
    ~CallPins() {
        current = prev_;
        if (!ids_.empty()) unpin(ids_);
    }
    CallPins(const CallPins&) = delete;
    CallPins& operator=(const CallPins&) = delete;
    static PinList* active() { return current ? &current->ids_ : nullptr; }

private:
    PinList ids_;
    CallPins* prev_;
    static thread_local CallPins* current;
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
