# The time of each step of examples/reduce.tcl on one exposure: every
# repetition starts the step from a copy of its real input (untimed), so a
# step never runs on its own output. Prints a dict step -> median seconds.
# Usage: pipeline-steps.tcl CALDIR OUTDIR file.his
package require quenzcore
lassign $argv caldir outdir file
source [file join [file dirname [file dirname [file normalize [info script]]]] examples reduce.tcl]
reduce::setup $caldir $outdir
namespace eval reduce {
    set bin [file join $outdir .steps.bin]
    # the input of each step
    bild16 in_raw $file
    bildfloat in_dark; in_dark from_bild16 in_raw; in_dark -= dark
    bildfloat in_poly in_dark; in_poly polyfit_correct cal
    bildfloat in_bad in_poly; in_bad badpix_correct badmap
    bildfloat in_curve in_bad; in_curve apply_eichkurve curve
    bildfloat in_gauss in_curve; in_gauss gaussian 2.7
    img = in_gauss
    img write_gnuplot $bin
    set stats [stats img]
    set steps [list \
        "read HIS"         {}                   {raw read_his $file} \
        "subtract dark"    {}                   {img from_bild16 in_raw; img -= dark} \
        "polyfit_correct"  {img = in_dark}      {img polyfit_correct cal} \
        "badpix_correct"   {img = in_poly}      {img badpix_correct badmap} \
        "apply_eichkurve"  {img = in_bad}       {img apply_eichkurve curve} \
        "gaussian 2.7"     {img = in_curve}     {img gaussian 2.7} \
        "statistics"       {img = in_gauss}     {stats img} \
        "write"            {img = in_gauss}     {
            img write_gnuplot $bin
            write_text $bin.stats $stats\n
        }]
    set result {}
    foreach {title prepare step} $steps {
        set times {}
        for {set i 0} {$i < 41} {incr i} {
            eval $prepare
            lappend times [lindex [time $step 1] 0]
        }
        dict set result $title [expr {[lindex [lsort -real $times] 20] * 1e-6}]
    }
    file delete $bin $bin.stats
    puts $result
}
exit
