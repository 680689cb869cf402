# The cost a script pays per operation, command call included: the median
# over batches of `time {script} n`, in seconds, one "key seconds" line per
# operation. Operations whose commands are not there are skipped.
#
# Usage: tests/run-tcl BUILD bench/tcl-timing.tcl DATA_DIR [OUT_FILE]
set ::auto_path [linsert $::auto_path 0 [file normalize $::env(QUENZ_LIBDIR)]]
package require quenz

set data [lindex $argv 0]
set out [expr {[llength $argv] > 1 ? [open [lindex $argv 1] w] : "stdout"}]
proc path {name} { file join $::data $name }
proc numbers {name} {
    set f [open [path $name]]
    set v [string trim [read $f]]
    close $f
    return $v
}

# Median per-iteration time of script (evaluated at global level) in
# seconds, from batches of about 1 ms each (short batches keep the median
# clear of other processes' bursts on a shared machine).
proc measure {script} {
    uplevel #0 [list time $script 1]
    set once [lindex [uplevel #0 [list time $script 1]] 0]
    set n [expr {max(1, int(1000.0 / max($once, 0.01)))}]
    set n [expr {min($n, 100000)}]
    set batches [expr {$once > 20000 ? 7 : 31}]
    set t {}
    for {set i 0} {$i < $batches} {incr i} {
        lappend t [lindex [uplevel #0 [list time $script $n]] 0]
    }
    set t [lsort -real $t]
    return [expr {[lindex $t [expr {[llength $t] / 2}]] * 1e-6}]
}

# key, commands it needs, script. Scripts see the globals made below.
set ops {
    call_lindex     {}                 {lindex $L 0}
    call_method     {bild16}           {B get 0 0}
    call_handle     {bild16_base_get}  {bild16_base_get $HB 0 0}
    call_name       {bild16_base_get}  {bild16_base_get B 0 0}
    call_set        {bild16}           {B set 0 0 7}
    b16_assign_img  {bild16}           {A = B}
    b16_fill        {bild16}           {A = 1234}
    b16_add_img     {bild16}           {A += B}
    b16_add_val     {bild16}           {A += 1234}
    b16_sub_img     {bild16}           {A -= B}
    b16_sub_val     {bild16}           {A -= 1234}
    b16_mul_img     {bild16}           {A *= B}
    b16_mul_val     {bild16}           {A *= 3}
    b16_div_img     {bild16}           {A /= B}
    b16_div_val     {bild16}           {A /= 3}
    f_assign_img    {bildfloat}        {FA = FB}
    f_fill          {bildfloat}        {FA = 0.25}
    f_add_img       {bildfloat}        {FA += FB}
    f_add_val       {bildfloat}        {FA += 0.25}
    f_sub_img       {bildfloat}        {FA -= FB}
    f_sub_val       {bildfloat}        {FA -= 0.25}
    f_mul_img       {bildfloat}        {FA *= N1}
    f_mul_val       {bildfloat}        {FA *= 1.0000001}
    f_div_img       {bildfloat}        {FA /= N1}
    f_div_val       {bildfloat}        {FA /= 1.0000001}
    conv_from_bild16 {bildfloat}       {FC from_bild16 A0}
    conv_fromfloat  {bild16}           {C fromfloat FB}
    his_write       {bild16}           {A0 write_his $scratch.his}
    his_read        {bild16}           {C read_his $data/a.his}
    gnuplot_write   {bildfloat}        {FB write_gnuplot $scratch.gp}
    gnuplot_read    {bildfloat}        {FC read_gnuplot $data/near1.gp}
}

set L {1 2 3}
set scratch [path scratch-tcl]
bild16 A0 [path a.his]
bild16 B [path b.his]
set HB [B cget -this]
bild16 A A0
bild16 C
bildfloat FA A0
bildfloat FB B
bildfloat FC
bildfloat N1 [path near1.gp]

foreach {key needs script} $ops {
    set missing 0
    foreach c $needs { if {[info commands $c] eq ""} { set missing 1 } }
    if {$missing} continue
    puts $out [format "%s %.6g" $key [measure $script]]
    flush $out
}
if {$out ne "stdout"} { close $out }
foreach f [glob -nocomplain $scratch.*] { file delete $f }
exit
