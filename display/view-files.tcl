# quenz-view: which files it opens and how (recognised by content, one
# reader per kind), and the frames of multi-page TIFF and FITS files.
# Part of the layer (view-layer.tcl describes a window).

# ------------------------------------------------------------ files

# What a file looks like, from its first bytes and size: his, pgm,
# gnuplot, png, tiff, fits, npy; anything else is refused with what it
# looks like.
proc qv::sniff {file} {
    set f [open $file rb]
    set head [read $f 512]
    close $f
    set magic [lmap {kind bytes} {
        png "\x89PNG\r\n\x1a\n" tiff "II\x2a\x00" tiff "MM\x00\x2a" tiff "II\x2b\x00"
        tiff "MM\x00\x2b" fits "SIMPLE  =" npy "\x93NUMPY" pgm P5
    } {
        if {[string first $bytes $head] != 0} continue
        set kind
    }]
    if {[llength $magic]} { return [lindex $magic 0] }
    # a gnuplot binary matrix starts with its column count, 512.0
    if {[string first "\x00\x00\x00\x44" $head] == 0
        || [string tolower [file extension $file]] in {.bin .gp}} { return gnuplot }
    set size [file size $file]
    # a HIS file's length (qv::his_size; written out here so that this
    # procedure stands alone, as the sniffing fuzz target takes it)
    set full 524388
    set his [expr {[string tolower [file extension $file]] eq ".his"}]
    if {$head eq ""} {
        set like "an empty file"
    } elseif {[regexp {^P2\s} $head]} {
        set like "an ASCII PGM (P2) image"
    } elseif {![regexp {[\x00-\x08\x0e-\x1f\x7f]} $head]} {
        set like "a text file"
    } elseif {$size == $full || ($his && $size < $full)} {
        # No magic word: a HIS file is known only by its size (a short
        # one by its name, so that its reader says what is missing).
        return his
    } elseif {$his} {
        set like "a HIS file $size bytes long instead of $full"
    } else {
        set like "$size bytes of data in no format it knows"
    }
    error "not an image quenz-view can read (looks like $like)"
}

# The class and reader command for a kind of file. Readers of further
# formats are added here.
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
    error "not an image quenz-view can read (looks like $kind)"
}

# Reads file into window nr: its title becomes "nr: name". An error is
# reported on standard error and on the window's message line.
proc qv::openfile {file nr {frame 0}} {
    if {[catch {qv::readfile $file $nr $frame} err]} {
        puts stderr "quenz-view: $file: $err"
        if {[winfo exists .t$nr]} { qv::say $nr "error: $file: $err" }
        return 0
    }
    if {$file ni $qv::files} { lappend qv::files $file }
    return 1
}

proc qv::readfile {file nr {frame 0}} {
    variable win
    set kind [qv::sniff $file]
    set frames [qv::frames $file $kind]
    set frame [expr {max(0, min($frame, [llength $frames] - 1))}]
    set extra [lindex $frames $frame]
    set candidates [qv::reader $kind]
    set tmp {}
    try {
        # A plane of a FITS cube is read from a one-plane copy.
        if {[lindex $extra 0] eq "plane"} {
            set tmp [qv::fitsplane $file {*}[lrange $extra 1 end]]
            set from $tmp
            set args {}
        } else {
            set from $file
            set args [lrange $extra 1 end]
        }
        foreach candidate $candidates {
            lassign $candidate class read
            set img [new_$class]
            try {
                if {[catch {$read $img $from {*}$args} err]} {
                    # The last candidate's error is the one to report.
                    if {$candidate eq [lindex $candidates end]} {
                        error [string map [list $from $file] $err]
                    }
                    continue
                }
                qv::showimage [expr {$class eq "bildfloat" ? "float" : 16}] $img $nr $file
                break
            } finally {
                delete_$class $img
            }
        }
    } finally {
        if {$tmp ne ""} { file delete $tmp }
    }
    set win($nr,file) $file
    set win($nr,frame) $frame
    set win($nr,frames) [llength $frames]
    set win($nr,framelist) $frames
    set win($nr,fkind) $kind
    qv::title $nr
    if {[winfo exists .qvh$nr]} { qv::header $nr }
    set size [file size $file]
    if {$read eq "bild16_read_his" && $size != $qv::his_size} {
        qv::say $nr "warning: [file tail $file] has $size bytes, a HIS file $qv::his_size"
    } elseif {![info exists win($nr,warn)] || $win($nr,warn) eq ""} {
        qv::say $nr ""
    }
}

proc qv::title {nr} {
    variable win
    variable watch
    set name $win($nr,source)
    if {$win($nr,file) ne ""} { set name [file tail $win($nr,file)] }
    if {$win($nr,frames) > 1} { append name " frame [expr {$win($nr,frame) + 1}]/$win($nr,frames)" }
    if {$nr eq "1" && $watch(dir) ne ""} {
        if {$win($nr,file) eq ""} { set name "waiting for files in $watch(dir)" }
        if {$watch(paused)} { append name " (paused)" }
    }
    if {[llength $win($nr,blink)] > 1} {
        set m [lindex $win($nr,blink) $win($nr,blinkat)]
        if {$m ne $nr} { set name "blink: window $m" } else { append name " (blink)" }
    }
    if {$qv::locked} { append name " (locked)" }
    wm title .t$nr "$nr: $name"
}

# ------------------------------------------------------------ frames

# The frames of a file: one element per frame, {} for the file's only
# image, {page k} for a TIFF page, {hdu h} for a FITS image HDU and
# {plane hdu k} for plane k of a FITS cube.
proc qv::frames {file kind} {
    switch -- $kind {
        tiff {
            set n [llength [qv::tiffdirs $file]]
            if {$n > 1} { return [lmap k [qv::iota $n] { list page $k }] }
        }
        fits {
            set r {}
            foreach h [qv::fitshdus $file] {
                if {[dict get $h naxis] < 2} continue
                set planes [expr {[dict get $h naxis] >= 3 ? [lindex [dict get $h axes] 2] : 1}]
                if {$planes <= 1} {
                    lappend r [list hdu [dict get $h index]]
                } else {
                    for {set k 0} {$k < $planes} {incr k} { lappend r [list plane [dict get $h index] $k] }
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

# The directories of a TIFF file (classic or BigTIFF, either byte order),
# each a list of {tag type count value-or-offset}; at most 10000.
proc qv::tiffdirs {file} {
    set f [open $file rb]
    try {
        set head [read $f 16]
        set e [expr {[string range $head 0 1] eq "MM" ? "big" : "little"}]
        lassign [expr {$e eq "big" ? {S I W} : {s i w}}] s16 s32 s64
        binary scan $head @2${s16}u version
        set big [expr {$version == 43}]
        if {$big} { binary scan $head @8${s64} off } else { binary scan $head @4${s32}u off }
        set dirs {}
        set seen {}
        set size [file size $file]
        while {$off > 0 && $off < $size && [llength $dirs] < 10000 && $off ni $seen} {
            lappend seen $off
            seek $f $off
            if {$big} {
                binary scan [read $f 8] ${s64} n
                set entry 20
            } else {
                binary scan [read $f 2] ${s16}u n
                set entry 12
            }
            if {![info exists n] || $n > 4096} break
            set data [read $f [expr {$n * $entry + ($big ? 8 : 4)}]]
            set tags {}
            for {set i 0} {$i < $n} {incr i} {
                set at [expr {$i * $entry}]
                if {$big} {
                    binary scan $data @${at}${s16}u${s16}u${s64} tag type count
                    set vat [expr {$at + 12}]
                } else {
                    binary scan $data @${at}${s16}u${s16}u${s32}u tag type count
                    set vat [expr {$at + 8}]
                }
                if {![info exists count]} break
                set value [qv::tiffvalue $f $data $vat $type $count $e $big]
                lappend tags [list $tag $type $count $value]
                unset count
            }
            lappend dirs $tags
            set at [expr {$n * $entry}]
            set off 0
            if {$big} { binary scan $data @${at}${s64} off } else { binary scan $data @${at}${s32}u off }
            unset n
        }
        return $dirs
    } finally {
        close $f
    }
}

# A TIFF tag's value: the numbers (up to 16) or the text.
proc qv::tiffvalue {f data vat type count e big} {
    set width [dict get {1 1 2 1 3 2 4 4 5 8 6 1 7 1 8 2 9 4 10 8 11 4 12 8 16 8 17 8 18 8} $type]
    if {$width eq ""} { return ? }
    set bytes [expr {$width * $count}]
    set slot [expr {$big ? 8 : 4}]
    if {$bytes <= $slot} {
        set raw [string range $data $vat [expr {$vat + $bytes - 1}]]
    } else {
        set le [expr {$e eq "little"}]
        if {$big} {
            binary scan $data @${vat}[expr {$le ? "w" : "W"}] at
        } else {
            binary scan $data @${vat}[expr {$le ? "iu" : "Iu"}] at
        }
        seek $f $at
        set raw [read $f [expr {min($bytes, $type == 2 ? 4096 : 16 * $width)}]]
    }
    set le [expr {$e eq "little"}]
    switch -- $type {
        2 { return [string trimright [encoding convertfrom iso8859-1 $raw] \0] }
        1 - 7 { binary scan $raw cu* v }
        6 { binary scan $raw c* v }
        3 { binary scan $raw [expr {$le ? "su*" : "Su*"}] v }
        8 { binary scan $raw [expr {$le ? "s*" : "S*"}] v }
        4 - 13 { binary scan $raw [expr {$le ? "iu*" : "Iu*"}] v }
        9 { binary scan $raw [expr {$le ? "i*" : "I*"}] v }
        5 - 10 {
            binary scan $raw [expr {$le ? ($type == 5 ? "iu*" : "i*") : ($type == 5 ? "Iu*" : "I*")}] p
            set v [lmap {a b} $p { expr {$b ? "$a/$b" : "$a/0"} }]
        }
        11 { binary scan $raw [expr {$le ? "r*" : "R*"}] v }
        12 { binary scan $raw [expr {$le ? "q*" : "Q*"}] v }
        default { binary scan $raw [expr {$le ? "w*" : "W*"}] v }
    }
    if {[llength $v] > 16} { set v [concat [lrange $v 0 15] ...] }
    return $v
}

# The HDUs of a FITS file: dicts of index, naxis, axes, bitpix, cards
# (the header's cards as text) and data (offset of the data).
proc qv::fitshdus {file} {
    set f [open $file rb]
    set size [file size $file]
    set hdus {}
    try {
        set at 0
        while {$at < $size && [llength $hdus] < 1000} {
            seek $f $at
            set cards {}
            set end 0
            for {set b 0} {$b < 1000 && !$end} {incr b} {
                set block [read $f 2880]
                if {[string length $block] < 2880} { return $hdus }
                for {set c 0} {$c < 36} {incr c} {
                    set card [string range $block [expr {$c * 80}] [expr {$c * 80 + 79}]]
                    if {[string range $card 0 7] eq "END     "} { set end 1; break }
                    lappend cards $card
                }
            }
            if {!$end} break
            set data [expr {$at + $b * 2880}]
            set kv {}
            foreach card $cards {
                if {[string index $card 8] ne "="} continue
                set key [string trim [string range $card 0 7]]
                if {[dict exists $kv $key]} continue
                dict set kv $key [string trim [lindex [split [string range $card 10 end] /] 0]]
            }
            set naxis [expr {[dict exists $kv NAXIS] ? [dict get $kv NAXIS] : 0}]
            if {![string is integer -strict $naxis] || $naxis < 0 || $naxis > 999} break
            set axes {}
            set n [expr {$naxis ? 1 : 0}]
            for {set i 1} {$i <= $naxis} {incr i} {
                set a [expr {[dict exists $kv NAXIS$i] ? [dict get $kv NAXIS$i] : 0}]
                if {![string is wideinteger -strict $a] || $a < 0} { set a 0 }
                lappend axes $a
                set n [expr {$n * $a}]
            }
            set bitpix [expr {[dict exists $kv BITPIX] ? [dict get $kv BITPIX] : 8}]
            if {![string is integer -strict $bitpix]} break
            set pcount [expr {[dict exists $kv PCOUNT] ? [dict get $kv PCOUNT] : 0}]
            set gcount [expr {[dict exists $kv GCOUNT] ? [dict get $kv GCOUNT] : 1}]
            if {![string is wideinteger -strict $pcount]} { set pcount 0 }
            if {![string is wideinteger -strict $gcount]} { set gcount 1 }
            set bytes [expr {abs($bitpix) / 8 * $gcount * ($pcount + $n)}]
            set image [expr {![dict exists $kv XTENSION] || [string match {*IMAGE*} [dict get $kv XTENSION]]}]
            lappend hdus [dict create index [expr {[llength $hdus] + 1}] naxis [expr {$image ? $naxis : 0}] \
                              axes $axes bitpix $bitpix cards $cards data $data kv $kv]
            set at [expr {$data + ($bytes + 2879) / 2880 * 2880}]
        }
    } finally {
        close $f
    }
    return $hdus
}

# Plane k of a FITS cube in HDU hdu as a FITS file of its own (in the
# temporary directory); returns its name.
proc qv::fitsplane {file hdu k} {
    set h [lindex [qv::fitshdus $file] [expr {$hdu - 1}]]
    lassign [dict get $h axes] w hgt
    set bitpix [dict get $h bitpix]
    set plane [expr {$w * $hgt * abs($bitpix) / 8}]
    set cards [list [format {SIMPLE  = %20s} T] [format {BITPIX  = %20d} $bitpix] \
                   [format {NAXIS   = %20d} 2] [format {NAXIS1  = %20d} $w] [format {NAXIS2  = %20d} $hgt]]
    foreach c [dict get $h cards] {
        if {[string trim [string range $c 0 7]] in {BZERO BSCALE BLANK}} { lappend cards $c }
    }
    lappend cards END
    set head [join [lmap c $cards { format %-80s $c }] ""]
    set head [format %-[expr {([string length $head] + 2879) / 2880 * 2880}]s $head]
    set in [open $file rb]
    seek $in [expr {[dict get $h data] + $k * $plane}]
    set data [read $in $plane]
    close $in
    set out [file tempfile name quenz-view-plane.fits]
    fconfigure $out -translation binary
    puts -nonewline $out $head$data[string repeat \0 [expr {(2880 - $plane % 2880) % 2880}]]
    close $out
    return $name
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
    set files $qv::files
    if {[info exists qv::watch(seen)] && $nr eq "1"} { set files $qv::watch(seen) }
    set i [lsearch -exact $files $win($nr,file)]
    set j [expr {$i + $by}]
    if {$i < 0 || $j < 0 || $j >= [llength $files]} {
        qv::say $nr [expr {$by > 0 ? "no next file" : "no previous file"}]
        return
    }
    qv::openfile [lindex $files $j] $nr
}
