# Shared set-up of the test suites: tcltest, the package, the test-support
# extension, and a check that a suite leaves no objects behind.
package require tcltest 2
namespace import ::tcltest::*
set ::libdir [file normalize $::env(QUENZ_LIBDIR)]
set ::auto_path [linsert $::auto_path 0 $::libdir]
if {[info exists ::quenz_core]} {
    package require quenzcore
} else {
    package require quenz
}
load [file join $::libdir libquenztest.so] Quenztest
set ::live_at_start [quenztest_live]
# Under the sanitizer build (its runtime preloaded into tclsh) freed memory
# is held in quarantine and a failed allocation is fatal, not bad_alloc.
set ::sanitized [expr {[info exists ::env(QUENZ_PRELOAD)] && $::env(QUENZ_PRELOAD) ne ""}]
set ::tmpdir [makeDirectory quenz-tmp]

# The error result and error code of a script, as one list.
proc err {script} {
    set rc [catch {uplevel 1 $script} msg]
    if {$rc != 1} { return [list ok $msg] }
    return [list $msg $::errorCode]
}
proc tmp {name} { file join $::tmpdir $name }

# Every suite ends with this: the objects it made are all gone.
proc check_no_leaks {name} {
    test $name-leaks {the suite leaves no live objects} -body {
        expr {[quenztest_live] - $::live_at_start}
    } -result 0
    removeDirectory quenz-tmp
    cleanupTests
    # Tk would otherwise keep the process in its event loop.
    exit
}
