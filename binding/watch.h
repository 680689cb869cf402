// quenz::watch and quenz::read_policy (watch.cpp): finished files of a
// directory as they come, and how this thread's readers open them.
#pragma once
#include <tcl.h>

namespace qb {
void create_watch_commands(Tcl_Interp* interp);
}
