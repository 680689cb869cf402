// The text form of a handle: "_", the four bytes of the id least
// significant first as lowercase hex, then the mangled type name.
#pragma once
#include <tcl.h>

#include <string>

#include "registry.h"

namespace qb {

std::string handle_text(Id id, Ty t);
Tcl_Obj* new_handle(Id id, Ty t);
// Decodes "_xxxxxxxx<mangled>" into id and type; false if malformed.
// Pure text work, no interpreter: the fuzz target calls it directly.
bool parse_handle(const char* text, Id* id, Ty* type);
// The same for a Tcl_Obj, which keeps the parsed id and type.
bool parse_handle_obj(Tcl_Obj* obj, Id* id, Ty* type);
// Whether obj holds a parsed handle already.
bool is_handle_obj(const Tcl_Obj* obj);

}  // namespace qb
