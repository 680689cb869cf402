// quenz-view: shows HIS or PGM files in numbered viewer windows (1, 2, ...)
// with a contrast zoom, then forwards each complete Tcl command read from
// standard input to the viewer, e.g. "showbild $b 3" or "show 1". At the
// end of the input it keeps running until the last window is closed.
//
// The program's own interpreter exists to initialise the extension (which
// binds the stub tables the viewer thread works through); the windows
// live in the viewer thread's interpreter.
#include <tcl.h>
#include <tk.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "display/command_lines.h"
#include "display/viewer.h"

extern "C" int Quenz_Init(Tcl_Interp* interp);

namespace {

// Reads one file into window nr; a file that cannot be read is reported
// here, since the viewer drops errors of queued scripts.
const char* show_file = R"({file nr} {
        set b [new_bild16]
        try {
            set f [open $file rb]
            set magic [read $f 2]
            close $f
            if {$magic eq "P5"} {
                bild16_read_pgm $b $file
            } else {
                bild16_read_his $b $file
            }
            showbild $b $nr
        } on error msg {
            puts stderr "quenz-view: $file: $msg"
        } finally {
            delete_bild16 $b
        }
    })";

// After the end of the input: end the viewer (destroy its main window)
// once no top-level window remains.
const char* close_after_last_window = R"(
    proc quenzview_last {} {
        if {![llength [winfo children .]]} { destroy . }
    }
    bind Toplevel <Destroy> {+after idle quenzview_last}
    quenzview_last
)";

[[noreturn]] void die(const std::string& msg) {
    std::fflush(stdout);
    std::fprintf(stderr, "quenz-view: %s\n", msg.c_str());
    std::_Exit(1);
}

[[noreturn]] void die(const char* what, Tcl_Interp* interp) {
    die(std::string(what) + ": " + Tcl_GetStringResult(interp));
}

// The viewer keeps running in its own thread; leave without running
// static destructors or Tcl finalisation under its feet.
[[noreturn]] void quit(int code) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(code);
}

void send(const std::string& script) {
    if (quenz::viewer::send_to_viewer(script.c_str()) != 0) die("the viewer has ended");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help"))) {
        std::printf("usage: %s [file.his|file.pgm ...]\n"
                    "Shows the files in windows 1, 2, ...; drag a rectangle to zoom the\n"
                    "contrast. Tcl commands read from standard input run in the viewer.\n",
                    argv[0]);
        return 0;
    }
    Tcl_FindExecutable(argv[0]);
    Tcl_Interp* interp = Tcl_CreateInterp();
    if (Tcl_Init(interp) != TCL_OK) die("cannot initialise Tcl", interp);
    if (Tk_Init(interp) != TCL_OK) die("no display available", interp);
    Tcl_Eval(interp, "wm withdraw .");
    if (Quenz_Init(interp) != TCL_OK) die("cannot initialise quenz", interp);

    std::string why;
    if (!quenz::viewer::start_viewer_thread(argc, argv, &why))
        die("the viewer could not start: " + why);
    // Tcl buffers a pipe fully; a person or a program reading our output
    // wants each line as it is written.
    send("fconfigure stdout -buffering line");
    for (int i = 1; i < argc; ++i) {
        Tcl_Obj* words[] = {Tcl_NewStringObj("apply", -1), Tcl_NewStringObj(show_file, -1),
                            Tcl_NewStringObj(argv[i], -1), Tcl_NewIntObj(i)};
        Tcl_Obj* cmd = Tcl_NewListObj(4, words);
        Tcl_IncrRefCount(cmd);
        send(Tcl_GetString(cmd));
        Tcl_DecrRefCount(cmd);
    }

    quenz::CommandLines input;
    std::string cmd, line;
    while (std::getline(std::cin, line))
        if (input.add(line, cmd)) send(cmd);
    if (input.pending().find_first_not_of(" \t\n") != std::string::npos)
        std::fprintf(stderr, "quenz-view: incomplete command at end of input ignored\n");
    // The windows stay until the person closes the last of them.
    send(close_after_last_window);
    quenz::viewer::wait_for_viewer_end();
    quit(0);
}
