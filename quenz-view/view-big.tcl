# quenz-view's larger files: a file of more than 512 x 512 pixels (a bigger
# sensor) opens binned to fit, the largest square of 512N x 512N pixels in
# its centre with each pixel the mean of an N x N block; the f key shows the
# 512 x 512 pixels under the pointer at full resolution, and f again goes
# back. The readers do the work (-bin N, -roi X Y); this part keeps, per
# window, what was read: qv::win(nr,big) (set by each file read) is {}
# for a plain file, else a dict
# of the file's w and h, the bin, the region's corner x y, and full (1 when
# the full-resolution region is shown).
# ---------------------------------------------------------------------

namespace eval qv::big {}

# The reader's extra words for window nr's file as it is shown now.
proc qv::big::words {nr} {
    set b $qv::win($nr,big)
    if {$b eq ""} { return {} }
    if {[dict get $b full]} { return [list -roi [dict get $b x] [dict get $b y]] }
    list -bin [dict get $b bin] -roi [dict get $b x] [dict get $b y]
}

# After a plain read failed with err: when it failed on the file's size and
# the file is at least 512 pixels both ways, window nr shows it binned to
# fit from now on (true); anything else stays the reader's error (false).
proc qv::big::take {nr err} {
    if {![regexp {expected 512 x 512 pixels, got (\d+) x (\d+)} $err -> w h]} { return 0 }
    set side [expr {min($w, $h)}]
    if {$side < 512} { return 0 }
    set bin [expr {min(16, $side / 512)}]
    set s [expr {512 * $bin}]
    set qv::win($nr,big) [dict create w $w h $h bin $bin \
        x [expr {($w - $s) / 2}] y [expr {($h - $s) / 2}] full 0]
    return 1
}

# The file's own pixel (column, row, counted as the reader counts them) at
# image pixel (col, row) of window nr: the top-left pixel of a binned block.
proc qv::big::filexy {nr col row} {
    set b [expr {[info exists qv::win($nr,big)] && $qv::win($nr,file) ne "" ? $qv::win($nr,big) : ""}]
    if {$b eq ""} { return [list $col $row 512] }
    set h [dict get $b h]
    if {[dict get $b full]} { return [list [expr {[dict get $b x] + $col}] [expr {[dict get $b y] + $row}] $h] }
    set n [dict get $b bin]
    list [expr {[dict get $b x] + $col * $n}] [expr {[dict get $b y] + $row * $n}] $h
}

# The title's note: how the file is shown.
proc qv::big::note {nr} {
    set b [expr {[info exists qv::win($nr,big)] ? $qv::win($nr,big) : ""}]
    if {$b eq ""} { return "" }
    set size "[dict get $b w] x [dict get $b h]"
    if {[dict get $b full]} { return " ($size, full resolution at [dict get $b x], [dict get $b y])" }
    set n [dict get $b bin]
    return " ($size, binned ${n}x$n)"
}

# The f key: the full-resolution 512 x 512 around the pointer, or back to
# the binned view.
proc qv::big::toggle {nr} {
    variable ::qv::win
    set b [expr {[info exists win($nr,big)] ? $win($nr,big) : ""}]
    if {$b eq "" || $win($nr,file) eq ""} {
        qv::say $nr "f shows a part of a larger file at full resolution; this file is 512 x 512"
        return
    }
    if {[dict get $b full]} {
        dict set b full 0
        dict set b x [dict get $b bx]
        dict set b y [dict get $b by]
    } else {
        set at [expr {$win($nr,px) eq "" ? {256 256 1} : [qv::pixel $nr {*}$win($nr,px)]}]
        lassign $at col row
        set col [qv::clamp $col]
        set row [qv::clamp $row]
        set n [dict get $b bin]
        set fx [expr {[dict get $b x] + $col * $n + $n / 2}]
        set fy [expr {[dict get $b y] + $row * $n + $n / 2}]
        dict set b bx [dict get $b x]
        dict set b by [dict get $b y]
        dict set b x [expr {max(0, min($fx - 256, [dict get $b w] - 512))}]
        dict set b y [expr {max(0, min($fy - 256, [dict get $b h] - 512))}]
        dict set b full 1
    }
    set win($nr,big) $b
    qv::openfile $win($nr,file) $nr $win($nr,frame)
}

qv::part big {
    fields {big {} "a larger file's view: its size, the bin or the full-resolution region"}
    keys {
        {f} {qv::big::toggle NR} f "larger file: full size under the pointer, and back"
    }
}

# The title says how a larger file is shown.
qv::hook title 20 {apply {{name nr} {
    if {$qv::win($nr,file) ne ""} { append name [qv::big::note $nr] }
    return $name
}}}

# The readout adds the file's own pixel: a larger file's (of a binned
# block, its top-left one), and a FITS file's coordinates as ds9 shows
# them, from 1, row 1 at the bottom.
qv::hook status 10 {apply {{text nr m col row} {
    lassign [qv::big::filexy $m $col $row] fx fy fh
    if {$fh != 512 || $fx != $col || $fy != $row} { append text [format " (file %d, %d)" $fx $fy] }
    if {$qv::win($m,fkind) eq "fits"} {
        append text [format " (FITS %d, %d)" [expr {$fx + 1}] [expr {$fh - $fy}]]
    }
    return $text
}}}
