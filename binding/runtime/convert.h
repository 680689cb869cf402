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
int convert_ptr(Tcl_Interp* interp, Tcl_Obj* obj, Ty want, void** addr, int flags = 0,
                Id* id = nullptr);

int get_long(Tcl_Interp*, Tcl_Obj*, long*);
int get_int(Tcl_Interp*, Tcl_Obj*, int*);
int get_ushort(Tcl_Interp*, Tcl_Obj*, unsigned short*);
int get_double(Tcl_Interp*, Tcl_Obj*, double*);
int get_float(Tcl_Interp*, Tcl_Obj*, float*);
int get_floats(Tcl_Interp*, Tcl_Obj*, std::vector<float>*);

}  // namespace qb
