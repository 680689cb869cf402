# quenz-view's analysis windows, drawn on Tk canvases: a histogram with
# log counts whose two range markers set the display range by dragging, a
# line profile that follows a line drawn with Control and the left button,
# and a table of every rectangle measured (Shift-drag). The numbers come
# from the library's histogram, profile and imgstats commands.

namespace eval qv {
    variable hist
    array set hist {}
    variable prof
    array set prof {}
    # every measurement: {window file x1 y1 x2 y2 n min max mean std median}
    variable measured {}
    variable hbins 256
    # plot area inside an analysis canvas: left, top, right, bottom
    variable plot {60 14 500 214}
}

# ------------------------------------------------------- histogram

# histwin NR ?X1 Y1 X2 Y2?: the histogram window of window NR, over the
# whole image or the rectangle; returns the counts.
proc histwin {nr args} {
    if {[llength $args] ni {0 4}} {
        error {wrong # args: should be "histwin nr ?x1 y1 x2 y2?"}
    }
    qv::analysed $nr histwin
    qv::histcompute $nr $args
}

proc qv::analysed {nr cmd} {
    if {![winfo exists .t$nr.c] || ![info exists qv::win($nr,kind)]} {
        error "$cmd: no window $nr"
    }
}

# Bins over the values present: min..max in 256 bins; for counts, at most
# 256 bins of a whole number of counts each, so that no bin holds more
# count values than another.
proc qv::histcompute {nr rect} {
    variable hist
    set img [qv::imgof $nr]
    set s [imgstats $img {*}$rect]
    set lo [dict get $s min]
    set hi [dict get $s max]
    if {$lo eq "NaN"} { set lo 0.0; set hi 1.0 }
    if {$qv::win($nr,kind) eq "float"} {
        set nbins $qv::hbins
        if {$hi <= $lo} { set hi [expr {$lo + 1.0}] }
    } else {
        set width [expr {($hi - $lo + $qv::hbins) / $qv::hbins}]
        set nbins [expr {($hi - $lo + $width) / $width}]
        set hi [expr {$lo + $nbins * $width}]
    }
    set counts [histogram $img $nbins $lo $hi {*}$rect]
    array set hist [list $nr,counts $counts $nr,low $lo $nr,high $hi $nr,rect $rect]
    qv::histdraw $nr
    return $counts
}

# Canvas x of value v in window nr's histogram, and back.
proc qv::hx {nr v} {
    lassign $qv::plot l t r b
    set lo $qv::hist($nr,low)
    set hi $qv::hist($nr,high)
    expr {$l + ($v - $lo) * ($r - $l) / double($hi - $lo)}
}
proc qv::hvalue {nr x} {
    lassign $qv::plot l t r b
    set lo $qv::hist($nr,low)
    set hi $qv::hist($nr,high)
    set x [expr {max($l, min($r, $x))}]
    set v [expr {$lo + ($x - $l) * ($hi - $lo) / double($r - $l)}]
    if {$qv::win($nr,kind) ne "float"} { set v [expr {int(round($v))}] }
    return $v
}

# A plot window w: a canvas above a line of text. False when it is there
# already.
proc qv::plotwindow {w} {
    if {[winfo exists $w]} { return 0 }
    toplevel $w
    canvas $w.c -width 520 -height 250 -background white -highlightthickness 0
    label $w.l -anchor w -font TkFixedFont
    pack $w.c -fill both -expand 1
    pack $w.l -fill x
    return 1
}

proc qv::histdraw {nr} {
    variable hist
    set w .hist$nr
    if {[qv::plotwindow $w]} {
        set n [string map {% %%} $nr]
        $w.c bind rangemark <ButtonPress-1> [list qv::hgrab $n %x]
        $w.c bind rangemark <B1-Motion> [list qv::hmove $n %x]
        $w.c bind rangemark <ButtonRelease-1> [list qv::hdrop $n %x]
        bind $w <Key-q> [list destroy $w]
    }
    set c $w.c
    $c delete all
    lassign $qv::plot l t r b
    set counts $hist($nr,counts)
    set top [tcl::mathfunc::max 1 {*}$counts]
    set scale [expr {($b - $t) / log10(1.0 + $top)}]
    set nb [llength $counts]
    set i 0
    foreach n $counts {
        if {$n > 0} {
            set x1 [expr {$l + $i * ($r - $l) / double($nb)}]
            set x2 [expr {$l + ($i + 1) * ($r - $l) / double($nb)}]
            $c create rectangle $x1 [expr {$b - log10(1.0 + $n) * $scale}] $x2 $b \
                -fill #4060a0 -outline {} -tags [list bar bin$i]
        }
        incr i
    }
    $c create rectangle $l $t $r $b -outline black
    # Counts: the right end is the last count the last bin holds (its edge,
    # one past it, may lie beyond 65535).
    set hi $hist($nr,high)
    set hilabel [expr {$qv::win($nr,kind) eq "float" ? $hi : min($hi - 1, 65535)}]
    foreach {v label anchor tag} [list $hist($nr,low) $hist($nr,low) nw lowlabel $hi $hilabel ne highlabel] {
        $c create text [qv::hx $nr $v] [expr {$b + 3}] -text [qv::num $nr $label] -anchor $anchor \
            -font TkSmallCaptionFont -tags $tag
    }
    foreach k {0 1 2 3 4 5 6} {
        set y [expr {$b - $k * $scale}]
        if {$y < $t} break
        $c create line [expr {$l - 4}] $y $l $y
        $c create text [expr {$l - 6}] $y -text [expr {10 ** $k}] -anchor e -font TkSmallCaptionFont
    }
    $c create text 4 [expr {$t - 10}] -text "log counts" -anchor nw -font TkSmallCaptionFont
    foreach which {low high} {
        $c create line 0 $t 0 $b -fill #d02020 -width 3 -tags [list rangemark $which]
    }
    set rect [expr {$hist($nr,rect) eq "" ? "whole image" : "x1 y1 x2 y2 $hist($nr,rect)"}]
    wm title $w "$nr: histogram, $rect"
    qv::hmarks $nr
}

# The range markers at the window's display range.
proc qv::hmarks {nr} {
    set c .hist$nr.c
    if {![winfo exists $c] || ![info exists qv::hist($nr,low)]} return
    lassign $qv::plot l t r b
    lassign [qv::shown_range $nr] lo hi
    foreach which {low high} v [list $lo $hi] {
        set x [expr {max($l, min($r, [qv::hx $nr $v]))}]
        $c coords $which $x $t $x $b
    }
    .hist$nr.l configure -text "range [qv::num $nr $lo] .. [qv::num $nr $hi]   drag the red lines to change it"
}

proc qv::hgrab {nr x} {
    set c .hist$nr.c
    set which [expr {"low" in [$c gettags current] ? "low" : "high"}]
    set qv::hist($nr,grab) $which
}

proc qv::hmove {nr x} {
    if {![info exists qv::hist($nr,grab)]} return
    lassign $qv::plot l t r b
    set x [expr {max($l, min($r, $x))}]
    .hist$nr.c coords $qv::hist($nr,grab) $x $t $x $b
}

# The dropped marker sets its end of the display range; the ends are
# kept in order.
proc qv::hdrop {nr x} {
    if {![info exists qv::hist($nr,grab)]} return
    set which $qv::hist($nr,grab)
    unset qv::hist($nr,grab)
    set v [qv::hvalue $nr $x]
    lassign [qv::shown_range $nr] lo hi
    if {$which eq "low"} { set lo $v } else { set hi $v }
    if {$lo > $hi} { lassign [list $hi $lo] lo hi }
    if {$lo == $hi} { set hi [expr {$lo + 1}] }
    qv::setrange $nr $lo $hi
    qv::hmarks $nr
}

# ------------------------------------------------------------ profile

# profilewin NR X1 Y1 X2 Y2: the profile window of window NR along the line
# (image columns and rows, fractions allowed); returns the values.
# profilewin NR export ?FILE?: writes the profile as two columns, distance
# and value, and returns the file's name.
proc profilewin {nr args} {
    qv::analysed $nr profilewin
    if {[lindex $args 0] eq "export" && [llength $args] <= 2} {
        return [qv::pexport $nr [lindex $args 1]]
    }
    if {[llength $args] != 4} {
        error {wrong # args: should be "profilewin nr x1 y1 x2 y2" or "profilewin nr export ?file?"}
    }
    qv::profcompute $nr {*}$args
    qv::profline $nr
    return $qv::prof($nr,values)
}

# Image coordinates (pixel centres on integers) of the middle of window
# pixel (x, y), clamped to the image: at zoom 1 the pixel under the
# pointer itself.
proc qv::imgpoint {nr x y} {
    set c .t$nr.c
    set z $qv::win($nr,zoom)
    lmap v [list [expr {([$c canvasx $x] + 0.5) / $z - 0.5}] [expr {([$c canvasy $y] + 0.5) / $z - 0.5}]] {
        expr {max(0.0, min(511.0, $v))}
    }
}

proc qv::pstart {nr x y} {
    set qv::prof($nr,start) [qv::imgpoint $nr $x $y]
    qv::pmove $nr $x $y
}

proc qv::pmove {nr x y} {
    if {![info exists qv::prof($nr,start)]} return
    qv::profcompute $nr {*}$qv::prof($nr,start) {*}[qv::imgpoint $nr $x $y]
    qv::profline $nr
    qv::pointer $nr $x $y
}

proc qv::pend {nr x y} {
    qv::pmove $nr $x $y
    unset -nocomplain qv::prof($nr,start)
}

# The drawn line on the image window, at its zoom.
proc qv::profline {nr} {
    set c .t$nr.c
    $c delete qvprofile
    if {![info exists qv::prof($nr,line)]} return
    set z $qv::win($nr,zoom)
    set qv::prof($nr,zoom) $z
    set pts [lmap v $qv::prof($nr,line) { expr {($v + 0.5) * $z} }]
    $c create line {*}$pts -fill #ff40ff -width 1 -tags qvprofile
}

proc qv::profcompute {nr x1 y1 x2 y2} {
    variable prof
    set values [profile [qv::imgof $nr] $x1 $y1 $x2 $y2]
    set len [expr {hypot($x2 - $x1, $y2 - $y1)}]
    set n [llength $values]
    set dist {}
    for {set i 0} {$i < $n} {incr i} { lappend dist [expr {$len * $i / ($n - 1)}] }
    array set prof [list $nr,line [list $x1 $y1 $x2 $y2] $nr,values $values $nr,dist $dist]
    qv::pdraw $nr
}

proc qv::pdraw {nr} {
    variable prof
    set w .prof$nr
    if {[qv::plotwindow $w]} {
        set n [string map {% %%} $nr]
        bind $w <Key-e> [list qv::pexport_key $n]
        bind $w <Key-q> [list destroy $w]
    }
    set c $w.c
    $c delete all
    lassign $qv::plot l t r b
    set vals [lmap v $prof($nr,values) { if {$v ne $v || $v eq "NaN"} continue; set v }]
    if {![llength $vals]} { set vals {0 1} }
    set lo [tcl::mathfunc::min {*}$vals]
    set hi [tcl::mathfunc::max {*}$vals]
    if {$hi <= $lo} { set hi [expr {$lo + 1.0}] }
    set len [lindex $prof($nr,dist) end]
    if {$len <= 0} { set len 1.0 }
    # The value labels left of the plot fit whole: the plot moves right for
    # a long one (0.0142214).
    set hitext [format %.6g $hi]
    set lotext [format %.6g $lo]
    set need [expr {8 + max([font measure TkSmallCaptionFont $hitext], [font measure TkSmallCaptionFont $lotext])}]
    if {$need > $l} { set l $need }
    set pts {}
    foreach d $prof($nr,dist) v $prof($nr,values) {
        if {$v eq "NaN"} continue
        lappend pts [expr {$l + $d * ($r - $l) / $len}] [expr {$b - ($v - $lo) * ($b - $t) / ($hi - $lo)}]
    }
    $c create rectangle $l $t $r $b -outline black
    if {[llength $pts] >= 4} { $c create line {*}$pts -fill #a02080 -width 1 -tags curve }
    $c create text [expr {$l - 4}] $t -text $hitext -anchor ne -font TkSmallCaptionFont -tags hilabel
    $c create text [expr {$l - 4}] $b -text $lotext -anchor se -font TkSmallCaptionFont -tags lolabel
    $c create text $l [expr {$b + 3}] -text 0 -anchor nw -font TkSmallCaptionFont
    $c create text $r [expr {$b + 3}] -text [format "%.2f px" $len] -anchor ne -font TkSmallCaptionFont
    lassign $prof($nr,line) x1 y1 x2 y2
    wm title $w [format "%s: profile (%.1f, %.1f) - (%.1f, %.1f)" $nr $x1 $y1 $x2 $y2]
    $w.l configure -text "[llength $prof($nr,values)] samples   e: export as text"
}

proc qv::pexport_key {nr} {
    if {[catch {qv::pexport $nr {}} name]} {
        .prof$nr.l configure -text "error: $name"
    } else {
        .prof$nr.l configure -text "saved $name"
    }
}

# Two columns, distance along the line in pixels and value, after comment
# lines that gnuplot skips; without a name, beside the image's file (or in
# the current directory) under a name not yet taken.
proc qv::pexport {nr file} {
    variable prof
    if {![info exists prof($nr,values)]} { error "profilewin: window $nr has no profile" }
    if {$file eq ""} {
        set src $qv::win($nr,file)
        set root [expr {$src ne "" ? [file rootname $src] : [file join [pwd] window$nr]}]
        set file $root-profile.txt
        for {set i 2} {[file exists $file]} {incr i} { set file $root-profile-$i.txt }
    }
    lassign $prof($nr,line) x1 y1 x2 y2
    set text "# quenz-view profile of window $nr"
    if {$qv::win($nr,file) ne ""} { append text ": $qv::win($nr,file)" }
    append text "\n# from x $x1 y $y1 to x $x2 y $y2\n# distance value\n"
    foreach d $prof($nr,dist) v $prof($nr,values) {
        append text [format "%.6f %.10g\n" $d $v]
    }
    # written whole, as the library writes every file
    quenzview_write $file $text
    return $file
}

# ------------------------------------------------------------ table

proc qv::measured {nr x1 y1 x2 y2} {
    lassign [lsort -integer [list $x1 $x2]] x1 x2
    lassign [lsort -integer [list $y1 $y2]] y1 y2
    set s [imgstats [qv::imgof $nr] $x1 $y1 $x2 $y2]
    set file $qv::win($nr,file)
    if {$file eq ""} { set file $qv::win($nr,source) }
    set row [list $nr $file $x1 $y1 $x2 $y2]
    foreach k {n min max mean std median} { lappend row [dict get $s $k] }
    qv::table
    lappend qv::measured $row
    .stats.t insert {} end -values [qv::shownrow $row]
    .stats.t see [lindex [.stats.t children {}] end]
}

proc qv::shownrow {row} {
    lassign $row nr file x1 y1 x2 y2
    set out [list $nr [qv::tail $file] "$x1 $y1 $x2 $y2"]
    foreach v [lrange $row 6 end] {
        lappend out [expr {[string is double -strict $v] && $v eq $v && ![string is integer $v] ? [format %.6g $v] : $v}]
    }
    return $out
}

# The table window: one line per measurement, kept until cleared.
proc qv::table {} {
    if {[winfo exists .stats]} return
    toplevel .stats
    wm title .stats "quenz-view measurements"
    set cols {window file rectangle n min max mean std median}
    ttk::treeview .stats.t -columns $cols -show headings -height 8 -yscrollcommand {.stats.s set}
    scrollbar .stats.s -command {.stats.t yview}
    foreach col $cols w {60 140 130 60 60 60 80 80 70} {
        .stats.t heading $col -text $col
        .stats.t column $col -width $w -anchor e
    }
    ttk::frame .stats.b
    ttk::button .stats.b.save -text "Save..." -command qv::tablesave
    label .stats.l -anchor w -text "tab-separated text with a heading line (or: measurements save FILE)"
    pack .stats.b.save -side left
    pack .stats.l -in .stats.b -side left -fill x -expand 1
    grid .stats.t .stats.s -sticky nsew
    grid .stats.b - -sticky ew
    grid rowconfigure .stats 0 -weight 1
    grid columnconfigure .stats 0 -weight 1
    foreach row $qv::measured { .stats.t insert {} end -values [qv::shownrow $row] }
    bind .stats <Key-q> {destroy .stats}
}

# The table's Save button: a file chosen in the dialog, written by the
# library's writer (all or nothing); the outcome on the window's line.
proc qv::tablesave {} {
    set file [tk_getSaveFile -parent .stats -title "Save the measurements" -defaultextension .tsv \
                  -initialfile measurements.tsv -filetypes {{{Tab-separated text} {.tsv .txt}} {{All files} *}}]
    if {$file eq ""} return
    if {[catch {measurements save $file} r]} {
        .stats.l configure -text "cannot write $file: $r" -foreground #a01010
    } else {
        .stats.l configure -text "saved $r measurements in $file" -foreground #106010
    }
}

# measurements: every rectangle measured, one list per line
#   {window file x1 y1 x2 y2 n min max mean std median};
# measurements save FILE: the same as tab-separated text with a heading
# line; measurements clear.
proc measurements {args} {
    switch -- [lindex $args 0] {
        "" { if {[llength $args] == 0} { return $qv::measured } }
        save {
            if {[llength $args] == 2} {
                set text [join {window file x1 y1 x2 y2 n min max mean std median} \t]\n
                foreach row $qv::measured { append text [join $row \t] \n }
                quenzview_write [lindex $args 1] $text
                return [llength $qv::measured]
            }
        }
        clear {
            if {[llength $args] == 1} {
                set qv::measured {}
                if {[winfo exists .stats]} { .stats.t delete [.stats.t children {}] }
                return
            }
        }
    }
    error {wrong # args: should be "measurements ?save file? or ?clear?"}
}

# ------------------------------------------------------------ hooks

proc qv::analysis_bindings {nr} {
    set t .t$nr
    set c $t.c
    set n [string map {% %%} $nr]
    bind $c <Control-ButtonPress-1> [list qv::pstart $n %x %y]
    bind $c <Control-B1-Motion> [list qv::pmove $n %x %y]
    bind $c <Control-ButtonRelease-1> [list qv::pend $n %x %y]
}

# Key H: the histogram of the last measured rectangle, else of the image.
proc qv::histkey {nr} {
    set rect [expr {[info exists qv::win($nr,rect)] ? $qv::win($nr,rect) : {}}]
    qv::histcompute $nr $rect
}

# After a render: the histogram's range lines at the range, the profile's
# line at the zoom.
proc qv::analysis_view {nr} {
    qv::hmarks $nr
    if {[info exists qv::prof($nr,line)] && [info exists qv::prof($nr,zoom)]
        && $qv::prof($nr,zoom) != $qv::win($nr,zoom)} {
        qv::profline $nr
    }
}

# New pixels in a window (a file, a frame, a live view): an open histogram
# or profile is worked out again over the same rectangle or line.
proc qv::analysis_content {nr} {
    if {[winfo exists .hist$nr] && [info exists qv::hist($nr,rect)]} {
        qv::histcompute $nr $qv::hist($nr,rect)
    }
    if {[winfo exists .prof$nr] && [info exists qv::prof($nr,line)]} {
        qv::profcompute $nr {*}$qv::prof($nr,line)
    }
}

qv::listen window qv::analysis_bindings
qv::listen content qv::analysis_content
qv::listen measure [list apply {{nr} { qv::measured $nr {*}$qv::win($nr,rect) }}]
qv::listen view qv::analysis_view
qv::listen close [list apply {{nr} {
    foreach w [list .hist$nr .prof$nr] { if {[winfo exists $w]} { destroy $w } }
    array unset qv::hist $nr,*
    array unset qv::prof $nr,*
}}]
qv::part analysis {
    mouse {"Ctrl-left drag" "line profile (in its window: e exports it as text)"}
    keys {
        {H} {qv::histkey NR} H "histogram of the last rectangle (drag its red lines)"
        {t} {qv::table; raise .stats} t "the table of every measurement"
    }
    overlays {qvprofile}
}
