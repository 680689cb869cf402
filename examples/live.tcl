# The live reduction: each exposure the camera finishes in INDIR is reduced
# by examples/reduce.tcl's reduce::one as soon as the kernel says its writer
# has closed it or moved it in (quenz::watch), in 1 or 2 worker threads
# (quenz::feed: each worker an interpreter of its own, as quenz::batch's).
#
# Usage: tclsh live.tcl ?-workers N? ?-every N? ?-idle SECONDS? CALDIR INDIR OUTDIR
#
#   -workers N   worker threads (default 1; 2 on a machine of 2 cores)
#   -every N     every Nth reduced frame, with its statistics, goes to the
#                running quenz-view's window 1 (default 10; 0: none). A
#                viewer has 2 s to answer; one that does not (stopped,
#                hung) is said once and not asked again in this run, since
#                each wait holds the reduction; a viewer started after it
#                is asked.
#   -idle S      ends once nothing has come for S seconds and everything
#                is reduced (default: runs until it is stopped)
#
# Files are reduced strictly in the order they arrived, each once: the
# outputs of reduce::one (OUTDIR/<name>.bin and .stats) and one line per
# file appended to OUTDIR/live-stats.txt, in arrival order, each line
# whole: the file's name (relative to INDIR; a backslash, a space and
# control characters written as \\ and \ooo, the C1 controls, line and
# paragraph separators and direction marks as \uXXXX, so that the name is
# one word that shows as it is, and Tcl's `subst -nocommands -novariables`
# gives it back) and imgstats' numbers "n min max sum mean std median
# nan" (reduce::stats). Files that are in INDIR when it starts are reduced
# first, oldest first.
#
# INDIR is written by others: only names ending in .his that do not begin
# with a dot are taken (a writer's temporary is hidden or named otherwise),
# only regular files are read, and never through a symbolic link (the
# workers read under `quenz::read_policy regular nofollow`). INDIR itself
# may be a link: it is resolved once at the start (the start line names
# the directory it leads to), and that directory is the one watched and
# read for the whole run. A name that is not valid in the system's
# encoding (bytes that are not UTF-8) cannot be read through Tcl: the
# watch does not announce it and it is not reduced. Each time a writer
# closes a file it had open for writing, the file is reduced again, as a
# new exposure; only a notice that repeats what a listing already took is
# passed over, unless the file had been written in the two seconds
# before the listing (it may have been taken half-written): then its
# writer's notice is taken too, and its failure at the listing is said,
# and counted at the end only if its writer never finishes it. A file that
# fails is reported on stderr with its message and the rest go on; it is
# tried again if its writer announces it again. A name too long for its
# outputs fails before anything is written.
#
# Standard error: a start line; a line a second while files wait longer
# than a second (the backlog: how many, the oldest's wait, the rate), and
# one when the reduction has caught up; one line when there is no viewer
# to show frames in, and one for each viewer that did not answer; with
# -idle a summary at the end. Exit status 0, 1 if any file failed, 2 when
# the run could not start.
package require quenzcore

namespace eval live {
    variable workers 1 every 10 idle 0
    variable seen         ;# path -> what the file was when queued (lstat), how it came
    variable waiting      ;# path -> the failure of a file listed half written
    variable order {}     ;# the paths of seen, oldest first (a bounded memory)
    variable arrival      ;# feed number -> arrival time (ms)
    variable reduced 0 failed 0 passed 0 viewer unknown reported 0 overflowed 0
    variable silent {}    ;# the viewers (process ids) that did not answer
    variable started [clock milliseconds] last [clock milliseconds] mark {0 0}
}

proc live::usage {} {
    puts stderr "usage: live.tcl ?-workers N? ?-every N? ?-idle SECONDS? CALDIR INDIR OUTDIR"
    exit 2
}

# A file of INDIR was finished (or, path empty, the kernel's queue
# overflowed or INDIR itself went: it is watched again and looked at).
proc live::arrived {path {how notice}} {
    variable indir
    variable overflowed
    if {$path eq ""} {
        if {![rearm]} return
        if {!$overflowed} {
            puts stderr "live: the kernel's notices were lost (a queue overflow) or $indir changed; looking at it again"
            set overflowed 1
        }
        foreach p [existing] { arrived $p listed }
        return
    }
    set name [string range $path [string length $indir/] end]
    if {[string index $name 0] eq "." || ![string equal -nocase [string range $name end-3 end] .his]} return
    if {[catch {file lstat $path st}]} return   ;# gone again already
    # A listing passes over what was queued already, in the same state; a
    # notice is a writer that has finished (a file rewritten in the same
    # second and size too), except the one notice of a file listed at the
    # start or after an overflow that was finished before the listing.
    variable seen
    set what [list $st(ino) $st(size) $st(mtime) $st(ctime)]
    # A listed file written in the last two seconds may still be open for
    # writing, its pixels not all there however whole its size looks: its
    # writer's notice, when it comes, is taken as well.
    if {$how eq "listed" && $st(mtime) >= [clock seconds] - 1} { set how recent }
    if {[info exists seen($path)] && [lindex $seen($path) 0] eq $what} {
        if {$how in {listed recent} || [lindex $seen($path) 1] eq "listed"} {
            set seen($path) [list $what $how]
            return
        }
    }
    if {$st(type) ne "file"} {
        # said once for each state it is in, however often it is announced
        set known [expr {[info exists seen($path)] && [lindex $seen($path) 0] eq $what}]
        remember $path [list $what $how]
        if {!$known} { puts stderr "live: [word $name]: not a regular file ($st(type)), left alone" }
        return
    }
    remember $path [list $what $how]
    variable feed
    variable arrival
    set arrival([$feed add $path]) [clock milliseconds]
    variable last [clock milliseconds]
}

# Watches INDIR again after its watch may have ended (the directory was
# removed or moved away, and perhaps made anew): true when it is watched;
# else says so once and tries again twice a second until there is one.
proc live::rearm {} {
    variable indir
    variable gone
    # Only a directory of that name: a link put in its place would lead
    # the watch, the listing and the reads elsewhere.
    if {![catch {file lstat $indir st}] && $st(type) eq "directory"
            && ![catch {quenz::watch $indir live::arrived}]} {
        if {[info exists gone]} {
            unset gone
            puts stderr "live: $indir is there again; watching it"
            foreach p [existing] { arrived $p listed }
            return 0
        }
        return 1
    }
    if {![info exists gone]} {
        set gone 1
        puts stderr "live: $indir is gone; waiting for it"
    }
    after 500 live::rearm
    return 0
}

# At most 100000 names are remembered, the newest: a directory others
# write into costs a bounded amount of memory however many names it holds.
proc live::remember {path what} {
    variable seen
    variable order
    if {![info exists seen($path)]} { lappend order $path }
    set seen($path) $what
    if {[llength $order] > 100000} {
        foreach p [lrange $order 0 49999] { unset -nocomplain seen($p) }
        set order [lrange $order 50000 end]
    }
}

# The names in INDIR (not the hidden ones), oldest first, then by name.
proc live::existing {} {
    variable indir
    set found {}
    foreach name [glob -nocomplain -tails -directory $indir *] {
        set name [regsub {^\./} $name {}]   ;# (glob writes ~name as ./~name)
        set path $indir/$name
        if {[catch {file lstat $path st}]} continue
        lappend found [list $st(mtime) $name $path]
    }
    lmap f [lsort -index 0 -integer [lsort -index 1 -dictionary $found]] { lindex $f 2 }
}

# A file's answer, in the order the files arrived.
proc live::done {path ok result} {
    variable indir
    variable seen
    variable arrival
    variable passed
    unset arrival([incr passed])
    set name [string range $path [string length $indir/] end]
    # A file listed while it was being written is no failure yet: its
    # writer's notice brings it again. One that never comes is counted at
    # the end.
    variable waiting
    unset -nocomplain waiting($path)
    if {!$ok} {
        if {[info exists seen($path)] && [lindex $seen($path) 1] eq "recent"} {
            puts stderr "live: [word $name]: not whole when listed ($result); waiting for its writer"
            set waiting($path) $result
        } else {
            variable failed
            incr failed
            puts stderr "live: [word $name]: $result"
        }
        unset -nocomplain seen($path)   ;# tried again if announced again
        return
    }
    variable table
    variable reduced
    incr reduced
    puts $table "[word $name] $result"
    flush $table
    variable every
    if {$every > 0 && $reduced % $every == 0} { show $path $name $result }
}

# A name as one word of the table: backslash, space and control characters
# as \\ and \ooo, and as \uXXXX what some readers take for a line break
# (U+0085, U+2028, U+2029), the other C1 controls (a terminal acts on
# U+009B) and the marks that turn the text's direction around.
proc live::word {name} {
    if {![regexp {[\0-\x20\x7f-\x9f\\\u2028\u2029\u202a-\u202e\u2066-\u2069]} $name]} { return $name }
    set out ""
    foreach c [split $name ""] {
        scan $c %c code
        if {$c eq "\\"} {
            append out \\\\
        } elseif {$code <= 0x20 || $code == 0x7f} {
            append out [format \\%03o $code]
        } elseif {$code <= 0x9f || $code == 0x2028 || $code == 0x2029
                  || (0x202a <= $code && $code <= 0x202e) || (0x2066 <= $code && $code <= 0x2069)} {
            append out [format \\u%04x $code]
        } else {
            append out $c
        }
    }
    return $out
}

# The frame and its statistics to window 1 of the running quenz-view.
# Without one the run goes on: said once, and asked again at the next
# frame to show (a viewer started later is found). The show waits in this
# thread, so a viewer that does not answer within 2 s is passed over for
# the rest of the run: each wait would hold the files' bookkeeping.
proc live::show {path name stats} {
    variable outdir
    variable viewer
    variable silent
    set bin [file join $outdir [file rootname [file tail $path]].bin]
    lassign $stats n min max sum mean std
    if {[catch {
        # the viewer started last, as quenz::view finds it
        set pid [file rootname [file tail [lindex [quenz::view_address {}] 0]]]
        if {$pid ni $silent} {
            # one frame's three requests share the 2 s: a viewer that
            # answers slowly holds the run no longer than a silent one
            set until [expr {[clock milliseconds] + 2000}]
            foreach request [list [list show 1 $bin] {marker 1 clear} \
                                 [list marker 1 text 8 16 "$name: mean $mean std $std" yellow]] {
                set left [expr {($until - [clock milliseconds]) / 1000.0}]
                if {$left < 0.001} {
                    error "quenz-view $pid did not answer within 2 s" {} {QUENZ VIEW TIMEOUT}
                }
                quenz::view -viewer $pid -timeout [format %.3f $left] {*}$request
            }
            set viewer up
        }
    } err opts]} {
        if {[dict get $opts -errorcode] eq {QUENZ VIEW TIMEOUT}} {
            puts stderr "live: $err; showing no more frames in it"
            lappend silent $pid
            set viewer silent
        } elseif {$viewer ne "none"} {
            puts stderr "live: no quenz-view to show frames in ($err); going on without it"
            set viewer none
        }
    }
}

# Once a second: the backlog while files wait longer than a second, the
# catching up, and the end of an -idle run.
proc live::tick {} {
    variable feed
    variable arrival
    variable passed
    variable reported
    variable workers
    after 1000 live::tick
    set now [clock milliseconds]
    set backlog [$feed backlog]
    set waited [expr {$backlog ? $now - $arrival([expr {$passed + 1}]) : 0}]
    variable reduced
    variable mark
    lassign $mark then count
    set rate [expr {$then ? ($reduced - $count) * 1000.0 / max($now - $then, 1) : 0.0}]
    set mark [list $now $reduced]
    if {$waited > 1000} {
        puts stderr [format "live: backlog %d files, the oldest waiting %.1f s; %d reduced, %.1f files/s" \
            $backlog [expr {$waited / 1000.0}] $reduced $rate]
        set reported 1
    } elseif {$reported && $backlog <= $workers} {
        puts stderr "live: caught up; $reduced reduced"
        set reported 0
    }
    variable idle
    variable last
    if {$idle > 0 && !$backlog && $now - $last >= $idle * 1000} { finish }
}

proc live::finish {} {
    variable feed
    variable reduced
    variable failed
    variable started
    $feed close
    variable waiting
    variable indir
    foreach path [lsort [array names waiting]] {
        puts stderr "live: [word [string range $path [string length $indir/] end]]: $waiting($path) (its writer never finished it)"
        incr failed
    }
    set s [expr {([clock milliseconds] - $started) / 1000.0}]
    puts stderr [format "live: %d files reduced, %d failed, %.1f s" $reduced $failed $s]
    exit [expr {$failed > 0}]
}

# The table, appended to across runs: made new with O_EXCL (never through
# a link planted at its name), or taken when it is there only as a regular
# file of this user's (which, in a shared sticky directory, no one else
# can replace).
proc live::open_table {path} {
    if {![catch {open $path {WRONLY APPEND CREAT EXCL}} fd]} { return $fd }
    if {[lindex $::errorCode 1] ne "EEXIST"} { error "cannot write $path: $fd" }
    file lstat $path st
    if {$st(type) ne "file" || ![file owned $path]} {
        error "$path is not a regular file of this user's: not appended to"
    }
    open $path {WRONLY APPEND}
}

# ------------------------------------------------------------ start

while {[string match -* [lindex $argv 0]]} {
    set argv [lassign $argv opt value]
    if {$opt ni {-workers -every -idle} || ![string is integer -strict $value] || $value < 0
            || ($opt eq "-workers" && $value < 1)} {
        live::usage
    }
    set live::[string range $opt 1 end] $value
}
if {[llength $argv] != 3} live::usage
lassign [lmap d $argv {file normalize [expr {[string match ~* $d] ? "./$d" : $d}]}] caldir live::indir live::outdir
if {![llength [info commands quenz::watch]]} {
    puts stderr "live: no quenz::watch here (it needs Linux's inotify)"
    exit 2
}
if {![file isdirectory $live::indir]} {
    puts stderr "live: $live::indir is not a directory"
    exit 2
}
# INDIR is the user's own word, so a link there is followed, once, now
# (normalize resolves every place but the last): the watch, the listings
# and the workers' names all go to the directory itself, and a link
# changed during the run cannot send the names somewhere else.
set given $live::indir
set live::indir [file dirname [file normalize [file join $live::indir x]]]
set where [expr {$given eq $live::indir ? $given : "$live::indir (where $given leads)"}]
set reduce [file join [file dirname [file normalize [info script]]] reduce.tcl]
set init [string cat \
    [list source $reduce] \n \
    [list reduce::setup $caldir $live::outdir] \n \
    [list quenz::read_policy regular nofollow]]
if {[catch {
    set live::feed [quenz::feed -workers $live::workers -init $init reduce::one live::done]
    set live::table [live::open_table [file join $live::outdir live-stats.txt]]
    # One write per line: each line reaches the file whole.
    fconfigure $live::table -buffering full -buffersize 65536 -encoding utf-8
    # Watched first, then listed: a file finished in between is in both,
    # and taken once.
    quenz::watch $live::indir live::arrived
} err]} {
    puts stderr "live: $err"
    exit 2
}
set there [live::existing]
puts stderr "live: reducing what is finished in $where into $live::outdir\
    ($live::workers worker[expr {$live::workers > 1 ? "s" : ""}], [llength $there] files already there)"
foreach path $there { live::arrived $path listed }
# (-idle counts from here: starting the workers may take a while)
set live::last [clock milliseconds]
after 1000 live::tick
vwait forever
