// quenz-view: shows image files in numbered viewer windows (1, 2, ...)
// with a contrast zoom, then runs each complete Tcl command read from
// standard input in the viewer, e.g. "showbild $b 3" or "show 1", printing
// its result (or "error: " and the message on standard error). At the end
// of the input it keeps running until the last window is closed. Its own
// layer over the viewer script (view-layer.tcl and its parts: readout, colour maps,
// zoom, keys, frames, comparing, live view) is sent after that script
// unless --plain is given; its Tcl for both modes is quenz-view.tcl.
//
// The program's own interpreter exists to initialise the extension (which
// binds the stub tables the viewer thread works through); the windows
// live in the viewer thread's interpreter.
#include <tcl.h>
#include <tk.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <condition_variable>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "quenz-view/command_lines.h"
#include "quenz-view/remote_server.h"
#include "quenz-view/snapshot.h"
#include "display/viewer.h"
#include "imgclass/system/fileio.h"

extern "C" int Quenz_Init(Tcl_Interp* interp);
extern "C" int Quenzcore_Init(Tcl_Interp* interp);
extern const char quenz_view_layer_script[];
extern const char quenz_view_client_script[];
extern const char quenz_view_script[];

namespace {

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

// Sends the words as one command, each word quoted as a list element.
void send_words(std::initializer_list<const char*> words) {
    Tcl_Obj* cmd = Tcl_NewListObj(0, nullptr);
    Tcl_IncrRefCount(cmd);
    for (const char* w : words) Tcl_ListObjAppendElement(nullptr, cmd, Tcl_NewStringObj(w, -1));
    send(Tcl_GetString(cmd));
    Tcl_DecrRefCount(cmd);
}

// Typed commands queued for the viewer and not yet begun. Standard input
// is read only while the viewer keeps up: a fast producer (yes 'set a 1')
// would otherwise fill memory with queued commands as fast as it writes.
// Once the queue is full the reader waits until the viewer has taken half
// of it; the pipe then fills and stops the producer. A single command
// larger than the byte bound still goes, alone.
struct Backlog {
    std::mutex mutex;
    std::condition_variable drained;
    std::size_t commands = 0, bytes = 0;
    bool counting = true;  // until the viewer's interpreter or its command goes
    static constexpr std::size_t max_commands = 256, max_bytes = 4u << 20;
    bool full() const { return commands && (commands >= max_commands || bytes >= max_bytes); }
    bool half() const { return !commands || (commands <= max_commands / 2 && bytes <= max_bytes / 2); }
};
Backlog backlog;

// quenzview_taken SIZE, in the viewer: a typed command of SIZE bytes has
// left the queue.
int taken_cmd(ClientData, Tcl_Interp*, int objc, Tcl_Obj* const objv[]) {
    Tcl_WideInt size = 0;
    if (objc == 2 && Tcl_GetWideIntFromObj(nullptr, objv[1], &size) == TCL_OK && size >= 0) {
        std::lock_guard<std::mutex> lock(backlog.mutex);
        if (backlog.commands) --backlog.commands;
        backlog.bytes -= std::min(backlog.bytes, std::size_t(size));
        if (backlog.half()) backlog.drained.notify_one();
    }
    return TCL_OK;
}

// The command renamed or deleted (the interpreter too): nothing counts
// any more, so the reader never waits again.
void stop_counting() {
    std::lock_guard<std::mutex> lock(backlog.mutex);
    backlog.counting = false;
    backlog.drained.notify_one();
}
void taken_gone(ClientData) { stop_counting(); }
void taken_traced(ClientData, Tcl_Interp*, const char*, const char*, int) { stop_counting(); }

// quenzview_write FILE TEXT: the text, in the system encoding, as the
// file's new content through the library's writer (all or nothing, links
// and special files as for every writer); "Cannot write to FILE" else.
int write_cmd(ClientData, Tcl_Interp* in, int objc, Tcl_Obj* const objv[]) {
    if (objc != 3) {
        Tcl_WrongNumArgs(in, 1, objv, "file text");
        return TCL_ERROR;
    }
    Tcl_DString bytes;
    Tcl_UtfToExternalDString(nullptr, Tcl_GetString(objv[2]), -1, &bytes);
    try {
        quenz::write_file(Tcl_GetString(objv[1]), Tcl_DStringValue(&bytes), std::size_t(Tcl_DStringLength(&bytes)));
    } catch (const std::exception& e) {
        Tcl_DStringFree(&bytes);
        Tcl_SetObjResult(in, Tcl_NewStringObj(e.what(), -1));
        return TCL_ERROR;
    }
    Tcl_DStringFree(&bytes);
    return TCL_OK;
}

// quenzview_read FILE MAX: the text of a regular file of at most MAX
// bytes, in the system encoding. The name is a file name, literally (no
// pipes, no ~): it may come from another process. The open cannot block
// (a FIFO, a device) and what is read is bounded whatever the file claims.
int read_cmd(ClientData, Tcl_Interp* in, int objc, Tcl_Obj* const objv[]) {
    Tcl_WideInt max = 0;
    if (objc != 3) {
        Tcl_WrongNumArgs(in, 1, objv, "file max");
        return TCL_ERROR;
    }
    if (Tcl_GetWideIntFromObj(in, objv[2], &max) != TCL_OK) return TCL_ERROR;
    const char* name = Tcl_GetString(objv[1]);
    int fd = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        Tcl_SetObjResult(in, Tcl_ObjPrintf("couldn't open \"%s\": %s", name, Tcl_ErrnoMsg(errno)));
        return TCL_ERROR;
    }
    std::string text;
    struct stat st;
    const char* why = nullptr;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        why = "not a regular file";
    } else if (st.st_size > max) {
        why = "too large";
    } else {
        char buf[65536];
        for (;;) {
            ssize_t n = read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                why = "read error";
                break;
            }
            if (n == 0) break;
            text.append(buf, std::size_t(n));
            if (Tcl_WideInt(text.size()) > max) {
                why = "too large";
                break;
            }
        }
    }
    close(fd);
    if (why) {
        if (std::strcmp(why, "too large") == 0)
            Tcl_SetObjResult(in, Tcl_ObjPrintf("%s: larger than %" TCL_LL_MODIFIER "d bytes", name, (long long)max));
        else
            Tcl_SetObjResult(in, Tcl_ObjPrintf("%s: %s", name, why));
        return TCL_ERROR;
    }
    Tcl_DString ds;
    Tcl_ExternalToUtfDString(nullptr, text.data(), int(text.size()), &ds);
    Tcl_DStringResult(in, &ds);
    return TCL_OK;
}

// quenzview_head FILE COUNT: the file's first COUNT bytes (at most 4096;
// fewer if it is shorter) as a byte array, read by the library's reader
// under the thread's policy: the viewer never hands a name to Tcl's open.
int head_cmd(ClientData, Tcl_Interp* in, int objc, Tcl_Obj* const objv[]) {
    int count = 0;
    if (objc != 3) {
        Tcl_WrongNumArgs(in, 1, objv, "file count");
        return TCL_ERROR;
    }
    if (Tcl_GetIntFromObj(in, objv[2], &count) != TCL_OK) return TCL_ERROR;
    const char* name = Tcl_GetString(objv[1]);
    try {
        auto bytes = quenz::read_file(name, std::size_t(std::clamp(count, 0, 4096)));
        if (!bytes) throw std::runtime_error(std::string(name) + ": cannot be read");
        Tcl_SetObjResult(in, Tcl_NewByteArrayObj(bytes->data(), int(bytes->size())));
    } catch (const std::exception& e) {
        Tcl_SetObjResult(in, Tcl_NewStringObj(e.what(), -1));
        return TCL_ERROR;
    }
    return TCL_OK;
}

// The static package that gives the viewer's interpreter quenzview_taken,
// quenzview_write, quenzview_read, quenzview_head,
// quenzview_snapshot and quenzview_remote (loaded there with
// `load {} Quenzview`, in the viewer thread).
extern "C" int Quenzview_Init(Tcl_Interp* interp) {
    Tcl_CreateObjCommand(interp, "quenzview_taken", taken_cmd, nullptr, taken_gone);
    Tcl_TraceCommand(interp, "quenzview_taken", TCL_TRACE_RENAME | TCL_TRACE_DELETE, taken_traced,
                     nullptr);
    Tcl_CreateObjCommand(interp, "quenzview_write", write_cmd, nullptr, nullptr);
    Tcl_CreateObjCommand(interp, "quenzview_read", read_cmd, nullptr, nullptr);
    Tcl_CreateObjCommand(interp, "quenzview_head", head_cmd, nullptr, nullptr);
    quenz::view::create_snapshot_command(interp);
    quenz::remote::create_command(interp);
    return TCL_OK;
}

void send_typed(const std::string& cmd) {
    {
        std::unique_lock<std::mutex> lock(backlog.mutex);
        if (backlog.full())
            backlog.drained.wait(lock, [] { return !backlog.counting || backlog.half(); });
        if (backlog.counting) {
            ++backlog.commands;
            backlog.bytes += cmd.size();
        }
    }
    send_words({"quenzview::console", cmd.c_str(), std::to_string(cmd.size()).c_str()});
}

// `exit` in the viewer (key q, the last window closed) ends the process at
// once: Tcl's own finalisation would run under the host thread's feet.
void exit_now(ClientData code) { quit(int(reinterpret_cast<std::intptr_t>(code))); }

struct Options {
    bool plain = false;
    bool console = false;
    bool tile = false;
    std::string range = "auto";  // auto, minmax, full or "LOW HIGH"
    std::string watch;
    std::vector<std::string> files;
};

const char* usage =
    "usage: %s [--plain] [--console] [--range auto|minmax|full|LOW,HIGH] [--watch DIR]\n"
    "          [--tile] [file ...]\n"
    "       %s --send [--viewer PID] command [arg ...]\n"
    "Shows image files in windows 1, 2, ... with a pixel readout, automatic\n"
    "contrast (the 0.5 and 99.5 percentiles), colour maps, zoom and pan, frames,\n"
    "blink, lock and difference; press ? in a window for its keys. It opens\n"
    "HIS exposures, binary PGM (P5, 8 or 16 bit), gnuplot binary matrices,\n"
    "TIFF (grey, 8/16-bit or float, every page), FITS (every image HDU and\n"
    "cube plane), NumPy .npy and grey PNG (8 or 16 bit) files, by content.\n"
    "--watch DIR follows the newest of these files in DIR in window 1.\n"
    "--tile lays the windows out in a grid that fits the screen (key T).\n"
    "--plain shows the plain viewer windows only (HIS and PGM files).\n"
    "Tcl commands read from standard input run in the viewer; results go to\n"
    "standard output, errors to standard error. When no file given could be\n"
    "shown it exits with status 1, unless --console or --watch keeps it.\n"
    "--send gives a command to the running viewer (show, showbytes, range,\n"
    "cmap, zoom, marker, snapshot, windows) and prints its result.\n"
    "See quenz-view(1).\n";

// "LOW,HIGH" as the list "LOW HIGH", with LOW < HIGH; empty if malformed.
std::string range_pair(const std::string& s) {
    auto comma = s.find(',');
    if (comma == std::string::npos) return "";
    std::string a = s.substr(0, comma), b = s.substr(comma + 1);
    char *ea, *eb;
    double lo = std::strtod(a.c_str(), &ea), hi = std::strtod(b.c_str(), &eb);
    if (a.empty() || b.empty() || *ea || *eb || !(lo < hi) || !std::isfinite(lo) ||
        !std::isfinite(hi))
        return "";
    return a + " " + b;
}

Options parse(int argc, char** argv) {
    Options o;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char* name) -> std::string {
            std::string n = name;
            if (a.rfind(n + "=", 0) == 0) return a.substr(n.size() + 1);
            if (i + 1 >= argc) die(n + " wants a value");
            return argv[++i];
        };
        if (options && a == "--") {
            options = false;
        } else if (options && (a == "-h" || a == "--help")) {
            std::printf(usage, argv[0], argv[0]);
            std::exit(0);
        } else if (options && a == "--plain") {
            o.plain = true;
        } else if (options && a == "--console") {
            o.console = true;
        } else if (options && a == "--tile") {
            o.tile = true;
        } else if (options && (a == "--range" || a.rfind("--range=", 0) == 0)) {
            std::string r = value("--range");
            if (r == "auto" || r == "minmax" || r == "full")
                o.range = r;
            else if ((o.range = range_pair(r)).empty())
                die("--range wants auto, minmax, full or LOW,HIGH with LOW < HIGH, not \"" + r +
                    "\"");
        } else if (options && (a == "--watch" || a.rfind("--watch=", 0) == 0)) {
            o.watch = value("--watch");
        } else if (options && a.size() > 1 && a[0] == '-') {
            die("unknown option " + a + " (--help lists them)");
        } else {
            o.files.push_back(a);
        }
    }
    if (o.plain && !o.watch.empty()) die("--watch needs the viewer's layer; leave out --plain");
    if (o.plain && o.tile) die("--tile needs the viewer's layer; leave out --plain");
    return o;
}

// quenz-view --send ?--viewer PID? command ?arg ...?: the command to the
// running viewer through the package's client (library/view-client.tcl);
// its result on standard output, its error on standard error. No display
// is needed.
[[noreturn]] void send_remote(int argc, char** argv) {
    // A command is needed (after --viewer PID, if given): our usage, not Tcl's.
    const int first = argc > 2 && std::strcmp(argv[2], "--viewer") == 0 ? 4 : 2;
    if (argc <= first) {
        std::fputs("usage: quenz-view --send [--viewer PID] command [arg ...]\n"
                   "  (commands: show, showbytes, range, cmap, zoom, marker, snapshot, windows)\n",
                   stderr);
        quit(2);
    }
    Tcl_FindExecutable(argv[0]);
    Tcl_Interp* interp = Tcl_CreateInterp();
    if (Tcl_Init(interp) != TCL_OK) die("cannot initialise Tcl", interp);
    // The library without Tk brings the client's connection command.
    if (Quenzcore_Init(interp) != TCL_OK) die("cannot initialise quenz", interp);
    if (Tcl_Eval(interp, quenz_view_client_script) != TCL_OK) die("client", interp);
    Tcl_Obj* cmd = Tcl_NewStringObj("quenz::view", -1);
    Tcl_IncrRefCount(cmd);
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (i == 2 && a == "--viewer") a = "-viewer";
        Tcl_ListObjAppendElement(nullptr, cmd, Tcl_NewStringObj(a.c_str(), -1));
    }
    if (Tcl_EvalObjEx(interp, cmd, TCL_EVAL_GLOBAL) != TCL_OK) die(Tcl_GetStringResult(interp));
    const char* r = Tcl_GetStringResult(interp);
    if (*r) std::printf("%s\n", r);
    quit(0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--send") == 0) send_remote(argc, argv);
    Options opt = parse(argc, argv);
    Tcl_FindExecutable(argv[0]);
    Tcl_SetExitProc(exit_now);
    Tcl_Interp* interp = Tcl_CreateInterp();
    if (Tcl_Init(interp) != TCL_OK) die("cannot initialise Tcl", interp);
    if (Tk_Init(interp) != TCL_OK) die("no display available", interp);
    Tcl_Eval(interp, "wm withdraw .");
    if (Quenz_Init(interp) != TCL_OK) die("cannot initialise quenz", interp);

    Tcl_StaticPackage(nullptr, "Quenzview", Quenzview_Init, nullptr);

    // The viewer thread's start-up lines ("T2", "T1 n") are for host
    // programs; quenz-view's standard output is its console's results, so
    // under the layer they go nowhere.
    int saved_stdout = -1;
    if (!opt.plain) {
        std::fflush(stdout);
        int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        saved_stdout = null >= 0 ? fcntl(1, F_DUPFD_CLOEXEC, 3) : -1;
        if (saved_stdout >= 0) dup2(null, 1);
        if (null >= 0) close(null);
    }
    std::string why;
    bool started = quenz::viewer::start_viewer_thread(argc, argv, &why);
    if (saved_stdout >= 0) {
        std::fflush(stdout);
        dup2(saved_stdout, 1);
        close(saved_stdout);
    }
    if (!started) die("the viewer could not start: " + why);
    send("load {} Quenzview");
    send(quenz_view_script);
    // Tcl buffers a pipe fully; a person or a program reading our output
    // wants each line as it is written.
    send("fconfigure stdout -buffering line");
    if (!opt.plain) {
        send(quenz_view_layer_script);
        send_words({"set", "qv::rangemode", opt.range.c_str()});
    }
    // With --watch the directory has window 1 and the files follow.
    int nr = 1;
    if (!opt.watch.empty()) send_words({"qv::watch", opt.watch.c_str()}), ++nr;
    for (const auto& f : opt.files) {
        std::string n = std::to_string(nr++);
        if (opt.plain)
            send_words({"quenzview::plainopen", f.c_str(), n.c_str()});
        else
            send_words({"qv::openfile", f.c_str(), n.c_str()});
    }
    // Files were given and none could be shown: nothing to look at, and a
    // terminal's standard input would keep the program waiting unseen.
    if (!opt.files.empty() && opt.watch.empty() && !opt.console) send("quenzview::nothing_shown");
    if (opt.tile) send("qv::tile::set_on 1");

    quenz::CommandLines input;
    std::string cmd, line;
    while (std::getline(std::cin, line))
        if (input.add(line, cmd)) send_typed(cmd);
    if (input.pending().find_first_not_of(" \t\n") != std::string::npos)
        std::fprintf(stderr, "quenz-view: incomplete command at end of input ignored\n");
    // The windows stay until the person closes the last of them.
    send("quenzview::at_end");
    quenz::viewer::wait_for_viewer_end();
    quit(0);
}
