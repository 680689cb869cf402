# What the C++ side writes to standard output and standard error cannot be
# caught inside the interpreter, so such tests run their script in a child
# tclsh with the package loaded. Source after common.tcl.

# Runs script in a child interpreter; returns {stdout stderr result}: the
# child's complete output streams and the script's result.
proc console {script} {
    set f [tmp console.tcl]
    set resf [tmp console.res]
    set fd [open $f w]
    fconfigure $fd -encoding utf-8
    puts $fd [list set ::auto_path $::auto_path]
    puts $fd "package require quenz"
    puts $fd [list set r [list eval $script]]
    puts $fd "set fd \[open [list $resf] w\]; puts -nonewline \$fd \[eval \$r\]; close \$fd"
    puts $fd exit
    close $fd
    set errf [tmp console.err]
    set out [exec -keepnewline [info nameofexecutable] $f 2> $errf]
    set fd [open $errf]
    fconfigure $fd -encoding utf-8
    set err [read $fd]
    close $fd
    set fd [open $resf]
    set result [read $fd]
    close $fd
    list $out $err $result
}

# The "." and ":" marks of a fit's standard error, without the solver's
# Diagonal-elem lines.
proc fit_marks {err} {
    regsub -all {Diagonal-elem\. [0-9]+ = 0\n} $err {} err
    regsub -all {[^.:]} $err {}
}
