# The demo analysis: calibrate a detector from reference exposures, correct
# a sample exposure, fit its spots to sub-pixel precision and look at it in
# frequency space and across one Voronoi cell.
# Usage: pipeline.tcl DATADIR OUTDIR   (data from make-exposures.tcl)
package require quenz
lassign $argv data out
file mkdir $out
proc in {name} { file join $::data $name }
proc out {name} { file join $::out $name }

# Runs one step and prints its time. A step whose library code talks on
# the console (the fit's marks) gets its title on a line of its own.
proc step {title script {talks 0}} {
    if {$talks} {
        puts "$title ..."; flush stdout
        set title ""
    } else {
        puts -nonewline [format "%-52s" "$title ..."]; flush stdout
    }
    set t0 [clock microseconds]
    uplevel 1 $script
    set ms [expr {([clock microseconds] - $t0) / 1000.0}]
    if {$talks} {
        puts stderr ""
        puts -nonewline [format "%-52s" ""]
    }
    puts [format "%8.1f ms" $ms]
}

set intensities {0.05 0.2 0.4 0.6 0.8}

step "read 5 reference exposures (HIS)" {
    set refs {}
    for {set k 1} {$k <= 5} {incr k} { lappend refs [bild16 ref$k [in ref$k.his]] }
}
step "read the bad-pixel map (PGM)" {
    bild16 badmap; badmap read_pgm [in badpix.pgm]
}
step "per-pixel calibration: QR fit of order 3" {
    # 262144 small least-squares problems, spread over the cores. The fit
    # prints the coefficients of pixel (100, 100), and a "." for each pixel
    # (a hot one) whose references are all equal.
    QRfit cal $refs $intensities 5 3
} 1
step "save and reload the calibration" {
    cal write [out calibration.qrfit]
    QRfit cal2 [out calibration.qrfit]
}
step "read the sample, repair bad pixels, calibrate" {
    bild16 raw [in sample.his]
    bildfloat img raw
    img badpix_correct badmap
    img polyfit_correct cal2
}
step "calibration curve: intensity to height" {
    expkurve curve 60000 0.5 0.05 2.0 0.3 0.3
    bildfloat height img
    height apply_eichkurve curve
    height write_gnuplot [out height.bin]
}
step "smooth a copy (Gaussian, radius 1)" {
    bildfloat smooth img
    smooth gaussian 1.0
}

# Spot fits: a paraboloid over the 5 x 5 pixels around each spot's
# brightest pixel, on the corrected (unsmoothed) image.
step "fit every spot (Parabelzentrum)" {
    Parabelzentrum pz img 64
    set rows {}
    set fh [open [in truth.txt]]
    foreach {tx ty} [read $fh] {
        set bx [expr {round($tx)}]; set by [expr {round($ty)}]
        foreach dy {-1 0 1} { foreach dx {-1 0 1} {
            if {[img get [expr {round($ty)+$dy}] [expr {round($tx)+$dx}]] > [img get $by $bx]} {
                set bx [expr {round($tx)+$dx}]; set by [expr {round($ty)+$dy}]
            }
        }}
        pz clear
        pz estimate $bx $by
        for {set y [expr {$by-2}]} {$y <= $by+2} {incr y} {
            for {set x [expr {$bx-2}]} {$x <= $bx+2} {incr x} { pz put $x $y }
        }
        if {[pz fit]} { lappend rows [list $tx $ty [pz x] [pz y] [pz height]] }
    }
    close $fh
}
puts "\n  spot     true x    true y     fit x     fit y     error   height"
set sum 0.0; set n 0
foreach r $rows {
    lassign $r tx ty fx fy fh
    set e [expr {hypot($fx-$tx, $fy-$ty)}]
    set sum [expr {$sum + $e}]
    if {[incr n] <= 12 || $n == [llength $rows]} {
        puts [format "  %4d %9.3f %9.3f %9.3f %9.3f %9.3f %8.4f" $n $tx $ty $fx $fy $e $fh]
    } elseif {$n == 13} { puts "   ..." }
}
puts [format "  %d spots, mean centre error %.3f px\n" $n [expr {$sum / $n}]]

step "FFT power spectrum (Hamming window) to PGM" {
    bildcomplex freq img
    freq Hamming_window
    freq FFT_forward
    bildfloat power
    freq norm power
    # Saturate the zero frequency so the lattice peaks show.
    bild16 spectrum
    spectrum fromfloat power [expr {[power get 256 256] / 2000.0}]
    spectrum write_pgm8 [out spectrum.pgm]
}
step "profile across the cell of the central spot" {
    # Through the fitted centre of the spot nearest the image centre. The
    # profile table goes to standard output: run it in a child.
    set best {}
    foreach r $rows {
        set d [expr {hypot([lindex $r 2] - 256, [lindex $r 3] - 256)}]
        if {$best eq "" || $d < [lindex $best 0]} { set best [list $d {*}[lrange $r 2 3]] }
    }
    lassign $best -> cx cy
    set child [file join [file dirname [info script]] profile.tcl]
    exec [info nameofexecutable] $child [in cells.voronoi] [out height.bin] $cx $cy \
        > [out profile.dat] 2> [out profile.log]
}
step "render the corrected image into a photo, save PNG" {
    image create photo corrected
    getimage_contrast img corrected 0.0 0.8
    corrected write [out corrected.png] -format png
}
if {[auto_execok gnuplot] ne ""} {
    step "plot the profile with gnuplot" {
        exec gnuplot -e "set terminal png size 800,500; set output '[out profile.png]';\
            set xlabel 'position across the cell'; set ylabel 'height';\
            plot '[out profile.dat]' using 2:3 with linespoints title 'profile'"
    }
}
puts "\noutputs in [file normalize $out]:"
foreach f [lsort [glob -directory $out *]] { puts [format "  %-24s %9d bytes" [file tail $f] [file size $f]] }
exit
