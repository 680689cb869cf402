# quenz-view's own layer over the viewer script: a pixel readout and the
# range on a status line, automatic contrast, colour maps and a log scale
# with a colour bar, integer zoom and pan, float images, keys, a measuring
# rectangle, a live view of a directory, and background errors shown
# instead of Tk's dialog. quenz-view evaluates it after the viewer script;
# the six procedures of that script run unchanged, and the layer follows
# them with execution traces. Every window they make gets the layer.
#
# Per window nr the layer adds: photo view<nr> (the part of the zoomed image
# the window shows, rendered by render_view), photo cbar<nr> (the colour
# bar), a bildfloat fbild<nr> for float images, and its state in
# qv::win(nr,*). zoomlow(nr) and zoomhigh(nr) remain the window's range.

namespace eval qv {
    variable maps {grey invgrey viridis heat}
    # Range of new content: auto (percentiles), minmax, full, or {LOW HIGH}.
    variable rangemode auto
    variable lowpct 0.5
    variable highpct 99.5
    variable win
    variable status
    variable msg
    variable watch
    array set watch {dir {} paused 0 cand {} size -1 since 0 shown {} dirtime {} listed 0}
    # Size a file must have stopped changing for before it is read (ms),
    # and how long to wait for a file whose size is not its format's.
    variable settle 300
    variable settle_odd 2000
    variable his_size 524388
}

# ------------------------------------------------------------ files

# What a file looks like, from its first bytes: his, pgm, gnuplot, or one
# of png tiff fits npy pgm-ascii text empty.
proc qv::sniff {file} {
    set f [open $file rb]
    set head [read $f 512]
    close $f
    if {$head eq ""} { return empty }
    set magic [lmap {kind bytes} {
        png "\x89PNG\r\n\x1a\n" tiff "II\x2a\x00" tiff "MM\x00\x2a" tiff "II\x2b\x00"
        fits "SIMPLE  =" npy "\x93NUMPY" pgm P5
    } {
        if {[string first $bytes $head] != 0} continue
        set kind
    }]
    if {[llength $magic]} { return [lindex $magic 0] }
    if {[regexp {^P2\s} $head]} { return pgm-ascii }
    # a gnuplot binary matrix starts with its column count, 512.0
    if {[string first "\x00\x00\x00\x44" $head] == 0
        || [string tolower [file extension $file]] in {.bin .gp}} { return gnuplot }
    if {![regexp {[\x00-\x08\x0e-\x1f\x7f]} $head]} { return text }
    return his
}

# The class and reader command for a kind of file, or an error naming what
# the file looks like. Readers of further formats are added here.
proc qv::reader {kind} {
    # Candidates in order: counts where the file holds counts, else floats.
    switch -- $kind {
        his { return {{bild16 bild16_read_his}} }
        pgm { return {{bild16 bild16_read_pgm}} }
        gnuplot { return {{bildfloat bildfloat_read_gnuplot}} }
        png { return {{bild16 bild16_read_png}} }
        tiff { return {{bild16 bild16_read_tiff} {bildfloat bildfloat_read_tiff}} }
        fits { return {{bild16 bild16_read_fits} {bildfloat bildfloat_read_fits}} }
        npy { return {{bild16 bild16_read_npy} {bildfloat bildfloat_read_npy}} }
    }
    set names {pgm-ascii "an ASCII PGM (P2) image" text "a text file" empty "an empty file"}
    error "looks like [dict get $names $kind], not an image file quenz reads"
}

# Reads file into window nr: its title becomes "nr: name". An error is
# reported on standard error and on the window's message line.
proc qv::openfile {file nr} {
    if {[catch {qv::readfile $file $nr} err]} {
        puts stderr "quenz-view: $file: $err"
        if {[winfo exists .t$nr]} { qv::say $nr "error: $file: $err" }
        return 0
    }
    return 1
}

proc qv::readfile {file nr} {
    variable win
    set candidates [qv::reader [qv::sniff $file]]
    foreach candidate $candidates {
        lassign $candidate class read
        set img [new_$class]
        try {
            if {[catch {$read $img $file} err]} {
                # The last candidate's error is the one to report.
                if {$candidate eq [lindex $candidates end]} { error $err }
                continue
            }
            if {$class eq "bildfloat"} { showfloat $img $nr } else { showbild $img $nr }
            break
        } finally {
            delete_$class $img
        }
    }
    set win($nr,file) $file
    qv::title $nr
    set size [file size $file]
    if {$read eq "bild16_read_his" && $size != $qv::his_size} {
        qv::say $nr "warning: [file tail $file] has $size bytes, a HIS file $qv::his_size"
    } else {
        qv::say $nr ""
    }
}

proc qv::title {nr} {
    variable win
    variable watch
    set name $win($nr,source)
    if {$win($nr,file) ne ""} { set name [file tail $win($nr,file)] }
    if {$nr eq "1" && $watch(dir) ne ""} {
        if {$win($nr,file) eq ""} { set name "waiting for files in $watch(dir)" }
        if {$watch(paused)} { append name " (paused)" }
    }
    wm title .t$nr "$nr: $name"
}

# ------------------------------------------------------ the windows

# Follows newwindow: lays the window out anew around its canvas.
proc qv::decorate {nr} {
    variable win
    set t .t$nr
    set c $t.c
    array set win [list $nr,kind 16 $nr,file {} $nr,source {} $nr,map grey $nr,log 0 \
                       $nr,zoom 1 $nr,fit 1 $nr,mode $qv::rangemode $nr,fresh 1 \
                       $nr,px {} $nr,drag {} $nr,pending 0]
    set n [string map {% %%} $nr]
    if {"view$nr" ni [image names]} { image create photo view$nr }
    if {"cbar$nr" ni [image names]} { image create photo cbar$nr }
    # No border: window and canvas pixels coincide, and the image item moves
    # with the view (canvas position = zoomed image position).
    $c configure -highlightthickness 0 -borderwidth 0 -background #303030 \
        -xscrollincrement 1 -yscrollincrement 1 -scrollregion {0 0 512 512} \
        -xscrollcommand [list qv::scrolled $n $t.xs] -yscrollcommand [list qv::scrolled $n $t.ys]
    $c itemconfigure XR -image view$nr
    $c coords XR 0 0
    foreach ev {<ButtonPress-1> <B1-Motion> <ButtonRelease-1>} { $c bind XR $ev {} }
    scrollbar $t.xs -orient horizontal -command [list $c xview]
    scrollbar $t.ys -orient vertical -command [list $c yview]
    canvas $t.cb -width 84 -height 512 -highlightthickness 0 -borderwidth 0
    $t.cb create image 4 18 -anchor nw -image cbar$nr -tag bar
    $t.cb create text 24 2 -anchor nw -tag high -font TkSmallCaptionFont
    $t.cb create text 24 510 -anchor sw -tag low -font TkSmallCaptionFont
    label $t.status -anchor w -font TkFixedFont -textvariable qv::status($nr)
    label $t.msg -anchor w -textvariable qv::msg($nr) -foreground #a01010
    set qv::msg($nr) ""
    pack forget $c
    grid $c -row 0 -column 0 -sticky nsew
    grid $t.ys -row 0 -column 1 -sticky ns
    grid $t.cb -row 0 -column 2 -sticky ns
    grid $t.xs -row 1 -column 0 -sticky ew
    grid $t.status -row 2 -column 0 -columnspan 3 -sticky ew
    grid $t.msg -row 3 -column 0 -columnspan 3 -sticky ew
    grid rowconfigure $t 0 -weight 1
    grid columnconfigure $t 0 -weight 1
    wm minsize $t 240 200

    bind $c <Motion> [list qv::pointer $n %x %y]
    bind $c <Leave> [list qv::pointer $n {} {}]
    bind $c <ButtonPress-1> [list qv::press $n contrast %x %y]
    bind $c <Shift-ButtonPress-1> [list qv::press $n measure %x %y]
    bind $c <B1-Motion> [list qv::drag $n %x %y]
    bind $c <ButtonRelease-1> [list qv::release $n %x %y]
    bind $c <ButtonPress-2> [list $c scan mark %x %y]
    bind $c <B2-Motion> [list $c scan dragto %x %y 1]
    bind $c <Button-4> [list qv::zoomby $n 1 %x %y]
    bind $c <Button-5> [list qv::zoomby $n -1 %x %y]
    bind $c <MouseWheel> [list qv::wheel $n %D %x %y]
    bind $c <Configure> [list qv::resized $n]
    bind $t.cb <Configure> [list qv::schedule $n]
    foreach {keys script} {
        {a} {qv::auto NR}
        {c} {qv::nextmap NR}
        {l} {qv::togglelog NR}
        {plus equal KP_Add} {qv::zoomby NR 1}
        {minus KP_Subtract} {qv::zoomby NR -1}
        {0 KP_0} {qv::fit NR}
        {p} {qv::pause}
        {s} {qv::save NR}
        {question} {qv::help}
        {q} {qv::quit}
    } {
        foreach k $keys { bind $t <Key-$k> [string map [list NR $n] $script] }
    }
    bind $t <Control-q> qv::quit
    bind $t <Control-w> [list qv::closewin $n]
    wm protocol $t WM_DELETE_WINDOW [list qv::closewin $n]
    bind $c <Destroy> [list qv::forget $n]
    qv::hook decorated $nr
}

# The window's image object: bild<nr>, or fbild<nr> for a float image.
proc qv::imgof {nr} {
    expr {$qv::win($nr,kind) eq "float" ? "fbild$nr" : "bild$nr"}
}

proc qv::forget {nr} {
    variable win
    after cancel [list qv::render $nr]
    qv::hook forget $nr
    if {[llength [info commands fbild$nr]]} { fbild$nr -delete }
    array unset win $nr,*
}

# New content in window nr (from showbild or showfloat; source names it).
proc qv::content {nr kind source} {
    variable win
    set win($nr,kind) $kind
    set win($nr,source) $source
    set win($nr,file) {}
    if {$win($nr,fresh) || $win($nr,mode) ne "manual"} { qv::range $nr }
    set win($nr,fresh) 0
    qv::title $nr
    qv::redraw $nr
}

# Sets zoomlow/zoomhigh of window nr by its range mode.
proc qv::range {nr} {
    variable win
    set img [qv::imgof $nr]
    set float [expr {$win($nr,kind) eq "float"}]
    set mode $win($nr,mode)
    if {$mode eq "manual"} { set mode auto }
    switch -- $mode {
        auto {
            if {[catch {percentiles $img $qv::lowpct $qv::highpct} r]} { set r {0 1} }
        }
        minmax { set r [getminmax $img 0 0 511 511] }
        full { set r [expr {$float ? {0 1} : {0 65535}}] }
        default { set r $mode }
    }
    lassign $r lo hi
    if {!$float} {
        set lo [expr {int(floor($lo))}]
        set hi [expr {int(ceil($hi))}]
        if {$hi <= $lo} { set hi [expr {$lo + 1}] }
    } elseif {$hi <= $lo} {
        set hi [expr {$lo + 1.0}]
    }
    set ::zoomlow($nr) $lo
    set ::zoomhigh($nr) $hi
}

# ------------------------------------------------------- rendering

proc qv::schedule {nr} {
    variable win
    if {![info exists win($nr,pending)] || $win($nr,pending)} return
    set win($nr,pending) 1
    after idle [list qv::render $nr]
}

# Renders the visible part of window nr: one render_view, one colour bar.
proc qv::render {nr} {
    variable win
    if {![winfo exists .t$nr.c] || ![info exists win($nr,kind)]} return
    set win($nr,pending) 0
    set c .t$nr.c
    lassign [qv::shown_range $nr] lo hi
    set w [winfo width $c]
    set h [winfo height $c]
    if {$w <= 1} { set w [winfo reqwidth $c]; set h [winfo reqheight $c] }
    set x0 [expr {int(round([$c canvasx 0]))}]
    set y0 [expr {int(round([$c canvasy 0]))}]
    render_view [qv::imgof $nr] view$nr $lo $hi $win($nr,map) $win($nr,log) \
        $win($nr,zoom) $x0 $y0 $w $h
    $c coords XR $x0 $y0
    set cb .t$nr.cb
    set bh [winfo height $cb]
    if {$bh <= 1} { set bh [winfo reqheight $cb] }
    set bh [expr {max($bh - 36, 2)}]
    render_colorbar cbar$nr $win($nr,map) $win($nr,log) 16 $bh
    $cb itemconfigure high -text [qv::num $nr $hi]
    $cb itemconfigure low -text [qv::num $nr $lo]
    $cb coords low 24 [expr {$bh + 36 - 2}]
    qv::status $nr
    qv::hook rendered $nr
}

# The range as rendered: zoomlow..zoomhigh, widened when they are equal
# (a uniform rectangle's range).
proc qv::shown_range {nr} {
    if {![info exists ::zoomlow($nr)]} { return {0 65535} }
    set lo $::zoomlow($nr)
    set hi $::zoomhigh($nr)
    if {$lo == $hi} { set hi [expr {$lo + 1}] }
    list $lo $hi
}

proc qv::num {nr v} {
    if {$qv::win($nr,kind) eq "float"} { return [format %.6g $v] }
    return $v
}

# ------------------------------------------------ pointer and readout

# Image column and row under window pixel (x, y), and whether it lies on
# the image: the canvas position over the zoom, rounded down.
proc qv::pixel {nr x y} {
    set c .t$nr.c
    set z $qv::win($nr,zoom)
    set col [expr {int(floor([$c canvasx $x] / $z))}]
    set row [expr {int(floor([$c canvasy $y] / $z))}]
    list $col $row [expr {$col >= 0 && $col < 512 && $row >= 0 && $row < 512}]
}

proc qv::clamp {v} { expr {$v < 0 ? 0 : $v > 511 ? 511 : $v} }

proc qv::pointer {nr x y} {
    set qv::win($nr,px) [expr {$x eq "" ? {} : [list $x $y]}]
    qv::status $nr
}

# The status line: the pixel under the pointer, then the range, map, zoom.
proc qv::status {nr} {
    variable win
    set text ""
    if {$win($nr,px) ne ""} {
        lassign [qv::pixel $nr {*}$win($nr,px)] col row on
        if {$on} {
            set v [[qv::imgof $nr] get $row $col]
            if {$win($nr,kind) eq "float" && $v ne "NaN"} { set v [format %.7g $v] }
            set text [format "x %3d  y %3d  value %-9s" $col $row $v]
        }
    }
    if {$text eq ""} { set text [format %-30s ""] }
    lassign [qv::shown_range $nr] lo hi
    append text "  range [qv::num $nr $lo] .. [qv::num $nr $hi]  $win($nr,map)"
    if {$win($nr,log)} { append text " log" }
    append text "  zoom $win($nr,zoom)x"
    set qv::status($nr) $text
    return
}

proc qv::say {nr text} {
    set qv::msg($nr) $text
    return
}

# ------------------------------------------------------- rectangles

# A left drag sets the range from the rectangle (the viewer script's
# zoomend does it for 16-bit images); with Shift it measures instead. The
# rectangle is drawn in canvas coordinates and its corners are clamped to
# the image, so a drag that leaves the window is a drag to the edge.
proc qv::press {nr what x y} {
    set c .t$nr.c
    set cx [$c canvasx $x]
    set cy [$c canvasy $y]
    set qv::win($nr,drag) [list $what [qv::pixel $nr $x $y]]
    if {$what eq "contrast"} {
        zoombegin $nr $cx $cy
    } else {
        $c delete measrect
        $c create rectangle $cx $cy $cx $cy -outline yellow -dash {4 4} -tag [list measrect qvmeas]
        set qv::win($nr,mstart) [list $cx $cy]
    }
}

proc qv::drag {nr x y} {
    set c .t$nr.c
    set cx [$c canvasx $x]
    set cy [$c canvasy $y]
    switch -- [lindex $qv::win($nr,drag) 0] {
        contrast { zoommove $nr $cx $cy }
        measure { $c coords measrect {*}$qv::win($nr,mstart) $cx $cy }
    }
    qv::pointer $nr $x $y
}

proc qv::release {nr x y} {
    variable win
    lassign $win($nr,drag) what start
    set win($nr,drag) {}
    if {$what eq ""} return
    lassign $start c1 r1
    lassign [qv::pixel $nr $x $y] c2 r2
    lassign [lmap v [list $c1 $r1 $c2 $r2] {qv::clamp $v}] x1 y1 x2 y2
    if {$what eq "measure"} {
        qv::measure $nr $x1 $y1 $x2 $y2
        return
    }
    if {$win($nr,kind) eq "float"} {
        .t$nr.c delete zoomrect
        lassign [getminmax fbild$nr $x1 $y1 $x2 $y2] lo hi
        foreach {v val} [list x1zoom $x1 y1zoom $y1 x2zoom $x2 y2zoom $y2 zoomlow $lo zoomhigh $hi zooming 0] {
            set ::${v}($nr) $val
        }
    } else {
        set ::xszoom $x1
        set ::yszoom $y1
        zoomend $nr $x2 $y2
    }
    set win($nr,mode) manual
    qv::render $nr
}

# n, min, max, mean and standard deviation of the rectangle on the
# message line.
proc qv::measure {nr x1 y1 x2 y2} {
    set s [imgstats [qv::imgof $nr] $x1 $y1 $x2 $y2]
    set text [format "x %d..%d y %d..%d:  n %d" {*}[lsort -integer [list $x1 $x2]] \
                  {*}[lsort -integer [list $y1 $y2]] [dict get $s n]]
    foreach k {min max mean std} {
        set v [dict get $s $k]
        append text "  $k " [expr {[string is double -strict $v] && $v eq $v ? [format %.6g $v] : $v}]
    }
    qv::say $nr $text
    qv::hook measured $nr $x1 $y1 $x2 $y2
}

# ----------------------------------------------------- zoom and pan

proc qv::scrolled {nr bar args} {
    if {![winfo exists $bar]} return
    $bar set {*}$args
    qv::schedule $nr
}

# Zooms window nr to z (1..16) keeping the image point under window pixel
# (x, y) in place (the window's centre when not given). The window then
# keeps that zoom when it is resized.
proc qv::setzoom {nr z {x {}} {y {}}} {
    variable win
    set win($nr,fit) 0
    set c .t$nr.c
    set z [expr {max(1, min(16, int($z)))}]
    if {$x eq ""} {
        lassign [winfo pointerxy .t$nr] px py
        set x [expr {$px - [winfo rootx $c]}]
        set y [expr {$py - [winfo rooty $c]}]
        if {$x < 0 || $y < 0 || $x >= [winfo width $c] || $y >= [winfo height $c]} {
            set x [expr {[winfo width $c] / 2}]
            set y [expr {[winfo height $c] / 2}]
        }
    }
    set old $win($nr,zoom)
    set ux [expr {[$c canvasx $x] / double($old)}]
    set uy [expr {[$c canvasy $y] / double($old)}]
    set win($nr,zoom) $z
    set side [expr {512 * $z}]
    # a measured rectangle's outline belongs to the old zoom
    $c delete measrect
    $c configure -scrollregion [list 0 0 $side $side]
    $c xview moveto [expr {($ux * $z - $x) / $side}]
    $c yview moveto [expr {($uy * $z - $y) / $side}]
    qv::hook zoomed $nr
    qv::render $nr
}

proc qv::zoomby {nr step {x {}} {y {}}} {
    qv::setzoom $nr [expr {$qv::win($nr,zoom) + $step}] $x $y
}

proc qv::wheel {nr delta x y} {
    qv::zoomby $nr [expr {$delta > 0 ? 1 : -1}] $x $y
}

# The largest integer zoom at which the whole image fits the window.
proc qv::fitzoom {nr} {
    set c .t$nr.c
    set side [expr {min([winfo width $c], [winfo height $c])}]
    expr {max(1, min(16, $side / 512))}
}

proc qv::fit {nr} {
    qv::setzoom $nr [qv::fitzoom $nr] 0 0
    set qv::win($nr,fit) 1
    .t$nr.c xview moveto 0
    .t$nr.c yview moveto 0
    qv::render $nr
}

proc qv::resized {nr} {
    if {![info exists qv::win($nr,fit)]} return
    if {$qv::win($nr,fit) && [qv::fitzoom $nr] != $qv::win($nr,zoom)} {
        qv::fit $nr
    } else {
        qv::schedule $nr
    }
}

# ------------------------------------------------------------ keys

proc qv::auto {nr} {
    set qv::win($nr,mode) auto
    qv::range $nr
    qv::redraw $nr
}

# Re-renders after a range change; 16-bit windows through show, which also
# keeps display<nr> rendered with the range.
proc qv::redraw {nr} {
    if {$qv::win($nr,kind) eq "float"} { qv::render $nr } else { show $nr }
}

proc qv::nextmap {nr} {
    set maps $qv::maps
    set i [lsearch $maps $qv::win($nr,map)]
    set qv::win($nr,map) [lindex $maps [expr {($i + 1) % [llength $maps]}]]
    qv::render $nr
}

proc qv::togglelog {nr} {
    set qv::win($nr,log) [expr {!$qv::win($nr,log)}]
    qv::render $nr
}

# Writes what window nr shows as a PNG file beside its file (or in the
# current directory), under a name not yet taken.
proc qv::save {nr} {
    set file $qv::win($nr,file)
    set root [expr {$file ne "" ? [file rootname $file] : [file join [pwd] window$nr]}]
    set name $root-view.png
    for {set i 2} {[file exists $name]} {incr i} { set name $root-view-$i.png }
    set tmp $name.[pid].tmp
    try {
        view$nr write $tmp -format png
        file rename $tmp $name
    } on error err {
        file delete $tmp
        qv::say $nr "error: cannot write $name: $err"
        return
    }
    qv::say $nr "saved $name"
}

proc qv::help {} {
    if {[winfo exists .qvhelp]} { raise .qvhelp; return }
    toplevel .qvhelp
    wm title .qvhelp "quenz-view keys"
    label .qvhelp.l -justify left -font TkFixedFont -text [join {
        "left drag       range from the rectangle's minimum and maximum"
        "Shift-drag      n, min, max, mean, std of the rectangle"
        "a               automatic range (0.5 and 99.5 percentiles)"
        "c               next colour map: grey, invgrey, viridis, heat"
        "l               log scale on/off"
        "+ / - / wheel   zoom in / out around the pointer (1x to 16x)"
        "0               fit the window"
        "middle drag     pan (or the scrollbars)"
        "s               save the view as PNG beside the file"
        "Ctrl-left drag  line profile (in its window: e exports it as text)"
        "H               histogram (of the last measured rectangle), drag its red lines"
        "t               the table of every measurement"
        "p               pause / resume the live view (--watch)"
        "Ctrl-W          close the window"
        "q, Ctrl-Q       quit"
        "?               this help"
    } \n]
    button .qvhelp.b -text Close -command {destroy .qvhelp}
    pack .qvhelp.l -padx 8 -pady 8
    pack .qvhelp.b -pady 4
    bind .qvhelp <Key> {destroy .qvhelp}
}

proc qv::windows {} {
    lmap w [lsort -dictionary [winfo children .]] {
        if {![string match .t* $w] || ![info exists qv::win([string range $w 2 end],kind)]} continue
        string range $w 2 end
    }
}

# Closing a window by key or by the window manager; the last one quits.
proc qv::closewin {nr} {
    destroy .t$nr
    if {![llength [qv::windows]]} { qv::quit }
}

proc qv::quit {} {
    flush stdout
    exit 0
}

# Background errors: on every window's message line and on standard error.
proc qv::bgerror {msg opts} {
    foreach nr [qv::windows] { qv::say $nr "error: $msg" }
    puts stderr "quenz-view: error: $msg"
}
interp bgerror {} qv::bgerror

# ------------------------------------------------------- live view

# Shows the newest HIS or PGM file of dir in window 1 and follows new ones.
proc qv::watch {dir} {
    variable watch
    set watch(dir) $dir
    showbild 0 1
    qv::title 1
    if {![file isdirectory $dir]} {
        qv::say 1 "error: $dir is not a directory (yet); watching for it"
        puts stderr "quenz-view: $dir is not a directory"
    }
    after 0 qv::poll
}

proc qv::pause {} {
    variable watch
    if {$watch(dir) eq ""} return
    set watch(paused) [expr {!$watch(paused)}]
    if {[winfo exists .t1]} { qv::title 1 }
}

# A file is read once its size has not changed for settle ms (settle_odd
# when the size is not its format's), so a file still being written is
# never shown as a whole one.
proc qv::poll {} {
    variable watch
    after 100 qv::poll
    if {$watch(paused) || ![winfo exists .t1]} return
    set now [clock milliseconds]
    # The directory is listed when it changed and every second; in between
    # only the newest file is looked at again.
    if {[catch {file mtime $watch(dir)} dirtime]} return
    if {$watch(cand) eq "" || $dirtime != $watch(dirtime) || $now - $watch(listed) >= 1000} {
        set watch(dirtime) $dirtime
        set watch(listed) $now
        set newest [qv::newest $watch(dir)]
    } else {
        set newest $watch(cand)
    }
    if {$newest eq "" || [catch {file size $newest} size] || [catch {file mtime $newest} mtime]} return
    if {$newest ne $watch(cand) || $size != $watch(size)} {
        set watch(cand) $newest
        set watch(size) $size
        set watch(since) $now
        return
    }
    set id [list $newest $size $mtime]
    if {$id eq $watch(shown)} return
    set wait [expr {[qv::whole $newest $size] ? $qv::settle : $qv::settle_odd}]
    if {$now - $watch(since) < $wait} return
    set watch(shown) $id
    qv::openfile $newest 1
}

# The newest HIS or PGM file of dir: the latest modification time, then
# the last name.
proc qv::newest {dir} {
    set newest {}
    set best {}
    foreach f [glob -nocomplain -types f -directory $dir *] {
        if {[string tolower [file extension $f]] ni {.his .pgm}} continue
        if {[catch {file mtime $f} t]} continue
        set key [list $t [file tail $f]]
        if {$best eq "" || [lsort -dictionary [list $best $key]] eq [list $best $key]} {
            set best $key
            set newest $f
        }
    }
    return $newest
}

# Whether a file has its format's size.
proc qv::whole {file size} {
    if {[string tolower [file extension $file]] eq ".his"} { return [expr {$size == $qv::his_size}] }
    expr {$size == 17 + 524288 || $size == 15 + 262144}
}

# ------------------------------------------------ the viewer's procedures

# showfloat img nr: a bildfloat in window nr with the same window, readout
# and range machinery (the range in float units).
proc showfloat {img nr} {
    global zoomlow zoomhigh x1zoom y1zoom x2zoom y2zoom zooming
    if {![winfo exists .t$nr]} {
        newwindow $nr
        set zoomlow($nr) 0.0
        set zoomhigh($nr) 1.0
        set x1zoom($nr) 0
        set y1zoom($nr) 0
        set x2zoom($nr) 511
        set y2zoom($nr) 511
        set zooming($nr) 0
    }
    if {![llength [info commands fbild$nr]]} { bildfloat fbild$nr }
    fbild$nr = $img
    qv::content $nr float $img
}

# Follow the viewer script's procedures: new windows get the layer, new
# content its range, every show a render.
trace add execution newwindow leave [list apply {{cmd code res op} {
    if {$code == 0} { qv::decorate [lindex $cmd 1] }
}}]
trace add execution showbild leave [list apply {{cmd code res op} {
    if {$code == 0} { qv::content [lindex $cmd 2] 16 [lindex $cmd 1] }
}}]
trace add execution show leave [list apply {{cmd code res op} {
    set nr [lindex $cmd 1]
    if {$code == 0 && [info exists qv::win($nr,kind)]} { qv::render $nr }
}}]
