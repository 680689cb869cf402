# The helpers every suite shares, in namespace ::quenz::test. tests/common.tcl
# sources this file and imports every exported name into the global
# namespace, so a suite calls them unqualified.
#
# Helpers used by one suite stay in that suite, under names of their own (a
# suite's proc of one of these names would silently replace the import in
# that suite). A helper that a second suite needs moves here, under a name
# that says what it returns.

namespace eval ::quenz::test {
    namespace export \
        err tmp check_no_leaks quietly \
        slurp spit hexat \
        near f32 \
        count_ramp pgm16_bytes fill16 pixel_counts changed_pixels
    # This file, for a child process that wants the helpers too.
    variable file [file normalize [info script]]
}

# --- results and the suite's own life

# The error result and error code of a script, as one list; {ok result}
# when the script does not fail.
proc ::quenz::test::err {script} {
    set rc [catch {uplevel 1 $script} msg]
    if {$rc != 1} { return [list ok $msg] }
    return [list $msg $::errorCode]
}
# A path in the suite's scratch directory.
proc ::quenz::test::tmp {name} { file join $::tmpdir $name }

# Every suite ends with this: the objects it made are all gone.
proc ::quenz::test::check_no_leaks {name} {
    ::tcltest::test $name-leaks {the suite leaves no live objects} -body {
        expr {[quenztest_live] - $::live_at_start}
    } -result 0
    ::tcltest::removeDirectory quenz-tmp
    ::tcltest::cleanupTests
    # Tk would otherwise keep the process in its event loop.
    exit
}

# Runs a script (one argument) or a command (several words) in the caller
# with the process's standard output and std::cerr shut: fits and cells
# report on them, which would bury the suite's report. Returns what the
# script returns; an error passes through.
proc ::quenz::test::quietly {args} {
    if {[llength $args] == 1} { set args [lindex $args 0] }
    flush stdout
    flush stderr
    quenztest_quiet 1
    set rc [catch {uplevel 1 $args} msg opts]
    quenztest_quiet 0
    return -options $opts $msg
}

# --- files

# The bytes of file f.
proc ::quenz::test::slurp {f} {
    set ch [open $f rb]
    set d [read $ch]
    close $ch
    return $d
}
# Writes the bytes data to file f; returns f.
proc ::quenz::test::spit {f data} {
    set ch [open $f wb]
    puts -nonewline $ch $data
    close $ch
    return $f
}
# n bytes of file f from offset `at`, as lowercase hex.
proc ::quenz::test::hexat {f at n} {
    binary scan [string range [slurp $f] $at [expr {$at + $n - 1}]] H* h
    return $h
}

# --- numbers

# Whether a is within tol of b, relative to |b| (absolute below 1).
proc ::quenz::test::near {a b tol} {
    expr {abs($a - $b) <= $tol * max(1.0, abs($b))}
}
# The float nearest to x (single precision and back).
proc ::quenz::test::f32 {x} {
    binary scan [binary format r $x] r v
    return $v
}

# --- bild16 pixels as Tcl lists of 262144 counts, row 0 first

# A count list where pixel i = (i * mul + add) mod 65536.
proc ::quenz::test::count_ramp {{mul 1} {add 0}} {
    set l {}
    for {set i 0} {$i < 262144} {incr i} { lappend l [expr {($i * $mul + $add) & 0xffff}] }
    return $l
}
# A 16-bit P5 file of 512 x 512 counts, built here, not by the extension.
proc ::quenz::test::pgm16_bytes {counts} {
    return "P5\n512 512\n65535\n[binary format S* $counts]"
}
# Fills the bild16 img with a count list (through a crafted 16-bit PGM).
proc ::quenz::test::fill16 {img counts} {
    bild16_read_pgm $img [spit [tmp fill16.pgm] [pgm16_bytes $counts]]
    return
}
# The pixels of the bild16 img as a count list.
proc ::quenz::test::pixel_counts {img} {
    set f [tmp counts.pgm]
    bild16_write_pgm16 $img $f
    binary scan [string range [slurp $f] 17 end] Su* c
    return $c
}
# The pixels where two count lists differ, as {y x} pairs.
proc ::quenz::test::changed_pixels {before after} {
    set d {}
    set i 0
    foreach a $before b $after {
        if {$a != $b} { lappend d [list [expr {$i / 512}] [expr {$i % 512}]] }
        incr i
    }
    return $d
}
