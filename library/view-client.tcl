# quenz::view: drives a running quenz-view of the same user from another
# process (a script, or the shell through quenz-view --send).
#
#   quenz::view ?-viewer PID? ?-timeout SECONDS? command ?arg ...?
#
# command is one of the viewer's control commands: show nr file,
# showbytes nr bytes ?name?, range nr low high (or auto, minmax, full),
# cmap nr map ?log|linear?, zoom nr z|fit, marker nr ..., snapshot nr file,
# windows. The words go as they are, never evaluated; relative file names
# are made absolute here. Returns the viewer's result or raises its error.
# Without -viewer, the viewer started last that still runs is asked.
#
# -timeout (default 10; a decimal number, fractions allowed) bounds the
# whole exchange with the viewer: taking the connection, the request and
# the answer, all told. A viewer that was stopped, hangs, answers a byte at
# a time, or a socket that accepts and stays silent raises
# "quenz-view PID did not answer within SECONDS s"
# (error code QUENZ VIEW TIMEOUT) and the connection is closed. The wait
# blocks the calling thread; the event loop is not entered, so none of the
# caller's handlers runs inside quenz::view.

namespace eval quenz {}

proc quenz::view {args} {
    set viewer {}
    set timeout 10
    while {[lindex $args 0] in {-viewer -timeout}} {
        set args [lassign $args opt value]
        if {$opt eq "-viewer"} {
            set viewer $value
            continue
        }
        # decimal only: Tcl would read 010 as octal and take inf, nan, 1e9
        if {![regexp {^(\d+\.?\d*|\.\d+)$} $value] || [scan $value %f seconds] != 1 || $seconds <= 0 || $seconds > 86400} {
            error "quenz::view: -timeout wants a number of seconds above 0 and at most 86400, got \"$value\""
        }
        set timeout [format %g $seconds]
    }
    if {![llength $args]} {
        error {wrong # args: should be "quenz::view ?-viewer pid? command ?arg ...?"}
    }
    # names of files the viewer reads or writes, relative to our directory
    set cmd [lindex $args 0]
    if {$cmd in {show snapshot} && [llength $args] > 2} {
        lset args 2 [file normalize [lindex $args 2]]
    } elseif {$cmd eq "marker" && [lindex $args 2] eq "load" && [llength $args] > 3} {
        lset args 3 [file normalize [lindex $args 3]]
    }
    lassign [quenz::view_address $viewer] path token
    # The token goes only to a viewer of our own user: the kernel names the
    # socket's owner, and quenz::view_connect refuses anyone else's.
    set deadline [expr {[clock milliseconds] + 1000.0 * $timeout}]
    try {
        set s [quenz::view_connect $path $timeout]
        fconfigure $s -translation binary -blocking 1
        quenz::view_put $s $token $deadline
        lassign [quenz::view_get $s $deadline] code result
        if {$code} { error $result }
        quenz::view_put $s $args $deadline
        lassign [quenz::view_get $s $deadline] code result
        if {$code} { return -code error $result }
        return $result
    } trap {QUENZ VIEW TIMEOUT} {} {
        return -code error -errorcode {QUENZ VIEW TIMEOUT} \
            "quenz-view [file rootname [file tail $path]] did not answer within $timeout s"
    } finally {
        if {[info exists s]} { close $s }
    }
}

# The socket and token of a viewer: the given one, else the newest token
# file of a viewer still running.
proc quenz::view_address {viewer} {
    set dir [quenz::view_dir]
    if {$viewer ne ""} {
        if {![string is digit -strict $viewer]} { error "-viewer wants a process id, not \"$viewer\"" }
        set file [file join $dir $viewer]
        if {![file exists $file]} { error "no quenz-view $viewer (no $file)" }
    } else {
        set file {}
        set best -1
        foreach f [glob -nocomplain -directory $dir -types f {[0-9]*}] {
            if {![string is digit [file tail $f]] || ![file exists /proc/[file tail $f]]} continue
            if {[catch {file mtime $f} t] || $t < $best} continue
            set best $t
            set file $f
        }
        if {$file eq ""} { error "no running quenz-view found in $dir" }
    }
    # Our own regular file, opened without waiting (never a FIFO or a link).
    if {[catch {file lstat $file st}] || $st(type) ne "file" || $st(uid) != [quenz::view_uid]} {
        error "$file is not a quenz-view token file"
    }
    set f [open $file {RDONLY NONBLOCK}]
    set text [read $f 200]
    close $f
    if {![regexp {^([0-9a-f]{32})\s*$} $text -> token]} {
        error "$file is not a quenz-view token file"
    }
    list $file.sock $token
}

proc quenz::view_uid {} {
    set f [open /proc/self/status]
    regexp -line {^Uid:\s+(\d+)} [read $f] -> uid
    close $f
    return $uid
}

# The directory of the viewers' sockets and tokens, the one rule of the
# viewer and its clients: $QUENZ_VIEW_DIR, else $XDG_RUNTIME_DIR/quenz-view,
# else /tmp/quenz-view-<uid>. Only a directory of the user's own that nobody
# else may enter is used: another user may make the /tmp name first, and
# then ~/.cache/quenz-view-<host> is taken instead. With make (the viewer) a
# missing directory is made, mode 0700. A client is given a missing one
# as it is (no viewer runs there).
namespace eval quenz { variable view_tmp /tmp }
proc quenz::view_dir {{make 0}} {
    global env
    variable view_tmp
    set uid [quenz::view_uid]
    if {[info exists env(QUENZ_VIEW_DIR)] && $env(QUENZ_VIEW_DIR) ne ""} {
        set dirs [list $env(QUENZ_VIEW_DIR)]
    } elseif {[info exists env(XDG_RUNTIME_DIR)] && [file isdirectory $env(XDG_RUNTIME_DIR)]} {
        set dirs [list [file join $env(XDG_RUNTIME_DIR) quenz-view]]
    } else {
        set dirs [list [file join $view_tmp quenz-view-$uid]]
        if {[info exists env(HOME)] && $env(HOME) ne ""} {
            lappend dirs [file join $env(HOME) .cache quenz-view-[info hostname]]
        }
    }
    foreach dir $dirs {
        if {[catch {file lstat $dir st}]} {
            if {!$make} { return $dir }
            catch {
                file mkdir [file dirname $dir]
                file mkdir $dir
                file attributes $dir -permissions 0700
            }
            if {[catch {file lstat $dir st}]} continue
        }
        if {$st(type) eq "directory" && $st(uid) == $uid && !($st(mode) & 0077)} { return $dir }
    }
    error "[lindex $dirs 0] must be a directory of the user's own with mode 0700"
}

# Both ways go past the channel's buffer, on the socket itself
# (quenz::view_send, quenz::view_recv), each within what is left of the
# exchange's time: a write that times out must fail here, not linger in a
# background flush, and a viewer that answers slowly runs out the same
# clock as one that does not answer.
proc quenz::view_put {s text deadline} {
    set data [encoding convertto utf-8 $text]
    quenz::view_send $s "[string length $data]\n$data" [quenz::view_left $deadline]
}

proc quenz::view_get {s deadline} {
    encoding convertfrom utf-8 [quenz::view_recv $s [quenz::view_left $deadline]]
}

# Seconds left until the deadline (milliseconds); none left is a timeout.
proc quenz::view_left {deadline} {
    set left [expr {($deadline - [clock milliseconds]) / 1000.0}]
    if {$left <= 0} { return -code error -errorcode {QUENZ VIEW TIMEOUT} "timed out" }
    return $left
}
