// quenzview_snapshot PHOTO FILE ?ITEMS?, in the viewer's interpreter: the
// photo image's pixels, with the ITEMS the window draws over it (markers,
// the profile line: {line x1 y1 ... #rrggbb width} or {oval x1 y1 x2 y2
// #rrggbb width} in the photo's pixels) drawn in, as an 8-bit RGB PNG
// (RGBA when some pixel is not opaque)
// through the library's PNG encoder and writer. FILE is taken literally
// (no tilde, no Tcl file commands) and written all or nothing like every
// writer's file: no predictable temporary name, a symbolic link written
// through, a directory refused, "Cannot write to FILE" on failure.
#pragma once
#include <tcl.h>

namespace quenz::view {
void create_snapshot_command(Tcl_Interp* interp);
}  // namespace quenz::view
