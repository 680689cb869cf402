# quenz::batch: one command per file over a pool of worker threads (the
# Thread package's tpool), each worker an interpreter of its own with
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
    # The workers run -init as they start: an error there stops the run here.
    set pool [tpool::create -minworkers $workers -maxworkers $workers \
                  -initcmd [WorkerInit $init]]
    set state [dict create total $total done 0 failed 0 \
                   start $start shown 0 bar [expr {$progress eq "bar"}]]
    set failures {}
    try {
        ShowProgress state 1
        # A bounded queue: a few jobs per worker in the pool at a time.
        set next 0
        set pending {}
        set fileOf [dict create]
        while {$next < $total || [llength $pending]} {
            while {$next < $total && [llength $pending] < 2 * $workers} {
                set file [lindex $files $next]
                incr next
                set job [tpool::post $pool [list ::quenz_batch_one $command $file]]
                lappend pending $job
                dict set fileOf $job $file
            }
            foreach job [tpool::wait $pool $pending pending] {
                set file [dict get $fileOf $job]
                dict unset fileOf $job
                lassign [tpool::get $pool $job] ok msg
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
        tpool::release $pool
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
        [list proc ::quenz_batch_one {command file} {
            # 1 and the result, or 0 and the error message.
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
