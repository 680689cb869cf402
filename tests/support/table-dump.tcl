# Prints everything a script can see of the command table, so that a
# refactoring of binding/ can be compared with a dump taken before it:
#   tests/run-tcl BUILD_DIR tests/support/table-dump.tcl > before.txt
#   ... change, rebuild ...
#   tests/run-tcl BUILD_DIR tests/support/table-dump.tcl | diff before.txt -
# The output: the table's entries in creation order, every signature's
# format and argument-type texts, every class's methods and attributes,
# the "Invalid method" message of an object of every class, and
# `info commands` of fresh interpreters with quenz and with quenzcore.
set libdir [file normalize $::env(QUENZ_LIBDIR)]
set auto_path [linsert $auto_path 0 $libdir]
package require quenz
load [file join $libdir libquenztest.so] Quenztest

proc section {title} { puts "==== $title" }

section entries
foreach e [quenztest_entries] { puts $e }
section signatures
foreach s [quenztest_signatures] { puts $s }
section classes
foreach c [quenztest_classes] { puts $c }

# One object of every class, for its object command's messages.
set dir [file join [pwd] table-dump-[pid]]
file mkdir $dir
set vorofile [file join $dir cells.txt]
set fd [open $vorofile w]
puts $fd "256 256 6  246 256 251 247 261 247 266 256 261 265 251 265"
close $fd
set tablefile [file join $dir table.tab]
set exp60 {60000 0.5 0.05 2.0 0.3 0.3}
expkurve ek {*}$exp60
ek table_write $tablefile
bild16 b16
bildfloat bf
set makers [dict create \
    bild16_base      {bild16_base o} \
    bild16           {bild16 o} \
    bildfloat_base   {bildfloat_base o} \
    bildfloat        {bildfloat o} \
    bildcomplex_base {bildcomplex_base o} \
    bildcomplex      {bildcomplex o} \
    eichkurve        {eichkurve o -this [ek cget -this]} \
    expkurve         {expkurve o {*}$exp60} \
    exp4kurve        {exp4kurve o 50000 0.4 0.3 0.0 0.5 0.1 1.0 0.02} \
    tablekurve       {tablekurve o $tablefile} \
    vec2d            {vec2d o 1 2} \
    surface          {surface o bf} \
    Voronoischnitt   {Voronoischnitt o bf 256 256 $vorofile} \
    QRfit            {QRfit o [list [b16 cget -this] [b16 cget -this]] {0 1} 2 1} \
    Parabelzentrum   {Parabelzentrum o bf 10} \
]
section "invalid method"
foreach c [quenztest_classes] {
    set cls [lindex $c 0]
    if {![dict exists $makers $cls]} {
        puts "$cls: no fixture"
        continue
    }
    # (a Voronoi cell announces itself on standard error)
    quenztest_quiet 1
    eval [dict get $makers $cls]
    quenztest_quiet 0
    catch {o nosuch} msg
    puts "$cls: $msg"
    catch {o cget -nosuch} msg
    puts "$cls: $msg"
    rename o {}
}
rename ek {}
rename bf {}
rename b16 {}
file delete -force $dir

# quenz in a fresh interpreter here; quenzcore (the same library, which
# cannot be loaded twice into one process) in a process of its own.
set fresh_commands {
    interp create fresh
    set plain [fresh eval {info commands}]
    fresh eval [list set auto_path $auto_path]
    fresh eval [list package require $pkg]
    foreach c [fresh eval {info commands}] {
        if {$c ni $plain} { puts $c }
    }
    interp delete fresh
}
section "info commands (quenz)"
set pkg quenz
eval $fresh_commands
section "info commands (quenzcore)"
flush stdout
puts -nonewline [exec [info nameofexecutable] << [list apply [list {auto_path pkg} $fresh_commands] $auto_path quenzcore]]
exit
