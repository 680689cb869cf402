# quenz-view: the live view of a directory (--watch): the kernel's
# notification where there is one, the size-stable rule elsewhere.
# Part of the layer (view-layer.tcl describes a window).

qv::part watch {
    keys {{p} {qv::pause} p "pause / resume the live view (--watch)"}
}

namespace eval qv {
    variable watch
    array set watch {dir {} paused 0 cand {} size -1 since 0 shown {} dirtime {} listed 0
                     notify 0 latest {} pending 0 shownat 0 shows 0}
    # Size a file must have stopped changing for before it is read (ms),
    # and how long to wait for a file whose size is not its format's (the
    # rule where the kernel tells nothing about writers).
    variable settle 300
    variable settle_odd 2000
}

# Window 1 of a watched directory says what it waits for.
qv::hook title 30 {apply {{name nr} {
    if {$nr eq "1" && $qv::watch(dir) ne ""} {
        if {$qv::win($nr,file) eq ""} { set name "waiting for files in $qv::watch(dir)" }
        if {$qv::watch(paused)} { append name " (paused)" }
    }
    return $name
}}}

# n and N in window 1 step through the files --watch has shown.
qv::hook files 10 {apply {{files nr} {
    expr {$nr eq "1" && [info exists qv::watch(seen)] ? $qv::watch(seen) : $files}
}}}

# ------------------------------------------------------- live view

# Shows the newest image file of dir in window 1 and follows new ones: on
# Linux the kernel tells when a writer has closed a file or moved one in
# (the library's quenz::watch, named quenzview_notify here by
# quenz-view.tcl); elsewhere the directory is looked at every 100 ms.
proc qv::watch {dir} {
    variable watch
    set watch(dir) $dir
    set watch(seen) {}
    showbild 0 1
    qv::title 1
    if {![file isdirectory $dir]} {
        qv::say 1 "error: $dir is not a directory (yet); watching for it"
        puts stderr "quenz-view: $dir is not a directory"
    }
    if {[llength [info commands quenzview_notify]]} {
        set watch(notify) 1
        qv::arm
    } else {
        after 0 qv::poll
    }
}

# Starts the kernel's notification on the directory once it exists (its
# existence is looked at twice a second until then), then shows the
# newest file already there.
proc qv::arm {} {
    variable watch
    if {![winfo exists .t1]} return
    if {![file isdirectory $watch(dir)] || [catch {quenzview_notify $watch(dir) qv::notified} err]} {
        after 500 qv::arm
        return
    }
    set newest [qv::newest $watch(dir)]
    if {$newest ne ""} { qv::notified $newest }
}

# A writer has finished file (closed it or moved it in): show it unless
# a newer one comes first; only the newest waiting file is read.
proc qv::notified {file} {
    variable watch
    if {[string tolower [file extension $file]] ni $qv::watched} return
    set watch(latest) $file
    qv::seen $file
    if {$watch(paused) || $watch(pending)} return
    set watch(pending) 1
    after idle qv::showlatest
}

# Files --watch has seen, in order, for keys n and N (a camera's run
# makes many: looked up in an array, not the list). Only the newest
# maxseen are kept: a directory that others write into costs the viewer a
# bounded amount of memory however many names it announces.
set qv::maxseen 100000
proc qv::seen {file} {
    variable watch
    variable seenset
    variable maxseen
    if {[info exists seenset($file)]} return
    set seenset($file) 1
    lappend watch(seen) $file
    if {[llength $watch(seen)] > $maxseen} {
        set cut [expr {[llength $watch(seen)] - $maxseen / 2}]
        foreach old [lrange $watch(seen) 0 [expr {$cut - 1}]] { unset seenset($old) }
        set watch(seen) [lrange $watch(seen) $cut end]
    }
}

proc qv::showlatest {} {
    variable watch
    set watch(pending) 0
    if {$watch(paused) || $watch(latest) eq "" || ![winfo exists .t1]} return
    set file $watch(latest)
    set watch(latest) {}
    if {[qv::openfile $file 1]} {
        update idletasks
        set watch(shownat) [clock milliseconds]
        incr watch(shows)
        set watch(shown) $file
    }
}

proc qv::pause {} {
    variable watch
    if {$watch(dir) eq ""} return
    set watch(paused) [expr {!$watch(paused)}]
    if {[winfo exists .t1]} { qv::title 1 }
    if {!$watch(paused) && $watch(notify) && $watch(latest) ne ""} {
        set watch(pending) 1
        after idle qv::showlatest
    }
}

# Without notification: a file is read once its size has not changed for
# settle ms (settle_odd when the size is not its format's), so a file
# still being written is never shown as a whole one.
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
    if {$newest eq "" || [catch {file lstat $newest st}]} return
    set size $st(size)
    set mtime $st(mtime)
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
    qv::seen $newest
    qv::openfile $newest 1
}

# The newest image file of dir: the latest modification time, then the
# last name. Only regular files count, looked at where they are: a
# symbolic link is not followed (its target could be a device, or on a
# mount that never answers), and the reader refuses one too.
proc qv::newest {dir} {
    set newest {}
    set best {}
    foreach f [glob -nocomplain -directory $dir *] {
        if {[string tolower [file extension $f]] ni $qv::watched} continue
        if {[catch {file lstat $f st}] || $st(type) ne "file"} continue
        set key [list $st(mtime) [qv::tail $f]]
        if {$best eq "" || [lsort -dictionary [list $best $key]] eq [list $best $key]} {
            set best $key
            set newest $f
        }
    }
    return $newest
}

# Whether a file has its format's size (known for HIS and PGM files;
# other kinds wait the shorter time).
proc qv::whole {file size} {
    switch -- [string tolower [file extension $file]] {
        .his { return [expr {$size == $qv::his_size}] }
        .pgm { return [expr {$size == 17 + 524288 || $size == 15 + 262144}] }
    }
    return 1
}
