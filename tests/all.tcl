# Runs every *.test file in its own tclsh and exits non-zero when any test
# fails or a file dies without its summary (a crash counts as a failure).
# Arguments choose files by name pattern ("voronoi", "voronoi.test",
# "v*"); a pattern that chooses nothing is a failure too. CTest runs each
# suite this way (tests/CMakeLists.txt).
set dir [file dirname [file normalize [info script]]]
set files [lsort [glob -directory $dir *.test]]
if {[llength $argv]} {
    set files [lmap f $files {
        set keep 0
        foreach p $argv {
            if {[string match $p [file tail $f]] || [string match $p.test [file tail $f]]} { set keep 1 }
        }
        if {!$keep} continue
        set f
    }]
    if {![llength $files]} {
        puts "all.tcl: no test file matches [join $argv {, }]"
        exit 1
    }
}
set tclsh [info nameofexecutable]
set total 0; set failed 0; set bad {}
foreach f $files {
    set rc [catch {exec $tclsh $f 2>@1} out opts]
    puts $out
    if {[regexp {Total\s+(\d+)\s+Passed\s+(\d+)\s+Skipped\s+(\d+)\s+Failed\s+(\d+)} $out -> t p s fl]} {
        incr total $t; incr failed $fl
        if {$fl} { lappend bad [file tail $f] }
    } else {
        incr failed; lappend bad "[file tail $f] (no summary: [dict get $opts -code])"
    }
}
puts "all.tcl: $total tests in [llength $files] files, $failed failed"
if {[llength $bad]} { puts "failed: [join $bad {, }]" }
exit [expr {$failed != 0}]
