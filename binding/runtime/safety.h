// Safe interpreters: they reach only the objects made in them (their
// domain) and never a file; trusted interpreters share domain 0.
#pragma once
#include <tcl.h>

#include "registry.h"

namespace qb {

// The domain of the objects an interpreter makes and reaches: 0 for a
// trusted interpreter, a number of its own for a safe one.
Domain domain_of(Tcl_Interp* interp);

// Whether a command may open files in interp (not in a safe interpreter).
inline bool file_access_allowed(Tcl_Interp* interp) { return !interp || !Tcl_IsSafe(interp); }

}  // namespace qb
