# Helpers of the image and file-format suites (source after common.tcl):
# raw file bytes, crafted files, and a bild16's pixels as a Tcl list.

proc slurp {f} {
    set ch [open $f rb]
    set d [read $ch]
    close $ch
    return $d
}
proc spit {f data} {
    set ch [open $f wb]
    puts -nonewline $ch $data
    close $ch
    return $f
}
# n bytes of file f from offset `at`, as lowercase hex.
proc hexat {f at n} {
    binary scan [string range [slurp $f] $at [expr {$at + $n - 1}]] H* h
    return $h
}

# 262144 counts, pixel i = (i * mul + add) mod 65536.
proc ramp {{mul 1} {add 0}} {
    set l {}
    for {set i 0} {$i < 262144} {incr i} { lappend l [expr {($i * $mul + $add) & 0xffff}] }
    return $l
}
# A 16-bit P5 file of 512 x 512 counts, built here, not by the extension.
proc pgm16_bytes {counts} {
    return "P5\n512 512\n65535\n[binary format S* $counts]"
}
# Fills the bild16 img with 262144 counts (through a crafted 16-bit PGM).
proc fill16 {img counts} {
    bild16_read_pgm $img [spit [tmp fill16.pgm] [pgm16_bytes $counts]]
    return
}
# The pixels of img as a list of counts, row 0 first.
proc counts {img} {
    set f [tmp counts.pgm]
    bild16_write_pgm16 $img $f
    binary scan [string range [slurp $f] 17 end] Su* c
    return $c
}
# The pixels where two count lists differ, as {y x} pairs.
proc changed {before after} {
    set d {}
    set i 0
    foreach a $before b $after {
        if {$a != $b} { lappend d [list [expr {$i / 512}] [expr {$i % 512}]] }
        incr i
    }
    return $d
}
# The float nearest to x (single precision and back).
proc f32 {x} {
    binary scan [binary format r $x] r v
    return $v
}
