# The reduction of examples/reduce.tcl over many exposures on all cores:
# quenz::batch runs reduce::one for each file in a pool of worker threads,
# each with its own interpreter, calibration and images.
# Usage: tclsh batch.tcl ?-workers N? CALDIR OUTDIR file.his ...
# Progress goes to stderr when it is a terminal, else one summary line;
# a file that fails is reported and the rest go on. Exit status 0 when
# every file was reduced, 1 when any failed, 2 when the run could not start.
package require quenzcore
set options {}   ;# without -workers: one worker per core
if {[lindex $argv 0] eq "-workers"} {
    set argv [lassign $argv -> workers]
    set options [list -workers $workers]
}
if {[llength $argv] < 3} {
    puts stderr "usage: batch.tcl ?-workers N? CALDIR OUTDIR file.his ..."
    exit 2
}
set files [lassign $argv caldir outdir]
set reduce [file join [file dirname [file normalize [info script]]] reduce.tcl]
set init [string cat \
    [list source $reduce] \n \
    [list reduce::setup [file normalize $caldir] [file normalize $outdir]]]
if {[catch {quenz::batch {*}$options -init $init reduce::one \
        [lmap f $files {file normalize [expr {[string match ~* $f] ? "./$f" : $f}]}]} result]} {
    puts stderr $result    ;# the run could not start (e.g. no calibration)
    exit 2
}
exit [expr {[dict get $result failed] > 0}]
