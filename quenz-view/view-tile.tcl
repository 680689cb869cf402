# quenz-view: the tiled layout (key T, --tile): every window in a grid that
# fits the screen, each shrunk to 1/2, 1/3 or 1/4 where the screen needs it,
# and back to windows of their own size. Part of the layer (view-layer.tcl
# describes a window).

namespace eval qv::tile {
    variable on 0
    variable pending 0
}

# T: tiles the windows, or puts them back.
proc qv::tile::toggle {} {
    variable on
    set on [expr {!$on}]
    if {$on} { qv::tile::layout } else { qv::tile::untile }
}

# --tile and scripts: tiling on (1) or off (0).
proc qv::tile::set_on {flag} {
    variable on
    set on [expr {!!$flag}]
    if {$on} { qv::tile::layout } else { qv::tile::untile }
}

proc qv::tile::later {} {
    variable pending
    if {$pending} return
    set pending 1
    after idle qv::tile::layout
}

# The smallest shrink (1..4) at which n cells of a window's parts plus a
# side x side picture fit the screen, and the grid's columns: {shrink cols}.
proc qv::tile::grid {n extraw extrah sw sh} {
    foreach k {1 2 3 4} {
        set side [qv::side [expr {$k > 1 ? 1.0 / $k : 1}]]
        set cols [expr {max(1, $sw / ($side + $extraw))}]
        set rows [expr {max(1, $sh / ($side + $extrah))}]
        if {$cols * $rows >= $n} break
    }
    list $k [expr {min($cols, $n)}]
}

# Lays the windows out in reading order: each as large as its cell, its
# picture fitted to it (fit mode, so it keeps fitting).
proc qv::tile::layout {} {
    variable pending 0
    variable on
    set wins [qv::windows]
    if {!$on || ![llength $wins]} return
    update idletasks
    set t .t[lindex $wins 0]
    set extraw [expr {[winfo reqwidth $t] - [winfo reqwidth $t.c]}]
    set extrah [expr {[winfo reqheight $t] - [winfo reqheight $t.c]}]
    set sw [winfo screenwidth .]
    set sh [winfo screenheight .]
    lassign [qv::tile::grid [llength $wins] $extraw $extrah $sw $sh] k cols
    set side [qv::side [expr {$k > 1 ? 1.0 / $k : 1}]]
    set w [expr {$side + $extraw}]
    set h [expr {$side + $extrah}]
    set rows [expr {max(1, $sh / $h)}]
    set i 0
    foreach nr $wins {
        # more windows than cells (a small screen): the next sheet of
        # cells lies over the first, shifted
        set cell [expr {$i % ($cols * $rows)}]
        set shift [expr {30 * ($i / ($cols * $rows))}]
        wm geometry .t$nr ${w}x${h}+[expr {($cell % $cols) * $w + $shift}]+[expr {($cell / $cols) * $h + $shift}]
        incr i
    }
    update idletasks
    foreach nr $wins { qv::fit $nr }
}

# Every window back to its own size at zoom 1, placed as new windows are.
proc qv::tile::untile {} {
    set i 0
    foreach nr [qv::windows] {
        wm geometry .t$nr {}
        qv::place .t$nr $i
        incr i
    }
    update idletasks
    foreach nr [qv::windows] { qv::fit $nr }
}

# A window opened or closed while tiled: the grid is laid out again.
qv::listen window {apply {{nr} { if {$qv::tile::on} { qv::tile::later } }}}
qv::listen close {apply {{nr} { if {$qv::tile::on} { qv::tile::later } }}}
qv::part tile {
    keys {{T} {qv::tile::toggle} T "tile all windows to fit the screen, and back"}
}
