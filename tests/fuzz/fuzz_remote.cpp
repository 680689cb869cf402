// quenz-view's remote control from the socket inwards: the input is what
// a connection sends. It is cut into messages by the server's framing
// (token-sized messages until the token "tok" has come, as in the server),
// and each later message runs through the server's own request path
// (run_request) into the control commands of the view layer's
// view-remote.tcl and view-markers.tcl, over a stand-in for the windows
// and readers. Any error is an answer; a crash, a leak, a runaway
// allocation or a request that reaches a command outside the controls is a
// finding.
#include <tcl.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "quenz-view/remote_frames.h"
#include "quenz-view/remote_server.h"

namespace {

const char* setup_script = R"(
    # The windows: window 1 exists; Tk's commands and the layer's
    # procedures the controls call are stand-ins that only check their
    # words.
    namespace eval qv { variable win; array set win {1,kind 16 1,zoom 1 1,file {} 1,source x} }
    set qv::files {}
    set qv::maps {grey invgrey viridis heat}
    set zoomlow(1) 0; set zoomhigh(1) 1
    proc winfo {what args} { expr {$what eq "exists" ? [string match .t1* [lindex $args 0]] : 1} }
    proc wm {args} { return "1: x" }
    proc update {args} {}
    proc .t1.c {args} {}
    proc qv::listen {args} {}
    proc qv::part {args} {}
    proc qv::hook {args} {}
    proc qv::readfile {file nr args} {
        if {[string length $file] > 4096} { error "name too long" }
    }
    proc qv::title {nr} {}
    namespace eval quenzview {}
    proc quenzview::plain {file msg} { return $msg }
    foreach p {range render shown_range fit windows} { proc qv::$p {args} {} }
    proc qv::setrange {nr lo hi} {}
    proc qv::setzoom {nr z} { set ::qv::win($nr,zoom) $z }
    proc quenzview_read {file max} { error "$file: no such file" }
    proc quenzview_snapshot {args} { error "no snapshots here" }
    proc qv::snapshot {nr file} { quenzview_snapshot view$nr $file {} }
    proc view1 {args} { error "no photo here" }
    foreach f $layers { source $f }
    set qv::remote::dir $tmpdir
    # What no request may reach: running a program, sourcing a script,
    # listing a directory, or opening any file but the layer's own
    # temporary files.
    foreach cmd {exec source glob} { rename $cmd {}; proc $cmd {args} "fuzz_finding $cmd" }
    rename open fuzz_open
    proc open {name args} {
        if {![string match $::tmpdir/* $name]} { fuzz_finding "open $name" }
        fuzz_open $name {*}$args
    }
)";

int finding(ClientData, Tcl_Interp*, int objc, Tcl_Obj* const objv[]) {
    std::fprintf(stderr, "fuzz_remote: a request reached %s\n", objc > 1 ? Tcl_GetString(objv[1]) : "?");
    std::abort();
}

Tcl_Interp* interp() {
    static Tcl_Interp* in = [] {
        Tcl_FindExecutable(nullptr);
        Tcl_Interp* i = Tcl_CreateInterp();
        Tcl_SetVar(i, "layers", QUENZ_REMOTE_LAYERS, TCL_GLOBAL_ONLY);
        std::string tmp = "/tmp/quenz-fuzz-remote-" + std::to_string(getpid());
        Tcl_SetVar(i, "tmpdir", tmp.c_str(), TCL_GLOBAL_ONLY);
        Tcl_CreateObjCommand(i, "fuzz_finding", finding, nullptr, nullptr);
        if (Tcl_Eval(i, ("file mkdir " + tmp + "\n" + setup_script).c_str()) != TCL_OK) {
            std::fprintf(stderr, "fuzz_remote: %s\n", Tcl_GetStringResult(i));
            std::abort();
        }
        return i;
    }();
    return in;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Tcl_Interp* in = interp();
    static Tcl_Obj* prefix = [] {
        Tcl_Obj* p = Tcl_NewStringObj("qv::remote::request", -1);
        Tcl_IncrRefCount(p);
        return p;
    }();
    const quenz::remote::Limits limits;
    quenz::remote::Frames frames(limits.token_bytes);
    frames.add(reinterpret_cast<const char*>(data), size);
    Tcl_Eval(in, "set qv::files {}; array unset qv::marks");
    bool authed = false;
    std::string msg;
    while (frames.next(msg) == quenz::remote::Frames::Got::frame) {
        if (!authed) {
            if (msg != "tok") break;
            authed = true;
            frames.set_max(limits.request_bytes);
            continue;
        }
        std::string answer = quenz::remote::run_request(in, prefix, msg, limits.words);
        if (answer.empty()) std::abort();
    }
    // A request must never have left a window behind that is not 1..999
    // in its one spelling.
    if (Tcl_Eval(in, "foreach k [array names qv::win *,kind] { if {![regexp {^[1-9][0-9]{0,2},kind$} $k]} { error $k } }") != TCL_OK)
        std::abort();
    return 0;
}
