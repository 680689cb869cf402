# Writes the profile table across the Voronoi cell nearest to (x, y) of a
# gnuplot matrix image to standard output (for redirection into a file).
# Usage: profile.tcl CELLS IMAGE X Y
package require quenzcore
lassign $argv cells image x y
bildfloat img $image
Voronoischnitt cell img $x $y $cells
cell compute_schnitt 0
puts stderr [format "boundary average %.4f +/- %.4f" [cell boundary_average] [cell cget -stddev]]
exit
