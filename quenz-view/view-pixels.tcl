# quenz-view: the pixel values around the pointer (key v), a 7 x 7 table
# that follows the pointer, as a value-by-value check of what the picture
# shows. Part of the layer (view-layer.tcl describes a window).

qv::part pixels {
    fields {pixat {} "the pixel the values window is centred on: col row"}
    keys {{v} {qv::pixels::toggle NR} v "the 7 x 7 values around the pointer, and back"}
}

namespace eval qv::pixels {
    variable half 3
}

proc qv::pixels::toggle {nr} {
    set t .pix$nr
    if {[winfo exists $t]} { destroy $t; return }
    toplevel $t
    wm title $t "$nr: pixel values"
    text $t.t -width 80 -height 9 -font TkFixedFont -wrap none
    pack $t.t -fill both -expand 1
    bind $t <Key-v> [list destroy $t]
    bind $t <Escape> [list destroy $t]
    if {$qv::win($nr,px) ne ""} {
        lassign [qv::pixel $nr {*}$qv::win($nr,px)] col row
        set qv::win($nr,pixat) [list [qv::clamp $col] [qv::clamp $row]]
    } elseif {$qv::win($nr,pixat) eq ""} {
        set qv::win($nr,pixat) {256 256}
    }
    qv::pixels::fill $nr
}

# The table: a header of columns, then each row's values as the readout
# gives them (the image shown, blink and differences included).
proc qv::pixels::lines {nr} {
    variable half
    lassign $qv::win($nr,pixat) c r
    set cols [lmap x [qv::iota [expr {2 * $half + 1}]] { expr {$c - $half + $x} }]
    set cols [lmap x $cols { if {$x < 0 || $x > 511} continue; set x }]
    set lines [list [format "%6s %s" "y \\ x" [join [lmap x $cols { format %9d $x }] ""]]]
    for {set y [expr {$r - $half}]} {$y <= $r + $half} {incr y} {
        if {$y < 0 || $y > 511} continue
        lappend lines [format "%6d %s" $y [join [lmap x $cols { format %9s [qv::value $nr $x $y] }] ""]]
    }
    return $lines
}

proc qv::pixels::fill {nr} {
    set t .pix$nr
    if {![winfo exists $t]} return
    $t.t configure -state normal
    $t.t delete 1.0 end
    $t.t insert end [join [qv::pixels::lines $nr] \n]
    $t.t configure -state disabled
}

# The pointer moved over the image, or the pixels changed.
qv::listen pointer {apply {{nr} {
    if {![winfo exists .pix$nr] || $qv::win($nr,px) eq ""} return
    lassign [qv::pixel $nr {*}$qv::win($nr,px)] col row on
    if {!$on} return
    set qv::win($nr,pixat) [list $col $row]
    qv::pixels::fill $nr
}}}
qv::listen content qv::pixels::fill
qv::listen close {apply {{nr} { destroy .pix$nr }}}
