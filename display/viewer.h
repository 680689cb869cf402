// The viewer thread: a background thread with its own Tcl/Tk interpreter,
// the extension and the viewer script, running the Tk event loop; a host
// program hands it scripts as queued events. Both operations reach Tcl
// through the extension's stub tables, so the extension must have been
// initialised in an interpreter of the process first (Quenz_Init).
#pragma once
#include <string>

namespace quenz::viewer {

// Starts the viewer thread and waits until its interpreter is ready, then
// queues the viewer script and prints "T1 <number of waits>". Returns
// false, with the interpreter's reason in *error, when Tcl, Tk or quenz
// cannot be initialised in the viewer thread (no display, for instance).
// A viewer that is already running is kept.
bool start_viewer_thread(int argc, char** argv, std::string* error = nullptr);

// Queues a script for evaluation at global level in the viewer and returns
// 0 at once; an error in the script is dropped. Returns -1 when no viewer
// is running (never started, failed, or ended).
int send_to_viewer(const char* script);

// Returns when the viewer's event loop has ended (its main window "." was
// destroyed), or at once when no viewer is running.
void wait_for_viewer_end();

}  // namespace quenz::viewer
