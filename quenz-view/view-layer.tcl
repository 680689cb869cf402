# quenz-view's own layer over the viewer script: a pixel readout and the
# range on a status line, automatic contrast, colour maps and a log scale
# with a colour bar, integer zoom and pan, float images, keys, a measuring
# rectangle, frames of multi-page files, comparing windows (blink, lock,
# difference), a live view of a directory, and background errors shown
# instead of Tk's dialog. quenz-view evaluates it after the viewer script.
#
# The layer takes over the viewer script's window procedures: newwindow,
# showbild, show (and adds showfloat) become entry points of the layer, so
# that a window is built once, with the layer, and rendered once per
# change. The viewer script's own procedures stay as they are for --plain
# and for host programs.
#
# ---------------------------------------------------------------------
# What a window holds (the interface other parts of the layer build on)
#
#   .t<nr>            the top-level window; .t<nr>.c its canvas, .t<nr>.cb the
#                     colour bar, .t<nr>.status and .t<nr>.msg the two lines
#   [qv::imgof nr]    the image object shown: [bildname nr] (bild<nr>, a
#                     bild16) or fbild<nr> (a bildfloat); qv::win(nr,kind)
#                     is 16 or float
#   view<nr>          the photo on the canvas (image item tagged XR): the
#                     visible part of the zoomed image, at canvas position
#                     [.t<nr>.c canvasx 0], [.t<nr>.c canvasy 0]
#   zoom and pan      qv::win(nr,zoom) (1..16, or 1/2, 1/3, 1/4 as the
#                     numbers 0.5 ... when shrunk to fit a small window);
#                     canvas coordinates are image coordinates times the zoom
#                     (pixel col,row covers canvas col*z .. (col+1)*z; shrunk,
#                     canvas pixel x shows column x/z); [qv::side z] is the
#                     zoomed image's side; the pan is the canvas's xview/yview
#   range and map     ::zoomlow(nr) ::zoomhigh(nr), qv::win(nr,map),
#                     qv::win(nr,log); qv::setrange nr lo hi sets it by hand
#   source            qv::win(nr,file), qv::win(nr,frame) (from 0),
#                     qv::win(nr,frames) (their count)
#   redraw            qv::render nr (now) or qv::schedule nr (when idle);
#                     either renders only when something changed
#   being told        qv::listen event script: script is called with nr
#                     appended on each event of any window:
#                       window   a window was made (the layer's parts exist)
#                       content  new pixels (a file, a frame, showbild ...)
#                       view     after a render: zoom, pan, size, range, map
#                       measure  a rectangle was measured: qv::win(nr,rect)
#                                holds its corners x1 y1 x2 y2
#                       close    the window is about to go
#   keys              qv::bindkey keysyms script ?label description?: every
#                     window (and every later one) runs script with NR
#                     replaced by its number; with a label, the help lists it
#   parts             qv::part name {fields {...} fresh {...} keys {...}
#                     mouse {...} overlays {...}}: what a part adds to every
#                     window, declared in one place (see qv::part)
#   hooks             qv::hook what order script: parts add to the title
#                     (title), the readout (status), say which window's
#                     image is shown (shown) and where the pointer is when
#                     it is in another window (at); see qv::filter
#   helpers           qv::pixel nr x y (image col row on-image of a canvas
#                     window point), qv::say nr text (the message line),
#                     qv::windows (the layer's window numbers)
# ---------------------------------------------------------------------

namespace eval qv {
    variable maps {grey invgrey viridis heat}
    # Range of new content: auto (percentiles), minmax, full, or {LOW HIGH}.
    variable rangemode auto
    variable lowpct 0.5
    variable highpct 99.5
    variable win
    variable status
    variable msg
    variable listeners {}
    variable keys {}
    # The parts' declarations (qv::part), in order, and their hooks.
    variable parts {}
    variable hooks {}
    # A press and release closer than this (screen pixels) is a click.
    variable click 4
}

# ------------------------------------------------------------ hooks

proc qv::listen {event script} {
    lappend qv::listeners $event $script
    return
}

proc qv::notify {event nr} {
    foreach {e script} $qv::listeners {
        if {$e eq $event} { uplevel #0 [linsert $script end $nr] }
    }
}

proc qv::bindkey {keys script {label {}} {description {}}} {
    lappend qv::keys $keys $script
    if {$label ne ""} { lappend qv::helplines $label $description }
    foreach nr [qv::windows] { qv::bindkeys $nr [list $keys $script] }
    return
}
set qv::helplines {}

# A part of the layer declares, in one place, what it adds to every window:
#   fields    {field default "what it holds" ...}: qv::win(nr,field) of
#             each new window
#   fresh     {field value ...}: what those fields become when a window
#             gets new content (before it is drawn)
#   keys      {keysyms script label "what it does" ...}: bound in every
#             window (NR replaced by its number) and listed by the help
#             and the manual page's key table under label
#   mouse     {label "what it does" ...}: pointer gestures, for the help
#   overlays  {tag ...}: canvas items drawn over the picture, which a
#             snapshot draws in too
proc qv::part {name decl} {
    variable parts
    foreach k [dict keys $decl] {
        if {$k ni {fields fresh keys mouse overlays}} { error "part $name: unknown entry \"$k\"" }
    }
    if {[dict exists $decl fields] && [llength [dict get $decl fields]] % 3} {
        error "part $name: fields are triples: field default description"
    }
    if {[dict exists $decl keys] && [llength [dict get $decl keys]] % 4} {
        error "part $name: keys are quadruples: keysyms script label description"
    }
    dict set parts $name $decl
    # (a part declared after windows were made binds its keys in them too)
    if {[dict exists $decl keys] && [llength [info commands qv::windows]]} {
        foreach {keys script label description} [dict get $decl keys] {
            foreach nr [qv::windows] { qv::bindkeys $nr [list $keys $script] }
        }
    }
    return
}

# What every part declares under entry, in the parts' order.
proc qv::declared {entry} {
    set r {}
    dict for {name decl} $qv::parts {
        if {[dict exists $decl $entry]} { lappend r {*}[dict get $decl $entry] }
    }
    return $r
}

# The key table: {label description ...}, mouse gestures first, then the
# keys, then keys added by scripts (qv::bindkey with a label).
proc qv::keytable {} {
    set r [qv::declared mouse]
    foreach {keys script label description} [qv::declared keys] {
        if {$label ne ""} { lappend r $label $description }
    }
    concat $r $qv::helplines
}

# Hooks: qv::filter what value args passes value through every hook of
# that kind, in their order: each is called with the value and args
# appended and returns the new value.
proc qv::hook {what order script} {
    variable hooks
    lappend hooks [list $order $what $script]
    set hooks [lsort -integer -index 0 $hooks]
    return
}
proc qv::filter {what value args} {
    foreach h $qv::hooks {
        lassign $h order w script
        if {$w eq $what} { set value [uplevel #0 [list {*}$script $value {*}$args]] }
    }
    return $value
}

proc qv::bindkeys {nr table} {
    set n [string map {% %%} $nr]
    foreach {keys script} $table {
        foreach k $keys { bind .t$nr <Key-$k> [string map [list NR $n] $script] }
    }
}

# ------------------------------------------------------ the windows

# What the base adds to every window: the fields the interface above
# names, the range and view keys, the rectangle gestures.
qv::part base {
    fields {
        kind    16    "16 or float: the image object is [bildname nr] or fbild<nr>"
        source  {}    "what the content is, when it is not a file"
        file    {}    "the file shown, {} for other content"
        map     grey  "the colour map"
        log     0     "log scale"
        zoom    1     "1..16, or 1/2, 1/3, 1/4 as 0.5 ..."
        fit     1     "the zoom follows the window's size"
        mode    auto  "the range: auto, minmax, full, {LOW HIGH} or manual"
        fresh   1     "no content yet: the first sets the range whatever the mode"
        warn    {}    "a warning about the range, for the message line"
        px      {}    "the pointer's position in the window, {} outside"
        drag    {}    "the left-button drag under way"
        mstart  {}    "where that drag began, in canvas coordinates"
        rect    {}    "the last measured rectangle: x1 y1 x2 y2"
        pending 0     "a render is scheduled"
        serial  0     "counts changes of content (part of a render's key)"
        drawn   {}    "what the last render drew"
        bar     {}    "the colour bar as last drawn"
    }
    fresh {file {}}
    mouse {
        "left drag"   "range from the rectangle's minimum and maximum"
        "Shift-drag"  "n, min, max, mean, std of the rectangle"
        "middle drag" "pan (or the scrollbars)"
    }
    keys {
        {a} {qv::auto NR} a "automatic range (0.5 and 99.5 percentiles)"
        {c} {qv::nextmap NR} c "next colour map: grey, invgrey, viridis, heat"
        {l} {qv::togglelog NR} l "log scale on/off"
        {plus equal KP_Add} {qv::zoomby NR 1} "+ / - / wheel" "zoom in / out around the pointer (1/4x to 16x)"
        {minus KP_Subtract} {qv::zoomby NR -1} {} {}
        {0 KP_0} {qv::fit NR} 0 "fit the window"
        {s} {qv::save NR} s "save the view as PNG beside the file"
        {} {} Ctrl-W "close the window (closing the last one quits)"
        {q} {qv::quit} "q, Ctrl-Q" quit
        {question} {qv::help} ? "a window listing these keys"
    }
}

# The title: what the window shows, then what the parts add (hook title).
proc qv::title {nr} {
    wm title .t$nr "$nr: [qv::filter title $qv::win($nr,source) $nr]"
}

# The places of new windows: side by side across the screen, then
# cascaded over those.
proc qv::place {t {i {}}} {
    if {$i eq ""} { set i [expr {[llength [qv::windows]] - 1}] }
    set w 620
    set h 600
    set sw [winfo screenwidth .]
    set sh [winfo screenheight .]
    set cols [expr {max(1, $sw / $w)}]
    set rows [expr {max(1, $sh / $h)}]
    set k [expr {$i % ($cols * $rows)}]
    set shift [expr {30 * ($i / ($cols * $rows))}]
    wm geometry $t +[expr {($k % $cols) * $w + $shift}]+[expr {($k / $cols) * $h + $shift}]
}

# The window nr with the layer's parts: canvas and photo view<nr>, colour
# bar, status and message lines, its keys; the image object for 16-bit
# content is made by the caller.
proc qv::newwindow {nr} {
    variable win
    set t .t$nr
    set c $t.c
    # (a field set before the window was made, by the read that made it, stays)
    foreach {field value description} [qv::declared fields] {
        if {![info exists win($nr,$field)]} { set win($nr,$field) $value }
    }
    set win($nr,mode) $qv::rangemode
    set n [string map {% %%} $nr]
    toplevel $t
    qv::place $t
    wm title $t $nr
    if {"view$nr" ni [image names]} { image create photo view$nr }
    if {"cbar$nr" ni [image names]} { image create photo cbar$nr }
    # No border: window and canvas pixels coincide, and the image item moves
    # with the view (canvas position = zoomed image position).
    canvas $c -width 512 -height 512 -highlightthickness 0 -borderwidth 0 -background #303030 \
        -xscrollincrement 1 -yscrollincrement 1 -scrollregion {0 0 512 512} \
        -xscrollcommand [list qv::scrolled $n $t.xs] -yscrollcommand [list qv::scrolled $n $t.ys]
    $c create image 0 0 -anchor nw -image view$nr -tag XR
    scrollbar $t.xs -orient horizontal -command [list $c xview]
    scrollbar $t.ys -orient vertical -command [list $c yview]
    canvas $t.cb -width 84 -height 512 -highlightthickness 0 -borderwidth 0
    $t.cb create image 4 18 -anchor nw -image cbar$nr -tag bar
    $t.cb create text 24 2 -anchor nw -tag high -font TkSmallCaptionFont
    $t.cb create text 24 510 -anchor sw -tag low -font TkSmallCaptionFont
    # A window is as wide as its picture: the status line (every window's
    # value when locked) is cut at its width, and messages wrap there.
    # Neither asks for more room (-width 1).
    label $t.status -anchor w -font TkFixedFont -textvariable qv::status($nr) -width 1
    label $t.msg -anchor w -justify left -textvariable qv::msg($nr) -foreground #a01010 -width 1
    set qv::msg($nr) ""
    set qv::status($nr) ""
    grid $c -row 0 -column 0 -sticky nsew
    grid $t.ys -row 0 -column 1 -sticky ns
    grid $t.cb -row 0 -column 2 -sticky ns
    grid $t.xs -row 1 -column 0 -sticky ew
    grid $t.status -row 2 -column 0 -columnspan 3 -sticky ew
    grid $t.msg -row 3 -column 0 -columnspan 3 -sticky ew
    grid rowconfigure $t 0 -weight 1
    grid columnconfigure $t 0 -weight 1
    wm minsize $t 240 200
    bind $t.msg <Configure> {%W configure -wraplength [expr {max(100, %w - 8)}]}

    bind $c <Motion> [list qv::pointer $n %x %y]
    bind $c <Leave> [list qv::pointer $n {} {}]
    bind $c <ButtonPress-1> [list qv::press $n contrast %x %y]
    bind $c <Shift-ButtonPress-1> [list qv::press $n measure %x %y]
    bind $c <B1-Motion> [list qv::drag $n %x %y]
    bind $c <ButtonRelease-1> [list qv::release $n %x %y]
    bind $c <ButtonPress-2> [list $c scan mark %x %y]
    bind $c <B2-Motion> [list qv::pan $n %x %y]
    bind $c <Button-4> [list qv::zoomby $n 1 %x %y]
    bind $c <Button-5> [list qv::zoomby $n -1 %x %y]
    bind $c <MouseWheel> [list qv::wheel $n %D %x %y]
    bind $c <Configure> [list qv::resized $n]
    bind $t.cb <Configure> [list qv::schedule $n]
    qv::bindkeys $nr [concat {*}[lmap {keys script label description} [qv::declared keys] { list $keys $script }]]
    qv::bindkeys $nr $qv::keys
    bind $t <Control-q> qv::quit
    bind $t <Control-w> [list qv::closewin $n]
    wm protocol $t WM_DELETE_WINDOW [list qv::closewin $n]
    bind $c <Destroy> [list qv::forget $n]
    # the viewer script's state of a window: its range and rectangle
    foreach {v val} {zoomlow 0 zoomhigh 65535 x1zoom 0 y1zoom 0 x2zoom 511 y2zoom 511 zooming 0} {
        set ::${v}($nr) $val
    }
    qv::notify window $nr
}

# The window's image object: [bildname nr], or fbild<nr> for a float image.
proc qv::imgof {nr} {
    expr {$qv::win($nr,kind) eq "float" ? "fbild$nr" : [bildname $nr]}
}

proc qv::forget {nr} {
    variable win
    catch {qv::notify close $nr}
    after cancel [list qv::render $nr]
    foreach obj [list fbild$nr [bildname $nr]] {
        if {[llength [info commands $obj]]} { $obj -delete }
    }
    foreach p [list view$nr cbar$nr display$nr] {
        if {$p in [image names]} { image delete $p }
    }
    array unset win $nr,*
    destroy .qvh$nr
}

# New content for window nr: img is a bild16 (kind 16) or a bildfloat
# (kind float); source names it. The image is checked before anything is
# made: a window is made only for content it can show.
proc qv::showimage {kind img nr {source {}}} {
    variable win
    if {$source eq ""} { set source $img }
    set obj [expr {$kind eq "float" ? "fbild$nr" : [bildname $nr]}]
    set class [expr {$kind eq "float" ? "bildfloat" : "bild16"}]
    set made {}
    if {![llength [info commands $obj]]} {
        $class $obj
        set made $obj
    }
    if {[catch {$obj = $img} err opts]} {
        if {$made ne ""} { $made -delete }
        return -options $opts $err
    }
    if {![winfo exists .t$nr]} {
        try {
            qv::newwindow $nr
        } on error {err opts} {
            if {$made ne ""} { $made -delete }
            destroy .t$nr
            return -options $opts $err
        }
        if {$kind eq "float"} { bild16 [bildname $nr] }
    }
    set win($nr,kind) $kind
    set win($nr,source) $source
    foreach {field value} [qv::declared fresh] { set win($nr,$field) $value }
    incr win($nr,serial)
    if {$win($nr,fresh) || $win($nr,mode) ne "manual"} { qv::range $nr }
    set win($nr,fresh) 0
    qv::title $nr
    qv::render $nr
    qv::notify content $nr
    return
}

# Sets zoomlow/zoomhigh of window nr by its range mode.
proc qv::range {nr} {
    variable win
    set win($nr,warn) {}
    set img [qv::imgof $nr]
    set float [expr {$win($nr,kind) eq "float"}]
    set mode $win($nr,mode)
    if {$mode eq "manual"} { set mode auto }
    if {[llength $mode] == 2 && !$float} {
        # Counts are whole numbers from 0 to 65535: a range between two of
        # them, or beyond them, would show nothing the user meant.
        lassign $mode lo hi
        if {$lo != floor($lo) || $hi != floor($hi) || $lo < 0 || $hi > 65535} {
            set why "range $lo,$hi does not fit a 16-bit image (whole counts 0..65535); using the automatic range"
            puts stderr "quenz-view: window $nr: $why"
            set win($nr,warn) "error: $why"
            qv::say $nr $win($nr,warn)
            set mode auto
        }
    }
    switch -- $mode {
        auto {
            if {[catch {percentiles $img $qv::lowpct $qv::highpct} r]} { set r {0 1} }
        }
        minmax { set r [getminmax $img 0 0 511 511] }
        full { set r [expr {$float ? {0 1} : {0 65535}}] }
        default { set r $mode }
    }
    lassign $r lo hi
    if {$hi <= $lo && [qv::constant $img]} {
        # A constant image has no range of its own: it is shown as
        # write_png maps it, counts by their high byte (the levels of
        # 0..65280) and floats as 0..1.
        set r [expr {$float ? {0.0 1.0} : {0 65280}}]
        lassign $r lo hi
    }
    if {!$float} {
        set lo [expr {int(floor($lo))}]
        set hi [expr {int(ceil($hi))}]
        if {$hi <= $lo} { set hi [expr {$lo + 1}] }
    } elseif {$hi <= $lo} {
        set hi [qv::above $lo 1.0]
    }
    set ::zoomlow($nr) $lo
    set ::zoomhigh($nr) $hi
}

# Sets window nr's range by hand and shows it.
proc qv::setrange {nr lo hi} {
    set ::zoomlow($nr) $lo
    set ::zoomhigh($nr) $hi
    set qv::win($nr,mode) manual
    qv::render $nr
}

# ------------------------------------------------------- rendering

proc qv::schedule {nr} {
    variable win
    if {![info exists win($nr,pending)] || $win($nr,pending)} return
    set win($nr,pending) 1
    after idle [list qv::render $nr]
}

# Renders the visible part of window nr: one render_view and, when map or
# height changed, one colour bar; nothing when nothing changed since the
# last render. Then the readout follows the view under a still pointer.
proc qv::render {nr} {
    variable win
    if {![winfo exists .t$nr.c] || ![info exists win($nr,kind)]} return
    set win($nr,pending) 0
    set c .t$nr.c
    lassign [qv::shownimage $nr] img m
    lassign [qv::shown_range $m] lo hi
    set w [winfo width $c]
    set h [winfo height $c]
    if {$w <= 1} { set w [winfo reqwidth $c]; set h [winfo reqheight $c] }
    set x0 [expr {int(round([$c canvasx 0]))}]
    set y0 [expr {int(round([$c canvasy 0]))}]
    set z $win($nr,zoom)
    set key [list $img $win($m,serial) $lo $hi $win($m,map) $win($m,log) $z $x0 $y0 $w $h]
    set changed [expr {$key ne $win($nr,drawn)}]
    if {$changed} {
        set win($nr,drawn) $key
        if {$z < 1} {
            render_shrunk $img view$nr $lo $hi $win($m,map) $win($m,log) [qv::shrink $z] $x0 $y0 $w $h
        } else {
            render_view $img view$nr $lo $hi $win($m,map) $win($m,log) $z $x0 $y0 $w $h
        }
        $c coords XR $x0 $y0
    }
    set cb .t$nr.cb
    set bh [winfo height $cb]
    if {$bh <= 1} { set bh [winfo reqheight $cb] }
    set bh [expr {max($bh - 36, 2)}]
    if {[list $win($m,map) $win($m,log) $bh] ne $win($nr,bar)} {
        set win($nr,bar) [list $win($m,map) $win($m,log) $bh]
        render_colorbar cbar$nr $win($m,map) $win($m,log) 16 $bh
    }
    $cb itemconfigure high -text [qv::num $m $hi]
    $cb itemconfigure low -text [qv::num $m $lo]
    $cb coords low 24 [expr {$bh + 36 - 2}]
    qv::follow $nr
    qv::notify view $nr
    if {$changed} { qv::notify drawn $nr }
}

# The image window nr shows and the window whose range and map it has:
# its own, or another's a part says (hook shown: blinking).
proc qv::shownimage {nr} {
    set m [qv::filter shown $nr $nr]
    if {![info exists qv::win($m,kind)]} { set m $nr }
    list [qv::imgof $m] $m
}

# The range as rendered: zoomlow..zoomhigh, widened when they are equal
# (a uniform rectangle's range).
proc qv::shown_range {nr} {
    if {![info exists ::zoomlow($nr)]} { return {0 65535} }
    set lo $::zoomlow($nr)
    set hi $::zoomhigh($nr)
    if {$lo == $hi} { set hi [qv::above $lo] }
    list $lo $hi
}

# lo + one, or for a value so large that adding one changes nothing
# (1e20) the next single-precision step above it.
proc qv::above {lo {one 1}} {
    set hi [expr {$lo + $one}]
    if {$hi == $lo} { set hi [expr {$lo + abs($lo) * 2.0**-23}] }
    return $hi
}

# Whether every pixel of img has the same value (one pass; an image that
# begins with NaN counts as not constant).
proc qv::constant {img} {
    if {[catch {expr {[lindex [set r [getminmax $img 0 0 511 511]] 0] == [lindex $r 1]}} same]} {
        return 0
    }
    return $same
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
    qv::notify pointer $nr
}

# After the view moved under a still pointer (pan, zoom, resize, new
# content): the pointer's place from the display, then the readout.
proc qv::follow {nr} {
    set c .t$nr.c
    lassign [winfo pointerxy $c] px py
    if {$px >= 0 && [winfo ismapped $c] && [winfo containing $px $py] eq $c} {
        set qv::win($nr,px) [list [expr {$px - [winfo rootx $c]}] [expr {$py - [winfo rooty $c]}]]
    }
    qv::status $nr
}

# The value of window nr's image at (col, row), as the readout shows it.
proc qv::value {nr col row} {
    variable win
    lassign [qv::shownimage $nr] img m
    # (hook value: a part that knows better, e.g. a difference in counts)
    set v [qv::filter value {} $m $col $row]
    if {$v ne ""} { return $v }
    set v [$img get $row $col]
    if {$win($m,kind) eq "float" && $v ne "NaN"} { set v [format %.7g $v] }
    return $v
}

# The status line: the pixel under the pointer, then what the parts add
# (hook status), then the range, map, zoom. A pointer in another window
# may give the pixel too (hook at: the windows are locked).
proc qv::status {nr} {
    variable win
    if {![info exists win($nr,px)]} return
    set text ""
    set at {}
    if {$win($nr,px) ne ""} {
        lassign [qv::pixel $nr {*}$win($nr,px)] col row on
        if {$on} { set at [list $col $row] }
    } else {
        set at [qv::filter at {} $nr]
    }
    lassign [qv::shownimage $nr] img m
    if {$at ne ""} {
        lassign $at col row
        set text [format "x %3d  y %3d  value %-9s" $col $row [qv::value $nr $col $row]]
        set text [qv::filter status $text $nr $m $col $row]
    }
    if {$text eq ""} { set text [format %-30s ""] }
    lassign [qv::shown_range $m] lo hi
    append text "  range [qv::num $m $lo] .. [qv::num $m $hi]  $win($m,map)"
    if {$win($m,log)} { append text " log" }
    append text "  zoom [qv::zoomtext $win($nr,zoom)]"
    set qv::status($nr) $text
    return
}

# Errors and warnings in dark red, other news ("saved ...") in dark green.
proc qv::say {nr text} {
    set qv::msg($nr) $text
    if {[winfo exists .t$nr.msg]} {
        .t$nr.msg configure -foreground [expr {[regexp {^(error|warning)} $text] ? "#a01010" : "#106010"}]
    }
    return
}

# ------------------------------------------------------- rectangles

# A left drag sets the range from the rectangle's minimum and maximum;
# with Shift it measures instead. A press and release a few screen pixels
# apart is a click, not a rectangle. The rectangle is drawn in canvas
# coordinates and its corners are clamped to the image, so a drag that
# leaves the window is a drag to the edge.
proc qv::press {nr what x y} {
    set c .t$nr.c
    set cx [$c canvasx $x]
    set cy [$c canvasy $y]
    set qv::win($nr,drag) [list $what [qv::pixel $nr $x $y] $x $y]
    if {$what eq "contrast"} {
        $c delete zoomrect
        $c create rectangle $cx $cy $cx $cy -outline red -tag zoomrect
        set ::zooming($nr) 1
    } else {
        $c delete measrect
        $c create rectangle $cx $cy $cx $cy -outline yellow -dash {4 4} -tag [list measrect qvmeas]
    }
    set qv::win($nr,mstart) [list $cx $cy]
}

proc qv::drag {nr x y} {
    set c .t$nr.c
    set cx [$c canvasx $x]
    set cy [$c canvasy $y]
    switch -- [lindex $qv::win($nr,drag) 0] {
        contrast { $c coords zoomrect {*}$qv::win($nr,mstart) $cx $cy }
        measure { $c coords measrect {*}$qv::win($nr,mstart) $cx $cy }
    }
    qv::pointer $nr $x $y
}

proc qv::release {nr x y} {
    variable win
    lassign $win($nr,drag) what start sx sy
    set win($nr,drag) {}
    if {$what eq ""} return
    set c .t$nr.c
    if {max(abs($x - $sx), abs($y - $sy)) < $qv::click} {
        $c delete zoomrect measrect
        set ::zooming($nr) 0
        return
    }
    lassign $start c1 r1
    lassign [qv::pixel $nr $x $y] c2 r2
    lassign [lmap v [list $c1 $r1 $c2 $r2] {qv::clamp $v}] x1 y1 x2 y2
    if {$what eq "measure"} {
        qv::measure $nr $x1 $y1 $x2 $y2
        return
    }
    $c delete zoomrect
    lassign [getminmax [qv::imgof $nr] $x1 $y1 $x2 $y2] lo hi
    foreach {v val} [list x1zoom $x1 y1zoom $y1 x2zoom $x2 y2zoom $y2 zoomlow $lo zoomhigh $hi zooming 0] {
        set ::${v}($nr) $val
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
    set qv::win($nr,rect) [list $x1 $y1 $x2 $y2]
    qv::notify measure $nr
}

# ----------------------------------------------------- zoom and pan

proc qv::scrolled {nr bar args} {
    if {![winfo exists $bar]} return
    $bar set {*}$args
    qv::schedule $nr
}

proc qv::pan {nr x y} {
    .t$nr.c scan dragto $x $y 1
    set qv::win($nr,px) [list $x $y]
    qv::render $nr
}

# The zooms a window takes: 1/4, 1/3 and 1/2 (a small window, tiled), then
# 1..16. Below 1 a zoom is kept as the number 1.0/k, for the arithmetic of
# canvas and image coordinates; k is its shrink.
proc qv::shrink {z} { expr {$z < 1 ? max(2, min(4, int(round(1.0 / $z)))) : 1} }
proc qv::zoomof {z} {
    if {$z < 0.75} { return [expr {1.0 / [qv::shrink $z]}] }
    expr {max(1, min(16, int($z)))}
}
proc qv::zoomtext {z} { expr {$z < 1 ? "1/[qv::shrink $z]x" : "${z}x"} }
# The zoomed image's side in canvas pixels (shrunk: the last block's top-left
# pixel included).
proc qv::side {z} { expr {$z < 1 ? (511 / [qv::shrink $z]) + 1 : 512 * int($z)} }

# Zooms window nr to z (one of the zooms above, else the nearest) keeping
# the image point under window pixel (x, y) in place (the window's centre
# when not given). The window then keeps that zoom when it is resized.
proc qv::setzoom {nr z {x {}} {y {}}} {
    variable win
    set win($nr,fit) 0
    set c .t$nr.c
    set z [qv::zoomof $z]
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
    set side [qv::side $z]
    # a measured rectangle's outline belongs to the old zoom
    $c delete measrect
    $c configure -scrollregion [list 0 0 $side $side]
    $c xview moveto [expr {($ux * $z - $x) / $side}]
    $c yview moveto [expr {($uy * $z - $y) / $side}]
    qv::render $nr
}

# One step in or out: 1/4, 1/3, 1/2, 1, 2, ... 16.
proc qv::zoomby {nr step {x {}} {y {}}} {
    set z $qv::win($nr,zoom)
    set k [qv::shrink $z]
    if {$z >= 1 && $z + $step >= 1} {
        set z [expr {$z + $step}]
    } else {
        set z [expr {1.0 / max(1, min(4, $k - $step))}]
    }
    qv::setzoom $nr $z $x $y
}

proc qv::wheel {nr delta x y} {
    qv::zoomby $nr [expr {$delta > 0 ? 1 : -1}] $x $y
}

# The largest zoom at which the whole image fits the window: 1..16, or
# 1/2 .. 1/4 in a window smaller than the image.
proc qv::fitzoom {nr} {
    set c .t$nr.c
    set side [expr {min([winfo width $c], [winfo height $c])}]
    # (not yet on the screen: the size it asks for)
    if {[winfo width $c] <= 1} { set side [expr {min([winfo reqwidth $c], [winfo reqheight $c])}] }
    if {$side >= 512} { return [expr {min(16, $side / 512)}] }
    foreach k {2 3 4} {
        if {[qv::side [expr {1.0 / $k}]] <= $side} break
    }
    expr {1.0 / $k}
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
    qv::render $nr
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

# The picture window nr shows, with what the parts draw over it (their
# overlays: markers, the profile line; text labels are left out), written
# to file by the library's writer, to a regular file only. The colour bar
# is not part of it.
proc qv::snapshot {nr file} {
    set c .t$nr.c
    lassign [$c coords XR] x0 y0
    set items {}
    foreach tag [qv::declared overlays] {
        foreach id [$c find withtag $tag] { lappend items {*}[qv::snapitem $c $id $x0 $y0] }
    }
    quenzview_snapshot view$nr $file $items
}

# A canvas line or oval as quenzview_snapshot draws it, in the photo's
# pixels (the photo starts at x0 y0 of the canvas); nothing for text.
proc qv::snapitem {c id x0 y0} {
    set type [$c type $id]
    if {$type ni {line oval}} { return {} }
    set colour [$c itemcget $id [expr {$type eq "line" ? "-fill" : "-outline"}]]
    if {$colour eq ""} { return {} }
    set rgb [format #%02x%02x%02x {*}[lmap v [winfo rgb $c $colour] { expr {$v >> 8} }]]
    set xy {}
    foreach {x y} [$c coords $id] { lappend xy [expr {$x - $x0}] [expr {$y - $y0}] }
    set width [expr {max(1, int(round([$c itemcget $id -width])))}]
    list [list $type {*}$xy $rgb $width]
}

# Writes what window nr shows as a PNG file beside its file (or in the
# current directory), under a name not yet taken.
proc qv::save {nr} {
    set file $qv::win($nr,file)
    set root [expr {$file ne "" ? [file rootname $file] : [file join [pwd] window$nr]}]
    set name $root-view.png
    for {set i 2} {[file exists $name]} {incr i} { set name $root-view-$i.png }
    if {[catch {qv::snapshot $nr $name} err]} {
        qv::say $nr "error: cannot write $name: $err"
        return
    }
    qv::say $nr "saved $name"
}

# The keys and gestures every part declared, in a window of their own.
proc qv::help {} {
    if {[winfo exists .qvhelp]} { raise .qvhelp; return }
    toplevel .qvhelp
    wm title .qvhelp "quenz-view keys"
    label .qvhelp.l -justify left -font TkFixedFont \
        -text [join [lmap {label description} [qv::keytable] { format "%-15s %s" $label $description }] \n]
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

# ------------------------------------------------ the viewer's procedures

# The layer's entry points under the viewer script's names: a window is
# made once, with the layer, and each change renders once.

proc newwindow {nr} {
    if {![winfo exists .t$nr]} {
        bild16 [bildname $nr]
        qv::newwindow $nr
    }
}

# showbild img nr: a bild16 in window nr.
proc showbild {bild nr} {
    qv::showimage 16 $bild $nr
}

# showfloat img nr: a bildfloat in window nr with the same window, readout
# and range machinery (the range in float units).
proc showfloat {img nr} {
    qv::showimage float $img $nr
}

# show nr: window nr again with its range (zoomlow, zoomhigh) as set.
proc show {nr} {
    if {![info exists qv::win($nr,kind)]} { error "no window $nr" }
    incr qv::win($nr,serial)
    qv::render $nr
}
