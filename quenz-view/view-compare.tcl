# quenz-view: comparing windows (blink, lock, difference) and the header
# window. Part of the layer (view-layer.tcl describes a window).

qv::part compare {
    fields {
        blink   {}  "the windows blinked in turn, this one first ({} when not blinking)"
        blinkat 0   "which of them is shown now"
        diff    {}  "a difference window's two windows: a b"
    }
    fresh {diff {}}
    keys {
        {h} {qv::header NR} h "the file's header: HIS fields, FITS cards, TIFF tags"
        {b} {qv::blink NR} b "blink this window with the others"
        {k} {qv::lock} k "lock zoom, pan, range and map of all windows"
        {d} {qv::difference NR} d "difference window: this window minus the next"
    }
}

namespace eval qv {
    # Lock: zoom, pan, range and map shared by every window.
    variable locked 0
    variable locking 0
    variable blinkms 500
}

# A blinking window shows its members' images in turn.
qv::hook shown 10 {apply {{m nr} {
    set b $qv::win($nr,blink)
    expr {[llength $b] > 1 ? [lindex $b $qv::win($nr,blinkat)] : $m}
}}}

qv::hook title 40 {apply {{name nr} {
    if {[llength $qv::win($nr,blink)] > 1} {
        set m [lindex $qv::win($nr,blink) $qv::win($nr,blinkat)]
        if {$m ne $nr} { set name "blink: window $m" } else { append name " (blink)" }
    }
    if {$qv::locked} { append name " (locked)" }
    return $name
}}}

# A difference of two exposures reads exactly, in counts; its readout
# gives both values, and with the windows locked every window's value
# follows.
qv::hook value 10 {apply {{v m col row} {
    if {[llength $qv::win($m,diff)] != 2} { return $v }
    lassign $qv::win($m,diff) a b
    if {[info exists qv::win($a,kind)] && [info exists qv::win($b,kind)]
        && $qv::win($a,kind) eq "16" && $qv::win($b,kind) eq "16"} {
        return [expr {[[qv::imgof $a] get $row $col] - [[qv::imgof $b] get $row $col]}]
    }
    return $v
}}}
qv::hook status 20 {apply {{text nr m col row} {
    if {[llength $qv::win($m,diff)] == 2} {
        foreach o $qv::win($m,diff) {
            if {[info exists qv::win($o,kind)]} { append text " $o: [qv::value $o $col $row]" }
        }
    }
    if {$qv::locked} {
        foreach o [qv::windows] {
            if {$o ne $nr} { append text " $o: [qv::value $o $col $row]" }
        }
    }
    return $text
}}}

# Locked, the pixel under the pointer in whichever window it is.
qv::hook at 10 {apply {{at nr} {
    if {!$qv::locked} { return $at }
    foreach o [qv::windows] {
        if {$o ne $nr && $qv::win($o,px) ne ""} {
            lassign [qv::pixel $o {*}$qv::win($o,px)] col row on
            if {$on} { set at [list $col $row] }
        }
    }
    return $at
}}}
qv::listen pointer {apply {{nr} {
    if {!$qv::locked} return
    foreach o [qv::windows] { if {$o ne $nr} { qv::status $o } }
}}}
qv::listen drawn {apply {{nr} { if {$qv::locked && !$qv::locking} { qv::share $nr } }}}
qv::listen close {apply {{nr} { after cancel [list qv::blinkstep $nr] }}}

# ------------------------------------------------------- comparing

# Key b: window nr shows in turn its own image and every other window's,
# each with that window's range and map, at nr's zoom and pan, every
# blinkms; b again stops. qv::blink nr {members} starts it with those.
proc qv::blink {nr {members {}}} {
    variable win
    after cancel [list qv::blinkstep $nr]
    if {[llength $win($nr,blink)] > 1 && $members eq ""} {
        set win($nr,blink) {}
        set win($nr,blinkat) 0
        qv::title $nr
        qv::render $nr
        return
    }
    if {$members eq ""} { set members [qv::windows] }
    set members [concat [list $nr] [lmap m $members { if {$m eq $nr} continue; set m }]]
    if {[llength $members] < 2} {
        qv::say $nr "blink needs a second window"
        return
    }
    set win($nr,blink) $members
    set win($nr,blinkat) 0
    after $qv::blinkms [list qv::blinkstep $nr]
    qv::title $nr
}

proc qv::blinkstep {nr} {
    variable win
    if {![info exists win($nr,blink)] || [llength $win($nr,blink)] < 2} return
    set win($nr,blinkat) [expr {($win($nr,blinkat) + 1) % [llength $win($nr,blink)]}]
    qv::title $nr
    qv::render $nr
    after $qv::blinkms [list qv::blinkstep $nr]
}

# Key k: zoom, pan, range, colour map and log scale shared by all
# windows, from the window the key was pressed in; k again unlocks.
proc qv::lock {{from {}}} {
    set qv::locked [expr {!$qv::locked}]
    foreach nr [qv::windows] { qv::title $nr }
    if {$qv::locked} {
        if {$from eq ""} {
            set from [lindex [qv::windows] 0]
            set w [focus]
            if {[regexp {^\.t([^.]+)} $w -> f] && [info exists qv::win($f,kind)]} { set from $f }
        }
        if {$from ne ""} { qv::share $from }
    }
    foreach nr [qv::windows] { qv::status $nr }
}

# Copies window nr's view to every other window.
proc qv::share {nr} {
    variable win
    set qv::locking 1
    try {
        set c .t$nr.c
        set x0 [$c canvasx 0]
        set y0 [$c canvasy 0]
        foreach o [qv::windows] {
            if {$o eq $nr} continue
            set oc .t$o.c
            set side [qv::side $win($nr,zoom)]
            set win($o,zoom) $win($nr,zoom)
            set win($o,fit) $win($nr,fit)
            $oc configure -scrollregion [list 0 0 $side $side]
            $oc xview moveto [expr {$x0 / $side}]
            $oc yview moveto [expr {$y0 / $side}]
            foreach k {map log} { set win($o,$k) $win($nr,$k) }
            if {$win($o,kind) eq $win($nr,kind)} {
                set ::zoomlow($o) $::zoomlow($nr)
                set ::zoomhigh($o) $::zoomhigh($nr)
                set win($o,mode) manual
            }
            qv::render $o
        }
    } finally {
        set qv::locking 0
    }
}

# Key d: a difference window, a - b as a float image in counts (b is the
# window after a). Its readout gives the difference and both values.
proc qv::difference {a {b {}} {nr {}}} {
    variable win
    set ws [qv::windows]
    if {$b eq ""} {
        set others [lmap w $ws { if {$w eq $a || [llength $win($w,diff)]} continue; set w }]
        set later [lmap w $others { if {[lsort -dictionary [list $w $a]] ne [list $a $w]} continue; set w }]
        set b [lindex [concat $later $others] 0]
    }
    if {$b eq "" || ![info exists win($b,kind)] || ![info exists win($a,kind)]} {
        error "a difference needs two windows"
    }
    if {$nr eq ""} {
        set nr 1
        while {[winfo exists .t$nr]} { incr nr }
    }
    set fa [new_bildfloat]
    set fb [new_bildfloat]
    try {
        foreach {f w} [list $fa $a $fb $b] {
            # counts as counts: the float image of a bild16 is count / 65535
            if {$win($w,kind) eq "16"} {
                bildfloat_from_bild16 $f [qv::imgof $w]
                bildfloat_*= $f 65535.0
            } else {
                bildfloat_= $f [qv::imgof $w]
            }
        }
        bildfloat_-= $fa $fb
        qv::showimage float $fa $nr "$a - $b"
    } finally {
        delete_bildfloat $fa
        delete_bildfloat $fb
    }
    set win($nr,diff) [list $a $b]
    set win($nr,source) "window $a - window $b"
    set win($nr,mode) auto
    qv::range $nr
    qv::title $nr
    qv::render $nr
    return $nr
}

# ------------------------------------------------------- the header

# Key h: the header of window nr's file in a window of its own: the HIS
# header record's fields, the FITS cards of the frame's HDU, the TIFF tags
# of the page.
proc qv::header {nr} {
    variable win
    set t .qvh$nr
    if {![winfo exists $t]} {
        toplevel $t
        text $t.t -width 82 -height 30 -font TkFixedFont -yscrollcommand [list $t.s set] -wrap none
        scrollbar $t.s -command [list $t.t yview]
        pack $t.s -side right -fill y
        pack $t.t -side left -fill both -expand 1
        bind $t <Key-h> [list destroy $t]
        bind $t <Escape> [list destroy $t]
    }
    set file $win($nr,file)
    wm title $t "$nr: header of [expr {$file eq "" ? $win($nr,source) : [qv::tail $file]}]"
    set lines [qv::headerlines $nr]
    $t.t configure -state normal
    $t.t delete 1.0 end
    $t.t insert end [join $lines \n]
    $t.t configure -state disabled
    return $lines
}

proc qv::headerlines {nr} {
    variable win
    set file $win($nr,file)
    if {$file eq ""} { return [list "no file: the window shows $win($nr,source)"] }
    # read the way the window's file was read (qv::reading)
    qv::reading $file [list qv::fieldlines $nr $file]
}

proc qv::fieldlines {nr file} {
    variable win
    set frame [lindex $win($nr,framelist) $win($nr,frame)]
    switch -- $win($nr,fkind) {
        his {
            set head [quenzview_head $file 34]
            binary scan $head sususuiusususususususuqsu a b off len c d e w h f g v k
            return [list "HIS header record (34 bytes)" \
                        [format "%-28s %s" "0  type" $a] [format "%-28s %s" "2  (field)" $b] \
                        [format "%-28s %s" "4  pixel data offset" $off] [format "%-28s %s" "6  file length" $len] \
                        [format "%-28s %s" "10 (field)" $c] [format "%-28s %s" "12 (field)" $d] \
                        [format "%-28s %s" "14 (field)" $e] [format "%-28s %s" "16 width" $w] \
                        [format "%-28s %s" "18 height" $h] [format "%-28s %s" "20 (field)" $f] \
                        [format "%-28s %s" "22 (field)" $g] [format "%-28s %s" "24 (double)" $v] \
                        [format "%-28s %s" "32 (field)" $k]]
        }
        fits {
            set hdu [expr {[lindex $frame 0] eq "plane" ? [lindex $frame 1] : [lindex $frame 0] eq "hdu" ? [lindex $frame 1] : 1}]
            if {[catch {fits_cards $file $hdu} cards]} { return [list $cards] }
            return [concat [list "FITS HDU $hdu"] [lmap c $cards { string trimright $c }] END]
        }
        tiff {
            set page [expr {[lindex $frame 0] eq "page" ? [lindex $frame 1] : 0}]
            set names {254 NewSubfileType 256 ImageWidth 257 ImageLength 258 BitsPerSample
                259 Compression 262 PhotometricInterpretation 270 ImageDescription 271 Make
                272 Model 273 StripOffsets 274 Orientation 277 SamplesPerPixel 278 RowsPerStrip
                279 StripByteCounts 282 XResolution 283 YResolution 284 PlanarConfiguration
                296 ResolutionUnit 305 Software 306 DateTime 315 Artist 317 Predictor
                322 TileWidth 323 TileLength 324 TileOffsets 325 TileByteCounts 339 SampleFormat}
            set r [list "TIFF page [expr {$page + 1}] of $win($nr,frames)"]
            if {[catch {tiff_tags $file $page} tags]} { return [list $tags] }
            foreach tag $tags {
                lassign $tag id type count value
                set name [expr {[dict exists $names $id] ? [dict get $names $id] : "tag $id"}]
                lappend r [format "%-26s %s" $name $value]
            }
            return $r
        }
    }
    return [list "[qv::tail $file]: a $win($nr,fkind) file has no header fields"]
}
