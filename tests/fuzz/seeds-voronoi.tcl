# Voronoi cell files (sourced by make-seeds.tcl): the system has no writer,
# so the seeds are written here: hexagons, a pentagon, a cell without
# corners, a cell off the image, a count that promises more than follows,
# and cuts inside a number, after a count and at the end.
set cells {}
foreach {cx cy} {100 100 300 120 256 256 480 500} {
    set c [list $cx $cy 6]
    foreach {dx dy} {-10 0 -5 -9 5 -9 10 0 5 9 -5 9} { lappend c [expr {$cx + $dx}] [expr {$cy + $dy}] }
    lappend cells [join $c " "]
}
set text "[join $cells \n]\n"
seed voronoi hexagons $text
seed voronoi tabs [string map {" " \t} $text]
seed voronoi pentagon "50.5 60.25 5 40 60 45 50 55 50 60 60 50 70\n"
seed voronoi nocorners "10 10 0\n20 20 -3\n"
seed voronoi offimage "-100 700 6 -110 700 -105 691 -95 691 -90 700 -95 709 -105 709\n"
seed voronoi promise "100 100 6 90 100 95 91\n"
seed voronoi exponents "1e2 1.0e2 4 9e1 1e2 1e2 9e1 1.1e2 1e2 1e2 1.1e2"
foreach cut [list 1 5 9 12 40 [expr {[string length $text] - 2}]] {
    seed voronoi cut$cut [string range $text 0 [expr {$cut - 1}]]
}
