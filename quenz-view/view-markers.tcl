# quenz-view's markers: circles, crosses and text at image coordinates on a
# window, drawn on its canvas. They are kept in image coordinates and laid
# out anew at each zoom; a pan moves them with the canvas by itself.
#
# It hears of each window's changes through qv::listen (view-layer.tcl).

namespace eval qv {
    # window -> list of markers {kind x y size colour text}
    variable marks
    array set marks {}
    # At most this many markers a window (each is a canvas item or two),
    # and a marker file of at most this many bytes.
    variable maxmarks 10000
    variable maxmarkfile [expr {1 << 20}]
}

# marker NR circle|cross X Y ?SIZE? ?COLOUR?
# marker NR text X Y TEXT ?COLOUR?
# marker NR load FILE ?circle|cross? ?SIZE? ?COLOUR?
# marker NR clear | list
# X and Y are image column and row (fractions allowed; 10 is the centre of
# pixel 10). A circle's SIZE is its radius in image pixels; a cross's is
# its arm in screen pixels, so a cross stays readable at any zoom. Returns
# the window's number of markers (list: the markers).
proc marker {args} {
    set usage {wrong # args: should be "marker nr circle|cross|text|load|clear|list ..."}
    if {[llength $args] < 2} { error $usage }
    set args [lassign $args nr what]
    qv::markwin $nr
    switch -- $what {
        circle - cross {
            if {[llength $args] < 2 || [llength $args] > 4} {
                error "wrong # args: should be \"marker nr $what x y ?size? ?colour?\""
            }
            lassign $args x y size colour
            qv::addmark $nr $what $x $y $size $colour {}
        }
        text {
            if {[llength $args] < 3 || [llength $args] > 4} {
                error {wrong # args: should be "marker nr text x y text ?colour?"}
            }
            lassign $args x y text colour
            qv::addmark $nr text $x $y {} $colour $text
        }
        load {
            if {[llength $args] < 1 || [llength $args] > 4} {
                error {wrong # args: should be "marker nr load file ?circle|cross? ?size? ?colour?"}
            }
            lassign $args file kind size colour
            if {$kind eq ""} { set kind circle }
            if {$kind ni {circle cross}} { error "marker: bad kind \"$kind\": must be circle or cross" }
            qv::loadmarks $nr $file $kind $size $colour
        }
        clear {
            if {[llength $args]} { error {wrong # args: should be "marker nr clear"} }
            set qv::marks($nr) {}
            .t$nr.c delete qvmark
        }
        list {
            if {[llength $args]} { error {wrong # args: should be "marker nr list"} }
            return $qv::marks($nr)
        }
        default {
            error "marker: bad option \"$what\": must be circle, cross, text, load, clear or list"
        }
    }
    llength $qv::marks($nr)
}

proc qv::markwin {nr} {
    if {![winfo exists .t$nr.c] || ![info exists qv::win($nr,zoom)]} {
        error "marker: no window $nr"
    }
    if {![info exists qv::marks($nr)]} { set qv::marks($nr) {} }
}

proc qv::addmark {nr kind x y size colour text} {
    foreach v [list $x $y] {
        if {![string is double -strict $v] || $v ne $v || abs($v) > 1e6} {
            error "marker: expected a number as coordinate but got \"$v\""
        }
    }
    if {$size eq ""} { set size [expr {$kind eq "circle" ? 5 : 6}] }
    if {![string is double -strict $size] || $size <= 0 || $size > 1000} {
        error "marker: size must be a number above 0, not \"$size\""
    }
    if {$colour eq ""} { set colour [expr {$kind eq "text" ? "yellow" : "#00ff00"}] }
    if {[catch {winfo rgb . $colour}]} { error "marker: unknown colour \"$colour\"" }
    if {[llength $qv::marks($nr)] >= $qv::maxmarks} {
        error "marker: window $nr has $qv::maxmarks markers, the most it takes"
    }
    set m [list $kind [expr {double($x)}] [expr {double($y)}] [expr {double($size)}] $colour $text]
    lappend qv::marks($nr) $m
    qv::drawmark $nr $m
}

# Draws one marker at the window's zoom: pixel (x, y)'s centre lies at
# canvas ((x + 0.5) z, (y + 0.5) z).
proc qv::drawmark {nr m} {
    lassign $m kind x y size colour text
    set c .t$nr.c
    set z $qv::win($nr,zoom)
    set cx [expr {($x + 0.5) * $z}]
    set cy [expr {($y + 0.5) * $z}]
    switch -- $kind {
        circle {
            set r [expr {$size * $z}]
            $c create oval [expr {$cx - $r}] [expr {$cy - $r}] [expr {$cx + $r}] [expr {$cy + $r}] \
                -outline $colour -width 1 -tags qvmark
        }
        cross {
            $c create line [expr {$cx - $size}] $cy [expr {$cx + $size + 1}] $cy -fill $colour -tags qvmark
            $c create line $cx [expr {$cy - $size}] $cx [expr {$cy + $size + 1}] -fill $colour -tags qvmark
        }
        text {
            $c create text $cx $cy -text $text -fill $colour -anchor w -font TkDefaultFont -tags qvmark
        }
    }
}

proc qv::relayout_marks {nr} {
    if {![info exists qv::marks($nr)] || ![winfo exists .t$nr.c]} return
    .t$nr.c delete qvmark
    set qv::marks($nr,zoom) $qv::win($nr,zoom)
    foreach m $qv::marks($nr) { qv::drawmark $nr $m }
}

# A plain text file, one marker per line: x y (further words ignored);
# blank lines and lines starting with # are skipped. Nothing is added when
# a line is not a pair of numbers. The name is taken literally (it may come
# from another process): only a regular file of at most qv::maxmarkfile
# bytes is read.
proc qv::loadmarks {nr file kind size colour} {
    set text [quenzview_read $file $qv::maxmarkfile]
    set points {}
    set ln 0
    foreach line [split $text \n] {
        incr ln
        set line [string trim $line]
        if {$line eq "" || [string index $line 0] eq "#"} continue
        set words [regexp -all -inline {\S+} $line]
        lassign $words x y
        if {[llength $words] < 2 || ![string is double -strict $x] || ![string is double -strict $y]} {
            error "$file:$ln: expected \"x y\", not \"$line\""
        }
        lappend points $x $y
    }
    if {[llength $qv::marks($nr)] + [llength $points] / 2 > $qv::maxmarks} {
        error "$file: [expr {[llength $points] / 2}] markers: a window takes at most $qv::maxmarks"
    }
    set before $qv::marks($nr)
    try {
        foreach {x y} $points { qv::addmark $nr $kind $x $y $size $colour {} }
    } on error err {
        set qv::marks($nr) $before
        qv::relayout_marks $nr
        error $err
    }
}

# After a render: laid out anew when the zoom changed.
proc qv::marks_view {nr} {
    if {![info exists qv::marks($nr)]} return
    if {[info exists qv::marks($nr,zoom)] && $qv::marks($nr,zoom) == $qv::win($nr,zoom)} return
    qv::relayout_marks $nr
}

qv::part markers {overlays {qvmark}}
qv::listen view qv::marks_view
qv::listen close [list apply {{nr} { array unset qv::marks $nr; array unset qv::marks $nr,* }}]
