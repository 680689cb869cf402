// A test host that uses the extension from two threads at once: the same
// script makes, converts, links and destroys objects in the host's own
// interpreter and, through queued scripts, in the viewer thread's
// interpreter. Both share the binding's process-wide state (registry,
// ownership, object commands, linked image pointers), which a race
// detector watches while this runs (make test-threads).
// Usage: threads ROUNDS LIBQUENZTEST   Prints "host: <start> <end>" and
// "viewer: <start> <end>" (microseconds) as each finishes, then "live:
// <before> <after>", the registry's object counts before the start and
// after both interpreters are done.
#include <tcl.h>
#include <tk.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "display/viewer.h"

extern "C" int Quenz_Init(Tcl_Interp* interp);

namespace {

// Everything that touches shared state: class and plain constructors,
// handles and object names, values returned by value, inner pointers,
// objects that depend on an image, the linked pointers, and every way of
// destruction.
const char* churn = R"(
    proc churn {n who} {
        set start [clock microseconds]
        for {set i 0} {$i < $n} {incr i} {
            bild16 b
            b = $i
            bildfloat f b
            set v [new_vec2d 1 $i]
            rename [vec2d_+ $v $v] {}
            delete_vec2d $v
            surface s f
            s put 10 10
            set ::cimg b
            set ::cimg_f [f cget -this]
            set seen [list $::cimg $::cimg_f]
            bildcomplex c f
            bildcomplex_base_get c 1 1
            rename c {}
            set g [bildfloat_convolve f {1} 1 1]
            delete_bildfloat $g
            f -delete
            s -delete
            set ::cimg NULL
            b -delete
        }
        puts "$who: $start [clock microseconds]"
        flush stdout
    }
)";

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ROUNDS LIBQUENZTEST\n", argv[0]);
        return 2;
    }
    int rounds = std::atoi(argv[1]);
    Tcl_FindExecutable(argv[0]);
    Tcl_Interp* interp = Tcl_CreateInterp();
    if (Tcl_Init(interp) != TCL_OK || Tk_Init(interp) != TCL_OK || Quenz_Init(interp) != TCL_OK) {
        std::printf("host: %s\n", Tcl_GetStringResult(interp));
        return 1;
    }
    Tcl_Eval(interp, "wm withdraw .");
    Tcl_Obj* words[] = {Tcl_NewStringObj("load", -1), Tcl_NewStringObj(argv[2], -1),
                        Tcl_NewStringObj("Quenztest", -1)};
    Tcl_Obj* load = Tcl_NewListObj(3, words);
    Tcl_IncrRefCount(load);
    int rc = Tcl_EvalObjEx(interp, load, 0);
    Tcl_DecrRefCount(load);
    if (rc != TCL_OK || Tcl_Eval(interp, "quenztest_live") != TCL_OK) {
        std::printf("host: %s\n", Tcl_GetStringResult(interp));
        return 1;
    }
    std::string before = Tcl_GetStringResult(interp);

    std::string why;
    if (!quenz::viewer::start_viewer_thread(argc, argv, &why)) {
        std::printf("viewer: %s\n", why.c_str());
        return 1;
    }
    std::string n = std::to_string(rounds);
    std::string script = std::string(churn) + "churn " + n + " viewer; destroy .";
    quenz::viewer::send_to_viewer(script.c_str());
    script = std::string(churn) + "churn " + n + " host";
    if (Tcl_Eval(interp, script.c_str()) != TCL_OK) {
        std::printf("host: %s\n", Tcl_GetStringResult(interp));
        std::fflush(stdout);
        std::_Exit(1);
    }
    quenz::viewer::wait_for_viewer_end();
    Tcl_Eval(interp, "quenztest_live");
    std::printf("live: %s %s\n", before.c_str(), Tcl_GetStringResult(interp));
    std::fflush(stdout);
    std::_Exit(0);
}
