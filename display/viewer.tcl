# The viewer script: numbered windows showing images with a contrast zoom.
# Evaluated at global level in the viewer thread's interpreter; dragging a
# rectangle with the left button re-renders a window with the grey range
# of that rectangle.

wm withdraw .

# Window nr's image object is bild<nr>, except where that name is one of
# the extension's own commands: window 16's object named bild16 would
# replace the class command of 16-bit images. Such a window's object is
# bild<nr>.win. The names are those taken before any window exists.
apply {{} { foreach name [info commands bild*] { set ::bildtaken($name) 1 } }}
proc bildname {nr} {
    if {[info exists ::bildtaken(bild$nr)]} { return bild$nr.win }
    return bild$nr
}

# Window, canvas, photo display<nr> and image object [bildname nr] for nr.
proc newwindow {nr} {
    toplevel .t$nr
    wm title .t$nr $nr
    image create photo display$nr -height 512 -width 512
    canvas .t$nr.c -height 512 -width 512
    .t$nr.c create image 2 2 -anchor nw -image display$nr -tag XR
    pack .t$nr.c
    # Bind scripts undergo %-substitution: a literal % in nr is doubled.
    set n [string map {% %%} $nr]
    .t$nr.c bind XR <ButtonPress-1> [list zoombegin $n %x %y]
    .t$nr.c bind XR <B1-Motion> [list zoommove $n %x %y]
    .t$nr.c bind XR <ButtonRelease-1> [list zoomend $n %x %y]
    bild16 [bildname $nr]
    # Child widgets carry the top-level's binding tag, so this runs once per
    # widget: only the first run finds the image object to delete.
    bind .t$nr <Destroy> [string map {% %%} [list apply {{img} {
        if {[llength [info commands $img]]} {
            puts "Speicher frei"
            $img -delete
        }
    }} [bildname $nr]]]
}

# Shows image bild (a bild16 handle or object name) in window nr.
proc showbild {bild nr} {
    global zoomlow zoomhigh x1zoom y1zoom x2zoom y2zoom zooming
    if {![winfo exists .t$nr]} {
        newwindow $nr
        set zoomlow($nr) 0
        set zoomhigh($nr) 65535
        set x1zoom($nr) 0
        set y1zoom($nr) 0
        set x2zoom($nr) 511
        set y2zoom($nr) 511
        set zooming($nr) 0
    }
    [bildname $nr] = $bild
    show $nr
}

# Re-renders window nr with its stored range; a zero range falls back to
# the automatic mapping.
proc show {nr} {
    global zoomlow zoomhigh
    if {[catch {getimage_contrast [bildname $nr] display$nr $zoomlow($nr) $zoomhigh($nr)}]} {
        getimage [bildname $nr] display$nr
    }
}

proc zoombegin {nr x y} {
    global xszoom yszoom zooming
    .t$nr.c create rectangle $x $y $x $y -outline red -tag zoomrect
    set xszoom $x
    set yszoom $y
    set zooming($nr) 1
}

proc zoommove {nr x y} {
    global xszoom yszoom zooming
    if {$zooming($nr)} {
        .t$nr.c coords zoomrect $xszoom $yszoom $x $y
    }
}

# Canvas coordinates are taken as image column and row as they are.
proc zoomend {nr x y} {
    global zoomlow zoomhigh x1zoom y1zoom x2zoom y2zoom zooming xszoom yszoom
    .t$nr.c delete zoomrect
    set x2zoom($nr) $x
    set y2zoom($nr) $y
    set x1zoom($nr) $xszoom
    set y1zoom($nr) $yszoom
    set zrange($nr) [getimage_range [bildname $nr] display$nr \
                         $x1zoom($nr) $y1zoom($nr) $x2zoom($nr) $y2zoom($nr)]
    set zoomlow($nr) [lindex $zrange($nr) 0]
    set zoomhigh($nr) [lindex $zrange($nr) 1]
    set zooming($nr) 0
}
