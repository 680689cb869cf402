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

# key, commands it needs, script. Scripts see the globals made below. A
# script of two operations that undo each other (FFT forward and backward,
# window and unwindow) is timed as a pair; the key gets half of it.
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
    apply_eichkurve {expkurve}         {FC = FA; FC apply_eichkurve K}
    expkurve_table  {expkurve}         {delete_expkurve [new_expkurve 60000 0.5 0.05 2.0 0.3 0.3]}
    exp4kurve_table {exp4kurve}        {delete_exp4kurve [new_exp4kurve 60000 0.3 0.3 0.2 2.0 0.5 0.1 0.02]}
    convolve_3      {bildfloat_convolve} {delete_bildfloat [FA convolve $K3 3 3]}
    convolve_5      {bildfloat_convolve} {delete_bildfloat [FA convolve $K5 5 5]}
    convolve_11     {bildfloat_convolve} {delete_bildfloat [FA convolve $K11 11 11]}
    convolve_21     {bildfloat_convolve} {delete_bildfloat [FA convolve $K21 21 21]}
    gaussian_2.7    {bildfloat_gaussian} {FG gaussian 2.7}
    gaussian_10     {bildfloat_gaussian} {FG gaussian 10}
    fft_forward     {bildcomplex}      {pair {CX FFT_forward; CX FFT_backward}}
    fft_backward    {bildcomplex}      {pair {CX FFT_forward; CX FFT_backward}}
    hamming_window  {bildcomplex}      {pair {CX Hamming_window; CX Hamming_unwindow}}
    surface_put     {surface}          {for {set y 1} {$y <= 510} {incr y} {
                                            for {set x 1} {$x <= 510} {incr x} { S put $x $y }
                                        }}
    compute_schnitt {Voronoischnitt}   {V compute_schnitt 1}
    pgm16_write     {bild16_write_pgm16} {A0 write_pgm16 $scratch.pgm}
    pgm8_write      {bild16_write_pgm8}  {A0 write_pgm8 $scratch-8.pgm}
    pgm16_read      {bild16_read_pgm}    {C read_pgm $scratch-r.pgm}
    qrfit_order2    {QRfit}            {delete_QRfit [new_QRfit $refs $refw 5 2]}
    qrfit_order4    {QRfit}            {delete_QRfit [new_QRfit $refs $refw 5 4]}
    polyfit_correct {QRfit}            {FP polyfit_correct Q}
    parabel_fit     {Parabelzentrum}   {parabel_fit}
    render_photo    {getimage_contrast} {getimage_contrast FA P 0 1}
    imgstats_b16    {imgstats}         {imgstats A0}
    imgstats_f      {imgstats}         {imgstats FA}
    histogram_b16   {histogram}        {histogram A0 1000 0 65536}
    histogram_f     {histogram}        {histogram FA 1000 0 1}
    data_b16        {bild16_data}      {A0 data}
    setdata_b16     {bild16_setdata}   {C setdata $A0BYTES}
    data_f          {bildfloat_data}   {FA data}
    setdata_f       {bildfloat_setdata} {FC setdata $FABYTES}
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

# Objects of the other areas, made only where their commands exist.
proc have {cmd} { expr {[info commands $cmd] ne ""} }
if {[have expkurve]} { expkurve K 60000 0.5 0.05 2.0 0.3 0.3 }
foreach n {3 5 11 21} { set K$n [numbers kernel$n.txt] }
if {[have bildfloat_gaussian]} { bildfloat FG FA }
if {[have bildcomplex]} { bildcomplex CX FA }
if {[have surface]} { surface S FA }
if {[have Voronoischnitt]} { bildfloat FV FA; Voronoischnitt V FV 256 256 [path cells.txt] }
if {[have bild16_write_pgm16]} { A0 write_pgm16 $scratch-r.pgm }
set refs {}
foreach j {0 1 2 3 4} { bild16 R$j [path ref$j.his]; lappend refs R$j }
set refw [numbers refw.txt]
if {[have QRfit]} { QRfit Q $refs $refw 5 4; bildfloat FP R2 }
if {[have Parabelzentrum]} { Parabelzentrum PZ FA 100 }
proc parabel_fit {} {
    PZ clear
    PZ estimate 256.0 256.0
    for {set y 251} {$y < 261} {incr y} {
        for {set x 251} {$x < 261} {incr x} { PZ put $x $y }
    }
    PZ fit
}
if {[have getimage_contrast]} { image create photo P }
if {[have bild16_data]} { set A0BYTES [A0 data]; set FABYTES [FA data] }

foreach {key needs script} $ops {
    if {[info exists ::env(QUENZ_BENCH_FILTER)] && ![regexp -- $::env(QUENZ_BENCH_FILTER) $key]} continue
    set missing 0
    foreach c $needs { if {![have $c]} { set missing 1 } }
    if {$missing} continue
    set share 1.0
    if {[lindex $script 0] eq "pair"} { set script [lindex $script 1]; set share 0.5 }
    puts $out [format "%s %.6g" $key [expr {$share * [measure $script]}]]
    flush $out
}
if {$out ne "stdout"} { close $out }
foreach f [glob -nocomplain $scratch.*] { file delete $f }
exit
