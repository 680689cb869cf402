# Seeds for the QRfit reader: a fitted calibration and cuts in the magic
# word, at the counts, in the reference values and one byte short.
bild16 r1; r1 = 1000
bild16 r2; r2 = 60000
QRfit q {r1 r2} {0.1 0.9} 2 1
q write $tmp/a.qrfit
rename q {}; rename r1 {}; rename r2 {}
seeds qrfit $tmp/a.qrfit {0 5 6 7 8 12 16 1048591}
# No reference values: order 1, a coefficient per pixel.
set fd [open $tmp/none.qrfit wb]
puts -nonewline $fd [binary format a6ccr* QRfit 0 1 {}][string repeat [binary format r 0.5] 262144]
close $fd
set d [slurp $tmp/none.qrfit]
seed qrfit none $d
seed qrfit none-cut [string range $d 0 1048582]
