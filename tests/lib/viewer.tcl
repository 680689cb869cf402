# A quenz-view program driven by a suite: started with a pipe to its
# standard input; `ask SCRIPT` runs SCRIPT in the viewer's interpreter and
# returns its result (or raises its error). A probe's answer is the line
# "R<n> <code> <result>".
proc viewer_open {args} {
    set ::errfile [tmp viewer.err]
    set ::seen {}
    set ::vf [open |[list $::quenzview {*}$args 2> $::errfile] r+]
    fconfigure $::vf -buffering line -blocking 0
    fileevent $::vf readable viewer_readable
}
proc viewer_readable {} {
    while {[gets $::vf line] >= 0} { lappend ::seen $line }
    if {[eof $::vf]} { fileevent $::vf readable {}; lappend ::seen <eof> }
    set ::vchanged 1
}
proc wait_for {pattern {ms 10000}} {
    set deadline [expr {[clock milliseconds] + $ms}]
    while {1} {
        set i [lsearch -glob $::seen $pattern]
        if {$i >= 0} { return [lindex $::seen $i] }
        if {"<eof>" in $::seen || [clock milliseconds] > $deadline} {
            return -code error "no line like '$pattern' in: $::seen"
        }
        set id [after 50 {set ::vchanged 0}]
        vwait ::vchanged
        after cancel $id
    }
}
# (::answer_ms: how long the viewer may take to answer a probe.)
proc ask {script {ms {}}} {
    if {$ms eq ""} { set ms [expr {[info exists ::answer_ms] ? $::answer_ms : 10000}] }
    set tag R[incr ::probes]
    puts $::vf [list apply {{tag s} {
        set rc [catch {uplevel #0 $s} r]
        puts [list $tag $rc $r]
    }} $tag $script]
    lassign [wait_for "$tag *" $ms] -> rc r
    if {$rc} { return -code error $r }
    return $r
}
proc pause {ms} { after $ms {set ::paused 1}; vwait ::paused }
# Waits until the file exists (the viewer's token file, say).
proc wait_for_file {file {ms 10000}} {
    set deadline [expr {[clock milliseconds] + $ms}]
    while {![file exists $file]} {
        if {"<eof>" in $::seen || [clock milliseconds] > $deadline} { error "no $file" }
        pause 50
    }
}
# quenz-view --send from another process: {status output}.
proc send_remote {args} {
    set rc [catch {exec $::quenzview --send {*}$args 2>@1} out]
    list $rc [regsub {\nchild process exited abnormally$} $out {}]
}
