// The remote control client's connection and send commands (view_connect.cpp).
#pragma once
#include <tcl.h>

namespace qb {
void create_view_connect(Tcl_Interp* interp);
}
