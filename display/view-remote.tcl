# quenz-view's remote control: another process of the same user drives the
# open viewer (quenz::view in the package, quenz-view --send).
#
# The viewer listens on a TCP port of 127.0.0.1 only, and writes the port
# and a random token into <dir>/<pid>, a file of mode 0600 in a directory
# of mode 0700 that belongs to the user (dir: $QUENZ_VIEW_DIR, else
# $XDG_RUNTIME_DIR/quenz-view, else /tmp/quenz-view-<uid>). A connection
# is refused unless the kernel's table of sockets (/proc/net/tcp) names
# the viewer's own user as the peer's owner, and unless its first message
# is the token. Messages both ways are "<bytes>\n" followed by that many
# bytes of UTF-8 text; each request is one Tcl command, answered by the
# list {code result}. Requests run in a safe interpreter that holds only
# the control commands below: no file, no exec, no proc, no set.

namespace eval qv::remote {
    variable dir {}
    variable file {}
    variable token {}
    variable port {}
    variable server {}
    variable safe {}
    variable conn
    array set conn {}
    variable maxframe [expr {64 << 20}]
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

# The directory for the port files, made 0700 if missing; refused when it
# is a link, is not the user's, or others may enter it.
proc qv::remote::directory {} {
    global env
    if {[info exists env(QUENZ_VIEW_DIR)] && $env(QUENZ_VIEW_DIR) ne ""} {
        set dir $env(QUENZ_VIEW_DIR)
    } elseif {[info exists env(XDG_RUNTIME_DIR)] && [file isdirectory $env(XDG_RUNTIME_DIR)]} {
        set dir [file join $env(XDG_RUNTIME_DIR) quenz-view]
    } else {
        set dir /tmp/quenz-view-[uid]
    }
    if {![file exists $dir]} {
        file mkdir $dir
        file attributes $dir -permissions 0700
    }
    file lstat $dir st
    if {$st(type) ne "directory" || $st(uid) != [uid] || ($st(mode) & 0077)} {
        error "$dir must be a directory of the user's own with mode 0700"
    }
    return $dir
}

proc qv::remote::start {} {
    variable dir
    variable file
    variable token
    variable port
    variable server
    set dir [directory]
    # port files of viewers that have ended
    foreach f [glob -nocomplain -directory $dir -types f {[0-9]*}] {
        if {![file exists /proc/[file tail $f]]} { file delete $f }
    }
    set r [open /dev/urandom rb]
    binary scan [read $r 16] H* token
    close $r
    set server [socket -server qv::remote::accept -myaddr 127.0.0.1 0]
    set port [lindex [fconfigure $server -sockname] 2]
    set file [file join $dir [pid]]
    file delete $file
    set f [open $file {WRONLY CREAT EXCL} 0600]
    puts $f "$port $token"
    close $f
    makesafe
    trace add execution exit enter qv::remote::stop
    bind . <Destroy> {+if {"%W" eq "."} qv::remote::stop}
    return $port
}

proc qv::remote::stop {args} {
    variable file
    variable server
    if {$file ne ""} { catch {file delete $file} }
    set file {}
    if {$server ne ""} { catch {close $server} }
    set server {}
}

# A safe interpreter, then every command it had hidden and every namespace
# but the global one deleted, and the control commands as aliases.
proc qv::remote::makesafe {} {
    variable safe
    variable controls
    set safe [interp create -safe]
    set cmds [$safe eval {info commands}]
    $safe eval {
        foreach ns [namespace children ::] { catch {namespace delete $ns} }
    }
    foreach cmd $cmds { catch {$safe hide $cmd} }
    dict for {name control} $controls { $safe alias $name [lindex $control 0] }
}

# The owner of the peer's socket, from the kernel's socket table: the line
# whose local end is the peer's port and whose remote end is ours.
proc qv::remote::peer_uid {peerport} {
    variable port
    set f [open /proc/net/tcp]
    set lines [split [read $f] \n]
    close $f
    set want [format ":%04X" $peerport]
    set ours [format ":%04X" $port]
    foreach line [lrange $lines 1 end] {
        set w [regexp -all -inline {\S+} $line]
        if {[llength $w] < 8} continue
        if {[string range [lindex $w 1] end-4 end] eq $want && [string range [lindex $w 2] end-4 end] eq $ours
            && [string match 0100007F:* [lindex $w 1]]} {
            return [lindex $w 7]
        }
    }
    return {}
}

proc qv::remote::accept {chan addr peerport} {
    variable conn
    fconfigure $chan -translation binary -blocking 0
    set uid [peer_uid $peerport]
    if {$addr ne "127.0.0.1" || $uid ne [uid]} {
        reply $chan 1 "refused: the viewer takes commands from its own user only"
        close $chan
        return
    }
    set conn($chan) {}
    set conn($chan,authed) 0
    fileevent $chan readable [list qv::remote::readable $chan]
}

proc qv::remote::reply {chan code result} {
    set data [encoding convertto utf-8 [list $code $result]]
    catch {
        puts -nonewline $chan "[string length $data]\n$data"
        flush $chan
    }
}

proc qv::remote::drop {chan} {
    variable conn
    catch {close $chan}
    array unset conn $chan
    array unset conn $chan,*
}

proc qv::remote::readable {chan} {
    variable conn
    variable maxframe
    if {[catch {read $chan} data]} { drop $chan; return }
    append conn($chan) $data
    while {[set nl [string first \n $conn($chan)]] >= 0} {
        set len [string range $conn($chan) 0 [expr {$nl - 1}]]
        if {![string is digit -strict $len] || [string length $len] > 12 || $len > $maxframe} {
            reply $chan 1 "refused: malformed message"
            drop $chan
            return
        }
        if {[string length $conn($chan)] < $nl + 1 + $len} break
        set msg [encoding convertfrom utf-8 [string range $conn($chan) [expr {$nl + 1}] [expr {$nl + $len}]]]
        set conn($chan) [string range $conn($chan) [expr {$nl + 1 + $len}] end]
        if {!$conn($chan,authed)} {
            if {$msg ne $qv::remote::token} {
                reply $chan 1 "refused: wrong token"
                drop $chan
                return
            }
            set conn($chan,authed) 1
            reply $chan 0 ok
            continue
        }
        set code [catch {$qv::remote::safe eval $msg} result]
        reply $chan [expr {$code == 1}] $result
    }
    if {[eof $chan]} { drop $chan }
}

# ------------------------------------------------- the control commands

proc qv::remote::usage {name} {
    error "wrong # args: should be \"[lindex [dict get $qv::remote::controls $name] 1]\""
}

proc qv::remote::window {nr} {
    if {![info exists qv::win($nr,kind)] || ![winfo exists .t$nr.c]} { error "no window $nr" }
}

proc qv::remote::number {nr} {
    if {![string is integer -strict $nr] || $nr < 1 || $nr > 999} {
        error "window number must be 1..999, not \"$nr\""
    }
}

proc qv::remote::show {args} {
    if {[llength $args] != 2} { usage show }
    lassign $args nr file
    number $nr
    qv::readfile $file $nr
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
    set tmp [file join $dir [pid]-[clock microseconds][file extension [file tail $name]]]
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
            if {![string is double -strict $v] || $v ne $v} { error "range: expected a number but got \"$v\"" }
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

proc qv::remote::marker {args} { ::marker {*}$args }

proc qv::remote::snapshot {args} {
    if {[llength $args] != 2} { usage snapshot }
    lassign $args nr file
    window $nr
    update idletasks
    # The library's writer: the name as given, all or nothing.
    if {[catch {quenzview_snapshot view$nr $file} err]} {
        error "snapshot: cannot write $file: $err"
    }
    return $file
}

proc qv::remote::windows {args} {
    if {[llength $args]} { usage windows }
    qv::windows
}

if {[catch {qv::remote::start} err]} {
    puts stderr "quenz-view: no remote control: $err"
}
