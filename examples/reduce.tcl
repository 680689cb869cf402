# The per-exposure reduction, one file at a time: read the HIS exposure,
# subtract the dark frame, calibrate every pixel (QRfit), repair the bad
# pixels, convert to height through the calibration curve, smooth
# (Gaussian 2.7) and measure; write the height map (gnuplot matrix) and
# its statistics (imgstats: a line "n min max sum mean std median nan")
# as OUTDIR/<name>.bin and OUTDIR/<name>.stats. Each output appears whole or not at all: the
# library's writer and reduce::write_text write a temporary in OUTDIR and rename it into place.
#
# Run directly:  tclsh reduce.tcl CALDIR OUTDIR file.his ...
# or from another script (examples/batch.tcl, one interpreter per worker):
#   source reduce.tcl; reduce::setup CALDIR OUTDIR; reduce::one file.his
# CALDIR holds dark.his, badpix.pgm, calibration.qrfit and curve.tab
# (examples/calibrate.tcl makes the last two).
package require quenzcore

namespace eval reduce {
    variable outdir
}

proc reduce::setup {caldir outdir} {
    set ::reduce::outdir [file normalize $outdir]
    file mkdir $outdir
    bild16 ::reduce::darkraw [file join $caldir dark.his]
    bildfloat ::reduce::dark ::reduce::darkraw
    bild16 ::reduce::badmap
    ::reduce::badmap read_pgm [file join $caldir badpix.pgm]
    QRfit ::reduce::cal [file join $caldir calibration.qrfit]
    tablekurve ::reduce::curve [file join $caldir curve.tab]
    bild16 ::reduce::raw
    bildfloat ::reduce::img
}

# Reduces one exposure; returns its statistics.
proc reduce::one {file} {
    variable outdir
    set name [file rootname [file tail $file]]
    # Both outputs' names must fit before either is written.
    if {[string length [encoding convertto [encoding system] $name.stats]] > 255} {
        error "$file: the name is too long for its outputs ($name.stats would be over 255 bytes)"
    }
    raw read_his $file
    img from_bild16 raw
    img -= dark
    img polyfit_correct cal
    img badpix_correct badmap
    img apply_eichkurve curve
    img gaussian 2.7
    set bin [file join $outdir $name.bin]
    img write_gnuplot $bin
    # (REDUCE_STATS=0 in the environment leaves the statistics out)
    if {[info exists ::env(REDUCE_STATS)] && $::env(REDUCE_STATS) eq "0"} return
    set stats [stats img]
    write_text [file join $outdir $name.stats] $stats\n
    return $stats
}

# The statistics line: imgstats' numbers in its key order.
proc reduce::stats {img} {
    set line {}
    dict for {key value} [imgstats $img] { lappend line [format %.9g $value] }
    join $line
}

# Writes text to path whole or not at all: into a fresh hidden temporary
# beside it, made with O_EXCL under a random name (never a name someone
# else made, nor a link planted there), then renamed into place.
proc reduce::write_text {path text} {
    # (file tail writes a name that begins with ~ as ./~name)
    set tail [regsub {^\./} [file tail $path] {}]
    # (the temporary's name, 15 bytes longer, must fit a name's 255 bytes)
    while {[string length [encoding convertto utf-8 $tail]] > 200} { set tail [string range $tail 0 end-1] }
    set fh {}
    for {set try 0} {$try < 100 && $fh eq ""} {incr try} {
        set tmp [file join [file dirname $path] \
            ./.$tail.[format %08x [expr {int(rand() * 0x100000000)}]].part]
        if {[catch {open $tmp {WRONLY CREAT EXCL BINARY}} fh]} {
            if {[lindex $::errorCode 1] ne "EEXIST"} { error "Cannot write to $path: $fh" }
            set fh {}
        }
    }
    if {$fh eq ""} { error "Cannot write to $path" }
    try {
        puts -nonewline $fh $text
        close $fh
        file rename -force $tmp $path
    } on error {msg opts} {
        catch {close $fh}
        file delete $tmp
        return -options $opts $msg
    }
}

# Run as a program: every file on the command line; a file that fails is
# reported and the rest go on; exit status 1 if any failed.
if {[info exists ::argv0] && [file normalize $::argv0] eq [file normalize [info script]]} {
    if {[llength $::argv] < 3} {
        puts stderr "usage: reduce.tcl CALDIR OUTDIR file.his ..."
        exit 2
    }
    set files [lassign $::argv caldir outdir]
    reduce::setup $caldir $outdir
    set failed 0
    foreach f $files {
        if {[catch {reduce::one $f} msg]} {
            puts stderr "$f: $msg"
            incr failed
        }
    }
    exit [expr {$failed > 0}]
}
