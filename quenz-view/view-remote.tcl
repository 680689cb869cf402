# quenz-view's remote control: another process of the same user drives the
# open viewer (quenz::view in the package, quenz-view --send).
#
# The viewer listens on a local socket <dir>/<pid>.sock and writes a random
# token into <dir>/<pid>, a file of mode 0600, in a directory of mode 0700
# that belongs to the user (dir: $QUENZ_VIEW_DIR, else
# $XDG_RUNTIME_DIR/quenz-view, else /tmp/quenz-view-<uid>, or when another
# user holds that name ~/.cache/quenz-view-<host>). Other users
# cannot reach the socket; the kernel names each peer's user, and a
# connection of another user is refused before a byte of it is read
# (quenzview_remote, quenz-view/remote_server.cpp). The first message must be
# the token. Messages both ways are "<bytes>\n" followed by that many bytes
# of UTF-8 text; each request is a list of words, answered by the list
# {code result}.
#
# A request's words are never evaluated: the first names one of the
# control commands below and the others are its arguments, as they are. A
# file name in a request is a file name, literally: it reaches only the
# library's readers and writers (and quenzview_read), never Tcl's open,
# file, glob, exec or source. The bounds on connections and requests are
# the server's (quenzview_remote limits); a window takes at most
# qv::remote::maxmarks markers.

namespace eval qv::remote {
    variable dir {}
    variable file {}
    variable token {}
    variable socket {}
    # name -> {procedure usage}
    variable controls {
        show      {qv::remote::show {show nr file}}
        showbytes {qv::remote::showbytes {showbytes nr bytes ?name?}}
        range     {qv::remote::range {range nr low high | range nr auto|minmax|full}}
        cmap      {qv::remote::cmap {cmap nr grey|invgrey|viridis|heat ?log|linear?}}
        zoom      {qv::remote::zoom {zoom nr 1..16|fit}}
        marker    {qv::remote::marker {marker nr circle|cross|text|load|clear|list ...}}
        snapshot  {qv::remote::snapshot {snapshot nr file.png}}
        windows   {qv::remote::windows {windows}}
    }
}

proc qv::remote::uid {} {
    set f [open /proc/self/status]
    set text [read $f]
    close $f
    regexp -line {^Uid:\s+(\d+)} $text -> uid
    return $uid
}

# The directory for the sockets and tokens: the client's own rule
# (quenz::view_dir), made 0700 if missing.
proc qv::remote::directory {} { quenz::view_dir 1 }

proc qv::remote::start {} {
    variable dir
    variable file
    variable token
    variable socket
    set dir [directory]
    # the tokens and sockets of viewers that have ended
    foreach f [glob -nocomplain -directory $dir {[0-9]*}] {
        set p [file rootname [file tail $f]]
        if {[string is digit -strict $p] && ![file exists /proc/$p]} { file delete $f }
    }
    set r [open /dev/urandom rb]
    binary scan [read $r 16] H* token
    close $r
    set file [file join $dir [pid]]
    set socket $file.sock
    file delete $file
    quenzview_remote listen $dir [pid].sock $token qv::remote::request
    set f [open $file {WRONLY CREAT EXCL} 0600]
    puts $f $token
    close $f
    trace add execution exit enter qv::remote::stop
    bind . <Destroy> {+if {"%W" eq "."} qv::remote::stop}
    return $socket
}

proc qv::remote::stop {args} {
    variable file
    if {$file ne ""} { catch {file delete $file} }
    set file {}
    catch {quenzview_remote close}
}

# One request: its first word names the control, the rest are its
# arguments as they came.
proc qv::remote::request {args} {
    variable controls
    set name [lindex $args 0]
    if {![dict exists $controls $name]} { error "invalid command name \"$name\"" }
    [lindex [dict get $controls $name] 0] {*}[lrange $args 1 end]
}

# ------------------------------------------------- the control commands

proc qv::remote::usage {name} {
    error "wrong # args: should be \"[lindex [dict get $qv::remote::controls $name] 1]\""
}

proc qv::remote::window {nr} {
    number $nr
    if {![info exists qv::win($nr,kind)] || ![winfo exists .t$nr.c]} { error "no window $nr" }
}

# A window's number in its one spelling: "5", never "05", " 5" or "0x5"
# (each would be a window of its own).
proc qv::remote::number {nr} {
    if {![regexp {^[1-9][0-9]{0,2}$} $nr]} {
        error "window number must be 1..999, not \"$nr\""
    }
}

proc qv::remote::show {args} {
    if {[llength $args] != 2} { usage show }
    lassign $args nr file
    number $nr
    # An error names the file once, as on the command line.
    if {[catch {qv::readfile $file $nr} err]} { error "$file: [quenzview::plain $file $err]" }
    # among the files n and N step through
    if {$file ni $qv::files} { lappend qv::files $file }
    return [wm title .t$nr]
}

# The bytes go through a file of the user's own directory, named like NAME
# so that a reader that goes by the name (a short HIS file) sees it.
proc qv::remote::showbytes {args} {
    variable dir
    if {[llength $args] ni {2 3}} { usage showbytes }
    lassign $args nr bytes name
    number $nr
    if {$name eq ""} { set name bytes }
    # The temporary's name is ours; of the request's name only a plain
    # extension is kept.
    set ext [file extension [file tail $name]]
    if {![regexp {^\.[A-Za-z0-9]{1,8}$} $ext]} { set ext "" }
    set tmp [file join $dir [pid]-[clock microseconds]$ext]
    set f [open $tmp {WRONLY CREAT EXCL BINARY} 0600]
    try {
        puts -nonewline $f $bytes
        close $f
        qv::readfile $tmp $nr
    } finally {
        catch {close $f}
        file delete $tmp
    }
    set qv::win($nr,file) {}
    set qv::win($nr,source) [file tail $name]
    qv::title $nr
    return [wm title .t$nr]
}

proc qv::remote::range {args} {
    if {[llength $args] ni {2 3}} { usage range }
    lassign $args nr lo hi
    window $nr
    if {[llength $args] == 2} {
        if {$lo ni {auto minmax full}} { usage range }
        set qv::win($nr,mode) $lo
        qv::range $nr
        qv::render $nr
    } else {
        foreach v [list $lo $hi] {
            if {![string is double -strict $v]} { error "range: expected a number but got \"$v\"" }
            # (NaN fails the comparison or raises; an infinite end cannot be drawn)
            if {[catch {expr {abs(double($v)) < Inf}} finite] || !$finite} {
                error "range: expected a finite number but got \"$v\""
            }
        }
        if {!($lo < $hi)} { error "range: low must be below high" }
        qv::setrange $nr $lo $hi
    }
    qv::shown_range $nr
}

proc qv::remote::cmap {args} {
    if {[llength $args] ni {2 3}} { usage cmap }
    lassign $args nr map scale
    window $nr
    if {$map ni $qv::maps} { error "cmap: unknown colour map \"$map\": must be [join $qv::maps {, }]" }
    if {$scale ni {"" log linear}} { usage cmap }
    set qv::win($nr,map) $map
    if {$scale ne ""} { set qv::win($nr,log) [expr {$scale eq "log"}] }
    qv::render $nr
    return $map
}

proc qv::remote::zoom {args} {
    if {[llength $args] != 2} { usage zoom }
    lassign $args nr z
    window $nr
    if {$z eq "fit"} {
        qv::fit $nr
    } elseif {[string is integer -strict $z] && $z >= 1 && $z <= 16} {
        qv::setzoom $nr $z
    } else {
        error "zoom: expected 1..16 or fit but got \"$z\""
    }
    return $qv::win($nr,zoom)
}

proc qv::remote::marker {args} {
    if {[llength $args]} { number [lindex $args 0] }
    ::marker {*}$args
}

proc qv::remote::snapshot {args} {
    if {[llength $args] != 2} { usage snapshot }
    lassign $args nr file
    window $nr
    update idletasks
    # The library's writer: the name as given, all or nothing.
    if {[catch {qv::snapshot $nr $file} err]} {
        error "snapshot: cannot write $file: $err"
    }
    return $file
}

proc qv::remote::windows {args} {
    if {[llength $args]} { usage windows }
    qv::windows
}

if {[info commands quenzview_remote] ne "" && [catch {qv::remote::start} err]} {
    puts stderr "quenz-view: no remote control: $err"
}
