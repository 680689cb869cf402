# Shared set-up of the test suites: tcltest, the package, the test-support
# extension, and the helpers of tests/lib/helpers.tcl (every suite ends
# with check_no_leaks). A suite begins with
#   source [file join [file dirname [info script]] common.tcl]
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

# The shared helpers (tests/lib/helpers.tcl), callable unqualified.
source [file join [file dirname [info script]] lib helpers.tcl]
namespace import ::quenz::test::*
