// quenzview_notify DIR SCRIPT, in the viewer's interpreter: the kernel's
// word that a writer has finished a file of DIR (closed it after writing,
// or moved it in) runs SCRIPT with the file's path appended, from the
// event loop. On systems without inotify the command is not made and the
// caller looks at the directory itself.
#pragma once
#include <tcl.h>

namespace quenz::view {
// Creates quenzview_notify in interp (Linux only); returns whether it did.
bool create_notify_command(Tcl_Interp* interp);
}  // namespace quenz::view
