# PGM seeds (sourced by make-seeds.tcl): both sample widths, cuts in the
# header and the pixels, and headers with comments, a CR LF and long numbers.
b write_pgm16 $tmp/a16.pgm
seeds pgm $tmp/a16.pgm {0 1 2 9 17 18 524304}
b write_pgm8 $tmp/a8.pgm
set d [slurp $tmp/a8.pgm]
seed pgm full8 $d
seed pgm cut8-262158 [string range $d 0 262157]
set px [string repeat \x80 262144]
seed pgm comments "P5# c\n512 # w\n# h\n512\n#m\n255\n$px"
seed pgm crlf "P5\n512 512\n255\r\n$px"
seed pgm maxval-comment "P5\n512 512\n255#c\r\n$px"
seed pgm longnum "P5\n00000005121 512\n255\n$px"
seed pgm maxval "P5\n512 512\n4095\n$px"
