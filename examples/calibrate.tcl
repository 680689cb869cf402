# The calibration that examples/reduce.tcl applies to every exposure, from
# the data of make-exposures.tcl, written into the same directory:
#   calibration.qrfit  per-pixel cubic from dark-subtracted counts to intensity
#   curve.tab          the calibration curve's table (intensity to height)
# Usage: calibrate.tcl DATADIR
package require quenzcore
set data [lindex $argv 0]
set intensities {0.05 0.2 0.4 0.6 0.8}
bild16 dark [file join $data dark.his]
set refs {}
for {set k 1} {$k <= 5} {incr k} {
    bild16 ref$k [file join $data ref$k.his]
    ref$k -= dark
    lappend refs ref$k
}
# The fit prints one pixel's coefficients on stdout and a "." on stderr
# for each hot pixel.
QRfit cal $refs $intensities 5 3
cal write [file join $data calibration.qrfit]
expkurve curve 60000 0.5 0.05 2.0 0.3 0.3
curve table_write [file join $data curve.tab]
exit
