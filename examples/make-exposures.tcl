# Makes the demo's synthetic data with quenz itself, into the directory
# given as the first argument:
#   ref1.his .. ref5.his  reference exposures of known uniform intensities
#   sample.his            Gaussian spots on a hexagonal lattice
#   badpix.pgm            the bad-pixel map (65535 where a pixel is hot)
#   cells.voronoi         the Voronoi cells of the lattice
#   truth.txt             the true sub-pixel spot centres
#   dark.his              a dark frame (no light)
#   exp0001.his ...       with a second argument N: N exposures of the
#                         sample's spots at brightnesses from 0.8 to 1.2
# Every exposure goes through the same detector: a per-pixel gain pattern,
# a dark offset, noise and a handful of hot pixels.
package require quenzcore
lassign $argv out count
if {$count eq ""} { set count 0 }
file mkdir $out
expr {srand(20261207)}

set intensities {0.05 0.2 0.4 0.6 0.8}   ;# normalised, as the calibration will return them
set fullscale 60000.0                     ;# counts for intensity 1 at gain 1

# Detector: gain and dark offset (in normalised counts) and two noise fields.
bildfloat gain; bildfloat dark; bildfloat noise1; bildfloat noise2
set pi [expr {acos(-1)}]
for {set y 0} {$y < 512} {incr y} {
    for {set x 0} {$x < 512} {incr x} {
        gain set $y $x [expr {1.0 + 0.08*sin(2*$pi*$x/97.0)*cos(2*$pi*$y/131.0) + 0.02*(rand()-0.5)}]
        dark set $y $x [expr {(800.0 + 0.4*$x) / 65535.0}]
        noise1 set $y $x [expr {(rand() + rand() + rand() - 1.5) * 40.0 / 65535.0}]
        noise2 set $y $x [expr {(rand() + rand() + rand() - 1.5) * 40.0 / 65535.0}]
    }
    if {$y % 128 == 127} { puts -nonewline stderr "."; flush stderr }
}
puts stderr ""
set hot {}
for {set i 0} {$i < 40} {incr i} { lappend hot [expr {int(rand()*512)}] [expr {int(rand()*512)}] }

# A true intensity image through the detector, saved as a HIS exposure.
proc expose {truth name k} {
    global fullscale hot out
    bildfloat f $truth
    f *= gain
    f *= [expr {$fullscale / 65535.0}]
    f += dark
    bildfloat n noise1; n *= [expr {cos($k)}]; f += n
    n = noise2; n *= [expr {sin($k)}]; f += n
    bild16 raw; raw fromfloat f
    foreach {y x} $hot { raw set $y $x 65535 }
    raw write_his [file join $out $name]
    raw -delete; f -delete; n -delete
}

set k 0
foreach i $intensities {
    bildfloat t; t = $i
    expose t ref[incr k].his $k
    t -delete
}

# The sample: spots of height 0.5 and width 3 px on a background of 0.15,
# centred on a hexagonal lattice (spacing 40 px) with sub-pixel offsets.
set a 40.0
set h [expr {$a * sqrt(3) / 2}]
bildfloat truth; truth = 0.15
set fh [open [file join $out truth.txt] w]
set vf [open [file join $out cells.voronoi] w]
set r [expr {$a / sqrt(3)}]
for {set row 0} {$row * $h < 512} {incr row} {
    for {set col 0} {$col * $a < 512} {incr col} {
        set cx [expr {30.0 + $col*$a + ($row % 2)*$a/2 + 0.8*(rand()-0.5)}]
        set cy [expr {30.0 + $row*$h + 0.8*(rand()-0.5)}]
        if {$cx > 490 || $cy > 490} continue
        puts $fh [format "%.4f %.4f" $cx $cy]
        for {set y [expr {int($cy)-9}]} {$y <= int($cy)+9} {incr y} {
            for {set x [expr {int($cx)-9}]} {$x <= int($cx)+9} {incr x} {
                set d2 [expr {($x-$cx)**2 + ($y-$cy)**2}]
                truth set $y $x [expr {[truth get $y $x] + 0.5*exp(-$d2/18.0)}]
            }
        }
        set corners {}
        for {set c 0} {$c < 6} {incr c} {
            set phi [expr {($c*60 + 30) * $pi / 180}]
            lappend corners [format %.3f [expr {$cx + $r*cos($phi)}]] [format %.3f [expr {$cy + $r*sin($phi)}]]
        }
        puts $vf "[format {%.4f %.4f} $cx $cy] 6 $corners"
    }
}
close $fh; close $vf
expose truth sample.his 7

bild16 map; map = 0
foreach {y x} $hot { map set $y $x 65535 }
map write_pgm16 [file join $out badpix.pgm]

bildfloat t; t = 0
expose t dark.his 0
for {set i 1} {$i <= $count} {incr i} {
    t = truth
    t *= [expr {0.8 + 0.4 * ($i - 1) / max($count - 1, 1)}]
    expose t [format exp%04d.his $i] [expr {10 + $i}]
}
foreach o {gain dark noise1 noise2 truth map t} { $o -delete }
exit
