# quenz-view: which files it opens and how (recognised by content, one
# reader per kind), and the frames of multi-page TIFF and FITS files.
# Part of the layer (view-layer.tcl describes a window).

qv::part files {
    fields {
        frame     0     "the frame shown, from 0"
        frames    1     "how many frames the file has"
        framelist {{}}  "each frame's reader arguments (qv::frames)"
        fkind     {}    "the file's kind: his, pgm, tiff, fits ..."
    }
    fresh {frames 1 frame 0}
    keys {
        {n Next} {qv::nextfile NR 1} "n / N" "next / previous file (PageDown / PageUp)"
        {N Prior} {qv::nextfile NR -1} {} {}
        {bracketright} {qv::step NR 1} "\] / \[" "next / previous frame of a multi-frame file"
        {bracketleft} {qv::step NR -1} {} {}
    }
}

namespace eval qv {
    # Every file opened (command line, --watch), in order: n and N step
    # through them.
    variable files {}
    # A HIS file's size, and the file kinds --watch follows (the
    # extensions of the formats whose records say so), from the library's
    # records of its formats.
    variable his_size
    variable watched
    lassign [apply {{} {
        set watched {}
        foreach f [quenz::formats] {
            if {[dict get $f watched]} { lappend watched {*}[dict get $f extensions] }
            if {[dict get $f name] eq "his"} { set size [dict get $f size] }
        }
        list $size $watched
    }}] his_size watched
}

# The title: the file's name and frame.
qv::hook title 10 {apply {{name nr} {
    if {$qv::win($nr,file) ne ""} { set name [qv::tail $qv::win($nr,file)] }
    if {$qv::win($nr,frames) > 1} { append name " frame [expr {$qv::win($nr,frame) + 1}]/$qv::win($nr,frames)" }
    return $name
}}}

# ------------------------------------------------------------ files

# A name given to the viewer is a file name, literally: it reaches the
# library's readers only, never Tcl's open, file or glob (which would run
# "|cmd" or expand "~user"). The library opens it, under the thread's read
# policy (quenz-view.tcl), and tells its kind from its first bytes, size
# and name: {kind size} with kind his, pgm, gnuplot, png, tiff, fits or
# npy; anything else is refused with what it looks like.
proc qv::identify {file} {
    if {[catch {identify_file $file} id]} {
        # A file that cannot be opened, in the words the viewer has always used.
        error [regsub {^RuntimeError (couldn't open )} $id {\1}]
    }
    lassign $id kind size like
    if {$kind eq "unknown"} { error "not an image quenz-view can read (looks like $like)" }
    return $id
}

# What a file looks like (qv::identify): its kind.
proc qv::sniff {file} {
    lindex [qv::identify $file] 0
}

# The last part of a file name, as text (file tail would look up "~user").
proc qv::tail {file} {
    string range $file [string last / $file]+1 end
}

# Runs script in the caller for reading file: a file a watched directory
# announced is read without following a symbolic link in its place (one
# could lead to a device or a mount that never answers).
proc qv::reading {file script} {
    if {![info exists qv::seenset($file)]} { return [uplevel 1 $script] }
    set was [quenzview_reads regular nofollow]
    try {
        return [uplevel 1 $script]
    } finally {
        quenzview_reads {*}$was
    }
}

# A format the library reads, by name: its record as `quenz::formats`
# lists it (extensions, readers, size, listings), asked once.
proc qv::fileformat {kind} {
    variable formats
    if {![info exists formats]} {
        foreach f [quenz::formats] { set formats([dict get $f name]) $f }
    }
    if {![info exists formats($kind)]} {
        error "not an image quenz-view can read (looks like $kind)"
    }
    return $formats($kind)
}

# The class and reader command for a kind of file, from its record:
# candidates in order, counts where the file holds counts, else floats.
proc qv::reader {kind} {
    set r {}
    foreach {class read} [dict get [qv::fileformat $kind] read] { lappend r [list $class $read] }
    return $r
}

# Reads file into window nr: its title becomes "nr: name". An error is
# reported on standard error and on the window's message line.
proc qv::openfile {file nr {frame 0}} {
    if {[catch {qv::reading $file {qv::readfile $file $nr $frame}} err]} {
        set err [quenzview::plain $file $err]
        puts stderr "quenz-view: $file: $err"
        if {[winfo exists .t$nr]} { qv::say $nr "error: $file: $err" }
        return 0
    }
    if {$file ni $qv::files} { lappend qv::files $file }
    return 1
}

proc qv::readfile {file nr {frame 0}} {
    variable win
    lassign [qv::identify $file] kind size
    # A larger file keeps its view (binned, or a part at full resolution)
    # through its frames; another file starts plain.
    if {![info exists win($nr,file)] || $win($nr,file) ne $file} { set win($nr,big) {} }
    set words [qv::big::words $nr]
    set frames [qv::frames $file $kind]
    set frame [expr {max(0, min($frame, [llength $frames] - 1))}]
    set extra [lindex $frames $frame]
    set candidates [qv::reader $kind]
    # A plane of a FITS cube has a reader of its own.
    set plane [expr {[lindex $extra 0] eq "plane" ? "_plane" : ""}]
    set args [lrange $extra 1 end]
    foreach candidate $candidates {
        lassign $candidate class read
        append read $plane
        set img [new_$class]
        try {
            set failed [catch {$read $img $file {*}$args {*}$words} err]
            if {$failed && $words eq "" && [qv::big::take $nr $err]} {
                set words [qv::big::words $nr]
                set failed [catch {$read $img $file {*}$args {*}$words} err]
            }
            if {$failed} {
                # The last candidate's error is the one to report.
                if {$candidate eq [lindex $candidates end]} { error $err }
                continue
            }
            qv::showimage [expr {$class eq "bildfloat" ? "float" : 16}] $img $nr $file
            break
        } finally {
            delete_$class $img
        }
    }
    set win($nr,file) $file
    set win($nr,frame) $frame
    set win($nr,frames) [llength $frames]
    set win($nr,framelist) $frames
    set win($nr,fkind) $kind
    qv::title $nr
    if {[winfo exists .qvh$nr]} { qv::header $nr }
    if {$read eq "bild16_read_his" && $size != $qv::his_size} {
        qv::say $nr "warning: [qv::tail $file] has $size bytes, a HIS file $qv::his_size"
    } elseif {![info exists win($nr,warn)] || $win($nr,warn) eq ""} {
        qv::say $nr ""
    }
}

# ------------------------------------------------------------ frames

# The frames of a file: one element per frame, {} for the file's only
# image, {page k} for a TIFF page, {hdu h} for a FITS image HDU and
# {plane h k} for plane k of a FITS cube of 512 x 512 planes. The
# library's bounded walks of the file say what it holds; a file they
# refuse has one frame, and its reader says what is wrong.
proc qv::frames {file kind} {
    switch -- $kind {
        tiff {
            if {![catch {tiff_pages $file} n] && $n > 1} {
                return [lmap k [qv::iota $n] { list page $k }]
            }
        }
        fits {
            if {[catch {fits_hdus $file} hdus]} { return [list {}] }
            set r {}
            foreach h $hdus {
                dict with h {
                    if {$xtension ni {"" IMAGE} && !$compressed} continue
                    if {$naxis < 2 && !$compressed} continue
                    if {$naxis >= 3 && [lrange $axes 0 1] eq {512 512} && $planes > 1} {
                        foreach k [qv::iota $planes] { lappend r [list plane $index $k] }
                    } else {
                        lappend r [list hdu $index]
                    }
                }
            }
            if {[llength $r] && $r ne {{hdu 1}}} { return $r }
        }
    }
    return [list {}]
}

proc qv::iota {n} {
    set r {}
    for {set i 0} {$i < $n} {incr i} { lappend r $i }
    return $r
}

# Keys [ and ]: the previous and next frame of the window's file.
proc qv::step {nr by} {
    variable win
    if {$win($nr,file) eq "" || $win($nr,frames) <= 1} return
    set k [expr {$win($nr,frame) + $by}]
    if {$k < 0 || $k >= $win($nr,frames)} return
    qv::openfile $win($nr,file) $nr $k
}

# Keys n and N: the next and previous file of those opened (the command
# line's, and those --watch has shown).
proc qv::nextfile {nr by} {
    variable win
    # (hook files: a window's own list, e.g. what --watch has shown)
    set files [qv::filter files $qv::files $nr]
    set i [lsearch -exact $files $win($nr,file)]
    set j [expr {$i + $by}]
    if {$i < 0 || $j < 0 || $j >= [llength $files]} {
        qv::say $nr [expr {$by > 0 ? "no next file" : "no previous file"}]
        return
    }
    qv::openfile [lindex $files $j] $nr
}
