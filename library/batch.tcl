# quenz::batch: one command per file over a pool of worker threads (the
# Thread package's threads), each worker an interpreter of its own with
# quenzcore loaded. Sourced by pkgIndex.tcl for quenz and quenzcore alike;
# the Thread package is only needed when a batch runs.

namespace eval ::quenz {}

# quenz::batch ?-workers n? ?-init script? ?-progress auto|bar|summary|none? command files
#
# Runs `command file` at global level in a worker for every file of the
# list. -init runs once in every worker before its first file (source the
# per-file script there, read a calibration). Returns a dict: files, ok,
# failed, seconds, failures (a list of file and error message pairs).
# A file whose command fails is reported on stderr with its error message
# (trailing white space trimmed) and the run goes on. With -progress auto
# (the default) a progress line on stderr shows files done / total, the
# rate and the time left when stderr is a terminal; then, and otherwise,
# one summary line ends the run. The time counts from starting the workers
# (their -init included) to the last file.
proc ::quenz::batch {args} {
    set usage "quenz::batch ?-workers n? ?-init script? ?-progress auto|bar|summary|none? command files"
    set workers ""
    set init ""
    set progress auto
    while {[llength $args] > 2} {
        set args [lassign $args opt value]
        switch -exact -- $opt {
            -workers {
                if {![string is integer -strict $value] || $value < 1} {
                    return -code error "quenz::batch: -workers wants a positive integer, got \"$value\""
                }
                set workers $value
            }
            -init { set init $value }
            -progress {
                if {$value ni {auto bar summary none}} {
                    return -code error "quenz::batch: -progress must be auto, bar, summary or none, got \"$value\""
                }
                set progress $value
            }
            default { return -code error "quenz::batch: unknown option \"$opt\": $usage" }
        }
    }
    if {[llength $args] != 2} { return -code error "wrong # args: should be \"$usage\"" }
    lassign $args command files
    if {$progress eq "auto"} {
        set progress [expr {[IsTerminal stderr] ? "bar" : "summary"}]
    }
    package require Thread 2.8

    if {$workers eq ""} { set workers [CoreCount] }
    set total [llength $files]
    set workers [expr {min($workers, max($total, 1))}]
    set start [clock milliseconds]
    # Workers are plain threads, not a tpool: a job whose thread ends
    # (thread::exit in the command, say) never answers, and a tpool waits
    # for it forever, exit included. Each worker answers into its element
    # of the reply array and notes in the shared array of the same name
    # that it has begun a file; a worker gone without an answer fails the
    # file it had begun, or hands on the one it had not, and a new worker
    # takes its place.
    variable runs
    set reply ::quenz::Reply[incr runs]
    set script [list apply {{s} {list [catch {uplevel #0 $s} m] $m}} [WorkerInit $init]]
    set crew [dict create]  ;# thread id -> phase (init, idle, busy), file, files answered
    set gone {}
    set state [dict create total $total done 0 failed 0 \
                   start $start shown 0 bar [expr {$progress eq "bar"}]]
    set failures {}
    set next 0
    set again {}  ;# files handed on by a worker that ended before them
    try {
        for {set i 0} {$i < $workers} {incr i} { StartWorker crew $reply $script }
        # Every worker runs -init before the first file: an error there
        # stops the run here.
        set started 0
        while {!$started || [dict get $state done] < $total} {
            if {!$started && ![Phase $crew init]} {
                set started 1
                ShowProgress state 1
                if {$total == 0} break
            }
            # One file at a time for each idle worker.
            dict for {tid w} [expr {$started ? $crew : {}}] {
                lassign $w phase - answered
                if {$phase ne "idle"} continue
                if {[llength $again]} {
                    set again [lassign $again file]
                } elseif {$next < $total} {
                    set file [lindex $files $next]
                    incr next
                } else {
                    break
                }
                dict set crew $tid [list busy $file $answered]
                if {[catch {thread::send -async $tid [list ::quenz_batch_one $reply $command $file] ${reply}($tid)}]} {
                    Ended crew gone again $reply $script $tid
                }
            }
            foreach {tid answer} [Await $reply $crew] {
                lassign [dict get $crew $tid] phase file answered
                if {$answer eq ""} {
                    if {[Ended crew gone again $reply $script $tid]} {
                        set answer [list 0 "the worker thread ended before the command returned"]
                    } else {
                        continue
                    }
                } elseif {$phase eq "init"} {
                    lassign $answer code msg
                    if {$code == 1} { return -code error $msg }
                    dict set crew $tid [list idle {} 0]
                    continue
                } else {
                    catch {tsv::unset $reply $tid}
                    dict set crew $tid [list idle {} [incr answered]]
                }
                lassign $answer ok msg
                dict incr state done
                if {!$ok} {
                    dict incr state failed
                    lappend failures [list $file $msg]
                    ClearLine state
                    puts stderr "$file: $msg"
                }
                ShowProgress state [expr {!$ok}]
            }
        }
    } finally {
        # Idle workers end at once and are waited for (their objects go
        # with their interpreters); one still busy is left to end alone.
        dict for {tid w} $crew {
            catch {thread::release $tid}
            if {[lindex $w 0] ne "busy"} { lappend gone $tid }
        }
        foreach tid $gone { catch {thread::join $tid} }
        unset -nocomplain $reply
        catch {tsv::unset $reply}
    }
    set seconds [expr {([clock milliseconds] - [dict get $state start]) / 1000.0}]
    set ok [expr {[dict get $state done] - [dict get $state failed]}]
    if {$progress ne "none"} {
        ClearLine state
        puts stderr [format "batch: %d files, %d ok, %d failed, %.2f s, %.1f files/s, %d worker%s" \
            $total $ok [dict get $state failed] $seconds \
            [expr {$seconds > 0 ? $total / $seconds : 0.0}] $workers [expr {$workers == 1 ? "" : "s"}]]
        flush stderr
    }
    dict create files $total ok $ok failed [dict get $state failed] \
        seconds $seconds failures $failures
}

# A new worker thread in crew, running the worker script (its answer
# comes into the reply array under its thread id).
proc ::quenz::StartWorker {crewVar reply script} {
    upvar 1 $crewVar crew
    set tid [thread::create -joinable]
    dict set crew $tid [list init {} 0]
    thread::send -async $tid $script ${reply}($tid)
}

# Worker tid has ended: it leaves crew for gone and a new worker takes its
# place. Returns 1 when it had begun its file (the file fails); a file it
# had not begun goes back to the queue again. A worker that ends before
# any file of its own is taken for a failing -init (else a worker that
# always ended so would be replaced for ever).
proc ::quenz::Ended {crewVar goneVar againVar reply script tid} {
    upvar 1 $crewVar crew $goneVar gone $againVar again
    lassign [dict get $crew $tid] phase file answered
    dict unset crew $tid
    lappend gone $tid
    set begun [expr {$phase eq "busy" && [tsv::exists $reply $tid]}]
    if {$phase eq "init" || (!$begun && $answered == 0)} {
        return -code error "quenz::batch: a worker thread ended during -init"
    }
    if {$phase eq "busy" && !$begun} { lappend again $file }
    StartWorker crew $reply $script
    return $begun
}

# Whether any worker of crew is in the phase.
proc ::quenz::Phase {crew phase} {
    dict for {tid w} $crew {
        if {[lindex $w 0] eq $phase} { return 1 }
    }
    return 0
}

# Waits for answers of the workers of crew: returns thread id and answer
# pairs, an empty answer for a worker that has ended without one. A
# worker's answer is queued here before its thread ends, so an answer
# and the end are told apart by taking the queued events first.
proc ::quenz::Await {reply crew} {
    upvar #0 $reply answers
    if {![array size answers]} {
        set tick [after 100 [list set ${reply}(tick) 1]]
        vwait $reply
        after cancel $tick
        unset -nocomplain answers(tick)
    }
    set r {}
    dict for {tid w} $crew {
        if {[lindex $w 0] eq "idle"} continue
        if {![info exists answers($tid)] && ![thread::exists $tid]} {
            update
            if {![info exists answers($tid)]} {
                lappend r $tid {}
                continue
            }
        }
        if {[info exists answers($tid)]} {
            lappend r $tid $answers($tid)
            unset answers($tid)
        }
    }
    return $r
}

# The script every worker runs first: the same package the caller has,
# the caller's auto_path, then the caller's -init.
proc ::quenz::WorkerInit {init} {
    set load {}
    foreach pkg {quenzcore quenz} {
        set v [package provide $pkg]
        if {$v ne "" && [package ifneeded quenzcore $v] ne ""} {
            set load [list package ifneeded quenzcore $v [package ifneeded quenzcore $v]]
            break
        }
    }
    # `exit` in a worker would end the whole process, the run unfinished
    # and its exit status whatever the script gave: here it fails the file.
    string cat \
        [list set ::auto_path $::auto_path] \n $load \n \
        [list package require quenzcore] \n \
        [list rename ::exit {}] \n \
        [list proc ::exit {{code 0}} {
            return -code error "exit $code called in a batch worker (a file fails by an error)"
        }] \n \
        [list proc ::quenz_batch_one {run command file} {
            # 1 and the result, or 0 and the error message. The mark
            # tells the batch that this file has begun, should the
            # thread end before it answers.
            tsv::set $run [thread::id] 1
            set code [catch {uplevel #0 [linsert $command end $file]} msg]
            switch -- $code {
                0 - 2 { return [list 1 $msg] }
                3 - 4 {
                    return [list 0 "invoked \"[lindex {- - - break continue} $code]\" outside of a loop"]
                }
                default { return [list 0 [string trimright $msg]] }
            }
        }] \n \
        [list uplevel #0 $init]
}

# 1 when the channel is a terminal: Tcl opens a standard channel that is a
# terminal as a serial channel, which has a -mode option.
proc ::quenz::IsTerminal {chan} {
    expr {![catch {fconfigure $chan -mode}]}
}

proc ::quenz::CoreCount {} {
    foreach cmd {{nproc} {getconf _NPROCESSORS_ONLN}} {
        if {![catch {exec {*}$cmd 2>/dev/null} n] && [string is integer -strict $n] && $n > 0} {
            return $n
        }
    }
    return 1
}

# The progress line: at most ten times a second, and always the last one.
proc ::quenz::ShowProgress {stateVar force} {
    upvar 1 $stateVar s
    if {![dict get $s bar]} return
    set now [clock milliseconds]
    set done [dict get $s done]
    set total [dict get $s total]
    if {!$force && $done < $total && $now - [dict get $s shown] < 100} return
    dict set s shown $now
    set elapsed [expr {max($now - [dict get $s start], 1) / 1000.0}]
    set rate [expr {$done / $elapsed}]
    if {$done == 0} {
        set left "?"
    } else {
        set secs [expr {round(($total - $done) / $rate)}]
        set left [format "%d:%02d" [expr {$secs / 60}] [expr {$secs % 60}]]
    }
    set line [format "%d/%d files, %.1f files/s, %s left" $done $total $rate $left]
    if {[dict get $s failed]} { append line ", [dict get $s failed] failed" }
    puts -nonewline stderr "\r$line\033\[K"
    flush stderr
}

proc ::quenz::ClearLine {stateVar} {
    upvar 1 $stateVar s
    if {[dict get $s bar]} { puts -nonewline stderr "\r\033\[K" }
}

# quenz::feed ?-workers n? ?-init script? command done
#
# quenz::batch for files that come one at a time (a camera's, as it writes
# them): the same workers, each an interpreter of its own that runs -init
# first (an error there is raised here), fed file by file. Returns a new
# command, the feed:
#   feed add file   queues the file; returns its number (1, 2, ...)
#   feed backlog    files added and not yet answered
#   feed close      waits (in the event loop) until every file is answered,
#                   then ends the workers and the feed
# Each file is answered in the order it was added, whichever worker
# finished first, by `done file ok result` at global level from the
# caller's event loop: ok 1 and the command's result, or 0 and its error
# message. A worker that ends fails the file it had begun, and a new
# worker takes its place, as in quenz::batch.
proc ::quenz::feed {args} {
    set usage "quenz::feed ?-workers n? ?-init script? command done"
    set workers 1
    set init ""
    while {[llength $args] > 2} {
        set args [lassign $args opt value]
        switch -exact -- $opt {
            -workers {
                if {![string is integer -strict $value] || $value < 1} {
                    return -code error "quenz::feed: -workers wants a positive integer, got \"$value\""
                }
                set workers $value
            }
            -init { set init $value }
            default { return -code error "quenz::feed: unknown option \"$opt\": $usage" }
        }
    }
    if {[llength $args] != 2} { return -code error "wrong # args: should be \"$usage\"" }
    package require Thread 2.8
    variable feeds
    set ns ::quenz::feed[incr feeds]
    namespace eval $ns {
        variable crew {}        ;# thread id -> phase (init, idle, busy) and number
        variable files          ;# number -> file, until answered
        variable answers        ;# number -> {ok result}, until passed on
        variable reply          ;# thread id -> answer, set by the worker's reply
        variable added 0 next 1 passed 0
        variable again {}       ;# numbers a worker ended before beginning
        variable failed ""      ;# a worker's failing -init
        variable check ""
    }
    lassign $args ${ns}::command ${ns}::done
    set ${ns}::script [list apply {{s} {list [catch {uplevel #0 $s} m] $m}} [WorkerInit $init]]
    try {
        for {set i 0} {$i < $workers} {incr i} { FeedStart $ns }
        trace add variable ${ns}::reply write [list ::quenz::FeedAnswer $ns]
        while {[FeedPhase $ns init] && [set ${ns}::failed] eq ""} {
            set tick [after 100 [list set ${ns}::reply(tick) 1]]
            vwait ${ns}::reply
            after cancel $tick
            dict for {tid w} [set ${ns}::crew] {
                if {[lindex $w 0] ne "init" || [thread::exists $tid]} continue
                update
                if {[lindex [dict get [set ${ns}::crew] $tid] 0] eq "init" && [set ${ns}::failed] eq ""} {
                    set ${ns}::failed "quenz::feed: a worker thread ended during -init"
                }
            }
        }
        if {[set ${ns}::failed] ne ""} { error [set ${ns}::failed] }
    } on error {msg opts} {
        FeedEnd $ns
        return -options $opts $msg
    }
    interp alias {} $ns {} ::quenz::FeedCommand $ns
    return $ns
}

proc ::quenz::FeedCommand {ns sub args} {
    upvar #0 ${ns}::added added ${ns}::passed passed
    switch -exact -- $sub {
        add {
            if {[llength $args] != 1} { return -code error "wrong # args: should be \"$ns add file\"" }
            set ${ns}::files([incr added]) [lindex $args 0]
            FeedDispatch $ns
            return $added
        }
        backlog { return [expr {$added - $passed}] }
        close {
            while {$passed < $added} { vwait ${ns}::passed }
            FeedEnd $ns
            return
        }
        default { return -code error "bad option \"$sub\": must be add, backlog or close" }
    }
}

proc ::quenz::FeedStart {ns} {
    upvar #0 ${ns}::crew crew
    set tid [thread::create -joinable]
    dict set crew $tid [list init 0]
    thread::send -async $tid [set ${ns}::script] ${ns}::reply($tid)
}

# Whether any worker of the feed is in the phase.
proc ::quenz::FeedPhase {ns phase} {
    dict for {tid w} [set ${ns}::crew] {
        if {[lindex $w 0] eq $phase} { return 1 }
    }
    return 0
}

# One file to each idle worker, in the order added (a file handed back by
# an ended worker first).
proc ::quenz::FeedDispatch {ns} {
    upvar #0 ${ns}::crew crew ${ns}::next next ${ns}::added added ${ns}::again again \
        ${ns}::files files
    dict for {tid w} $crew {
        if {[lindex $w 0] ne "idle"} continue
        if {[llength $again]} {
            set again [lassign $again nr]
        } elseif {$next <= $added} {
            set nr $next
            incr next
        } else {
            break
        }
        dict set crew $tid [list busy $nr]
        if {[catch {thread::send -async $tid \
                [list ::quenz_batch_one $ns [set ${ns}::command] $files($nr)] ${ns}::reply($tid)}]} {
            FeedEnded $ns $tid
        }
    }
    # While files are out, the workers are looked at twice a second: a
    # worker that ends never answers.
    upvar #0 ${ns}::check check
    if {$check eq "" && [FeedPhase $ns busy]} {
        set check [after 500 [list ::quenz::FeedCheck $ns]]
    }
}

# A worker's answer (a trace on the reply array).
proc ::quenz::FeedAnswer {ns name1 tid op} {
    upvar #0 ${ns}::reply reply ${ns}::crew crew
    if {![info exists reply($tid)]} return
    set answer $reply($tid)
    unset reply($tid)
    if {![dict exists $crew $tid]} return
    lassign [dict get $crew $tid] phase nr
    if {$phase eq "init"} {
        lassign $answer code msg
        if {$code == 1} {
            set ${ns}::failed $msg
            return
        }
        dict set crew $tid [list idle 0]
    } else {
        catch {tsv::unset $ns $tid}
        dict set crew $tid [list idle 0]
        FeedResult $ns $nr $answer
    }
    FeedDispatch $ns
}

# An answer, kept until those before it have been passed on.
proc ::quenz::FeedResult {ns nr answer} {
    upvar #0 ${ns}::answers answers ${ns}::files files ${ns}::passed passed
    set answers($nr) $answer
    while {[info exists answers([expr {$passed + 1}])]} {
        set n [expr {$passed + 1}]
        lassign $answers($n) ok msg
        set file $files($n)
        unset answers($n) files($n)
        set passed $n
        if {[catch {uplevel #0 [linsert [set ${ns}::done] end $file $ok $msg]} err opts]} {
            after 0 [list error $err [dict get $opts -errorinfo]]
        }
    }
}

proc ::quenz::FeedCheck {ns} {
    upvar #0 ${ns}::crew crew ${ns}::check check ${ns}::reply reply
    set check ""
    dict for {tid w} $crew {
        if {[lindex $w 0] ne "busy" || [thread::exists $tid]} continue
        # An answer is queued before its thread ends: take it first.
        update
        if {[dict exists $crew $tid] && [lindex [dict get $crew $tid] 0] eq "busy"} {
            FeedEnded $ns $tid
        }
    }
    FeedDispatch $ns
}

# Worker tid has ended without an answer: a file it had begun fails, one
# it had not goes back to the front; a new worker takes its place.
proc ::quenz::FeedEnded {ns tid} {
    upvar #0 ${ns}::crew crew ${ns}::again again
    lassign [dict get $crew $tid] phase nr
    dict unset crew $tid
    catch {thread::join $tid}
    set begun [tsv::exists $ns $tid]
    catch {tsv::unset $ns $tid}
    FeedStart $ns
    if {$phase ne "busy"} return
    if {$begun} {
        FeedResult $ns $nr [list 0 "the worker thread ended before the command returned"]
    } else {
        set again [linsert $again 0 $nr]
    }
}

proc ::quenz::FeedEnd {ns} {
    upvar #0 ${ns}::crew crew
    catch {after cancel [set ${ns}::check]}
    trace remove variable ${ns}::reply write [list ::quenz::FeedAnswer $ns]
    set gone {}
    dict for {tid w} $crew {
        catch {thread::release $tid}
        if {[lindex $w 0] ne "busy"} { lappend gone $tid }
    }
    foreach tid $gone { catch {thread::join $tid} }
    catch {tsv::unset $ns}
    catch {interp alias {} $ns {}}
    namespace delete $ns
}
