// The linked variables of an interpreter (see variables.cpp).
#pragma once
#include <tcl.h>

namespace qb {

void register_variables(Tcl_Interp* interp);

}  // namespace qb
