# Writes seed corpora for the fuzz targets: valid files from our own
# writers, plus truncations inside the header and inside the pixels.
# Usage: tclsh make-seeds.tcl OUTDIR   (with quenzcore on auto_path)
package require quenzcore
set out [lindex $argv 0]

proc seed {target name data} {
    set dir [file join $::out $target]
    file mkdir $dir
    set fh [open [file join $dir $name] wb]; puts -nonewline $fh $data; close $fh
}
proc slurp {f} { set fh [open $f rb]; set d [read $fh]; close $fh; return $d }
# The whole file and cuts of it at the given offsets.
proc seeds {target file cuts} {
    set d [slurp $file]
    seed $target full $d
    foreach c $cuts { seed $target cut$c [string range $d 0 [expr {$c - 1}]] }
}

set tmp [file join $out tmp]
file mkdir $tmp
bild16 b; b = 1234; b set 7 9 65535
b write_his $tmp/a.his
seeds his $tmp/a.his {0 20 34 99 100 1124 524387}
bildfloat f b
f write_gnuplot $tmp/a.bin
seeds gnuplot $tmp/a.bin {0 3 4 2052 2056 1052675}
foreach {name text} {
    handle _01000000_p_bild16 null NULL base _0a000000_p_imgbaseT_512_512_float_t
    upper _0A000000_p_bild16 readable {imgbase< 512,512,unsigned short > *}
} { seed handle $name $text }
# Readers added with their formats extend this list.
foreach script [glob -nocomplain -directory [file dirname [info script]] seeds-*.tcl] {
    source $script
}
file delete -force $tmp
exit
