# quenz-view's own procedures in the viewer's interpreter, with or without
# its layer: opening a file for the plain viewer, running a typed command,
# leaving when nothing is shown. Evaluated after the viewer script.

namespace eval quenzview {}

# The viewer's thread reads regular files only: a FIFO, a device or a
# socket could hold its event loop for ever (the library's read policy of
# this thread, under the name the layer uses; a watched directory's files
# are read without following links, qv::reading).
interp alias {} quenzview_reads {} quenz::read_policy
quenzview_reads regular follow

# --watch hears of finished files through the library's quenz::watch (the
# kernel's inotify; not made where there is none). The layer looks for it
# under this name, and without it looks at the directory itself.
if {[llength [info commands quenz::watch]]} {
    interp alias {} quenzview_notify {} quenz::watch
}

# Reads one file into window nr for the plain viewer; a file that cannot
# be read is reported here, since the viewer drops errors of queued
# scripts. The name reaches the library only (identify_file), never
# Tcl's open.
# A library error about file in plain words, the file named once: without
# the error class the binding puts first ("RuntimeError ") and without the
# file's name where the message repeats it.
proc quenzview::plain {file msg} {
    regsub {^[A-Z][A-Za-z]*Error } $msg {} msg
    set prefix "$file: "
    while {[string first $prefix $msg] == 0} {
        set msg [string range $msg [string length $prefix] end]
    }
    return $msg
}

proc quenzview::plainopen {file nr} {
    set b [new_bild16]
    try {
        if {[catch {identify_file $file} id]} {
            error [regsub {^RuntimeError (couldn't open )} $id {\1}]
        }
        # "P5" first: a PGM file; anything else is read as a HIS file
        if {[lindex $id 0] eq "pgm"} {
            bild16_read_pgm $b $file
        } else {
            bild16_read_his $b $file
        }
        showbild $b $nr
    } on error msg {
        puts stderr "quenz-view: $file: [quenzview::plain $file $msg]"
    } finally {
        delete_bild16 $b
    }
}

# A typed command: its result on standard output, its error on standard
# error (queued scripts of other hosts stay silent). It first tells the
# reader that it has left the queue (quenzview_taken).
proc quenzview::console {cmd size} {
    catch {quenzview_taken $size}
    set rc [catch {uplevel #0 $cmd} r]
    if {$rc == 1} {
        puts stderr "error: $r"
    } elseif {$rc == 0 && $r ne ""} {
        puts $r
    }
}

# After the files given: when none of them could be shown and nothing
# else keeps the program (the console flag, a watched directory), it ends
# with status 1 after the messages.
proc quenzview::nothing_shown {} {
    if {![llength [winfo children .]]} {
        flush stdout
        exit 1
    }
}

# After the end of the input: end the viewer (destroy its main window)
# once no top-level window remains.
proc quenzview::last {} {
    if {![llength [winfo children .]]} { destroy . }
}

proc quenzview::at_end {} {
    bind Toplevel <Destroy> {+after idle quenzview::last}
    quenzview::last
}
