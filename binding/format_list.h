// The formats' records (imgclass/formats/format.h) as a Tcl list, the
// answer of `quenz::formats`: one dict per format, in the order
// identification tries them, with keys name, title, extensions, identified
// (told by content), watched (followed by quenz-view's live view),
// generated (its commands made from the record), size (the
// most its reader reads, 0 for no fixed bound), read and write (class,
// command, ...), read_options and write_options (-name words ..., words
// empty for a whole number), frames and header (the listing commands).
// Plain Tcl: quenz-view's fuzz target lists the records the same way.
#pragma once
#include <tcl.h>

#include <string_view>

namespace qb {
Tcl_Obj* format_list();
// One format's dict; an unknown name throws (quenz::Error) with the names.
Tcl_Obj* format_list(std::string_view name);
}
