// A test host for the viewer's start-up: initialises the extension on the
// real display, then starts the viewer thread on the display named by
// argv[1] (one that does not exist makes Tk fail in the viewer thread),
// and then once more on the real display.
#include <tcl.h>
#include <tk.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "display/viewer.h"

extern "C" int Quenz_Init(Tcl_Interp* interp);

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DISPLAY-FOR-THE-VIEWER\n", argv[0]);
        return 2;
    }
    Tcl_FindExecutable(argv[0]);
    Tcl_Interp* interp = Tcl_CreateInterp();
    if (Tcl_Init(interp) != TCL_OK || Tk_Init(interp) != TCL_OK || Quenz_Init(interp) != TCL_OK) {
        std::printf("host: %s\n", Tcl_GetStringResult(interp));
        return 1;
    }
    const char* real = std::getenv("DISPLAY");
    std::string real_display = real ? real : "";
    std::printf("send before start: %d\n", quenz::viewer::send_to_viewer("puts early"));

    setenv("DISPLAY", argv[1], 1);
    std::string why;
    bool ok = quenz::viewer::start_viewer_thread(argc, argv, &why);
    std::printf("start: %s\n", ok ? "ok" : ("failed: " + why).c_str());
    std::printf("send after start: %d\n", quenz::viewer::send_to_viewer("puts early"));
    std::fflush(stdout);

    setenv("DISPLAY", real_display.c_str(), 1);
    ok = quenz::viewer::start_viewer_thread(argc, argv, &why);
    std::printf("second start: %s\n", ok ? "ok" : ("failed: " + why).c_str());
    std::fflush(stdout);
    if (ok) {
        quenz::viewer::send_to_viewer("puts [list procs [lsort [info procs zoom*]]]; flush stdout");
        // A host's scripts fail silently, and it gets no layer of quenz-view's.
        quenz::viewer::send_to_viewer("error boom");
        quenz::viewer::send_to_viewer(
            "puts [list layer [namespace exists ::qv] [llength [info commands showfloat]]]; flush stdout");
        quenz::viewer::send_to_viewer("destroy .");
        quenz::viewer::wait_for_viewer_end();
        std::printf("ended; send after end: %d\n", quenz::viewer::send_to_viewer("puts late"));
    }
    std::fflush(stdout);
    std::_Exit(0);
}
