# Soak: makes and destroys COUNT objects of every class through every way
# an object can be owned and die, in ROUNDS rounds, then checks that the
# registry holds no more objects than before and that the process's
# resident memory stopped growing. Memory that a round leaks grows again in
# every round; memory that the allocator keeps for reuse (pools, free
# lists, what the first round's peaks left) levels off after the first. So
# the growth is judged from the end of the first round to the end of the
# last (with one round, from the start). Prints one line per class and
# path, the memory after each round, then a verdict; exits 1 when objects
# stayed registered, 2 when only the memory grew (which under valgrind is
# valgrind's own).
#
# Usage: tclsh soak.tcl COUNT [CLASS...]
#   (QUENZ_LIBDIR names the build, QUENZ_SOAK_ROUNDS the rounds, default 3)
set count [lindex $argv 0]
set rounds [expr {[info exists env(QUENZ_SOAK_ROUNDS)] ? $env(QUENZ_SOAK_ROUNDS) : 3}]
set only [lrange $argv 1 end]
set libdir [file normalize $env(QUENZ_LIBDIR)]
set auto_path [linsert $auto_path 0 $libdir]
package require quenzcore
load [file join $libdir libquenztest.so] Quenztest

proc rss_kib {} {
    set fd [open /proc/self/status]
    regexp {VmRSS:\s+(\d+)} [read $fd] -> kib
    close $fd
    return $kib
}

# ------------------------------------------------------------ materials
set dir [file join [expr {[info exists env(TMPDIR)] ? $env(TMPDIR) : "/tmp"}] quenz-soak-[pid]]
file mkdir $dir
set cells [file join $dir cells.txt]
set fd [open $cells w]
puts $fd "256 256 6  246 256 251 247 261 247 266 256 261 265 251 265"
close $fd
bild16 ::src
::src = 1000
bildfloat ::img ::src
set table [file join $dir table.tab]
expkurve ::k 0 0 0 0 0 0
::k table_write $table
::k -delete
set qrfile [file join $dir fit.qr]
quenztest_quiet 1  ;# (a fit reports one pixel's coefficients)
QRfit ::fit {::src ::src} {0 1} 2 1
quenztest_quiet 0
::fit write $qrfile
::fit -delete

# Constructor arguments per class. The curves are made with A = 0, which
# inverts at once: the soak is about ownership, not about inversion.
set ctor_args [dict create \
    bild16_base {} bild16 {} bildfloat_base {} bildfloat {} bildcomplex_base {} bildcomplex {} \
    expkurve {0 0 0 0 0 0} exp4kurve {0 0 0 0 0 0 0 0} tablekurve [list $table] \
    vec2d {1 2} surface {::img} Voronoischnitt [list ::img 256 256 $cells] \
    QRfit [list $qrfile] Parabelzentrum {::img 10}]
if {[llength $only]} { set ctor_args [dict filter $ctor_args script {c a} {expr {$c in $only}}] }

# ----------------------------------------------------------------- paths
# Each path makes one object of class $c (arguments $a) and lets it die.
set paths {
    -delete {
        $c ::o {*}$a
        ::o -delete
    }
    rename {
        $c ::o {*}$a
        rename ::o {}
    }
    delete_class {
        delete_$c [new_$c {*}$a]
    }
    disown_then_delete_class {
        $c ::o {*}$a
        ::o -disown
        delete_$c [::o cget -this]
    }
    acquire_by_wrapper {
        $c ::o -this [new_$c {*}$a]
        ::o -acquire
        ::o -delete
    }
    acquire_by_handle {
        set h [new_$c {*}$a]
        $h -acquire
        rename $h {}
    }
}
# Paths that only some classes have.
set extra_paths {
    vec2d {
        returned_by_value {
            rename [vec2d_+ ::v ::v] {}
            [vec2d_* ::v 2.0] -delete
        }
    }
    bildfloat {
        returned_pointer {
            delete_bildfloat [bildfloat_convolve ::img {1} 1 1]
        }
    }
    bildcomplex {
        inner_pointers {
            bildcomplex ::o
            for {set px 0} {$px < 4} {incr px} { bildcomplex_base_get ::o $px $px }
            ::o -delete
        }
    }
    surface {
        image_first {
            bildfloat ::i
            surface ::o ::i
            ::i -delete
            ::o -delete
        }
    }
    Voronoischnitt {
        image_first {
            bildfloat ::i
            Voronoischnitt ::o ::i 256 256 $::cells
            ::i -delete
            ::o -delete
        }
    }
    Parabelzentrum {
        image_first {
            bildfloat ::i
            Parabelzentrum ::o ::i 10
            Parabelzentrum_koeff_get ::o
            ::i -delete
            ::o -delete
        }
    }
}
vec2d ::v 3 4

proc run_path {c a body n} {
    # (the bodies use c, a, h and px; the count is kept in __n)
    set t0 [clock microseconds]
    for {set __n 0} {$__n < $n} {incr __n} { eval $body }
    return [expr {[clock microseconds] - $t0}]
}

# One round of everything first, so that the allocator's and Tcl's pools
# are warm before the memory is measured.
quenztest_quiet 1
dict for {c a} $ctor_args {
    dict for {p body} $paths { run_path $c $a $body 1 }
}
quenztest_quiet 0
set live0 [quenztest_live]
set rss0 [rss_kib]

# Every path of every class, count objects each; the time of each path is
# added up over the rounds in ::us.
proc soak_round {count} {
    global ctor_args paths extra_paths
    dict for {c a} $ctor_args {
        set ps $paths
        if {[dict exists $extra_paths $c]} { set ps [dict merge $ps [dict get $extra_paths $c]] }
        dict for {p body} $ps {
            quenztest_quiet 1
            dict incr ::us "$c $p" [run_path $c $a $body $count]
            quenztest_quiet 0
            incr ::total $count
        }
    }
    # Objects owned by commands of an interpreter die with the interpreter,
    # tried in batches of 100 (a new interpreter costs more than the
    # objects); classes that need an image in that interpreter are made
    # there from one of its own.
    dict for {c a} $ctor_args {
        if {$c in {surface Voronoischnitt Parabelzentrum}} {
            set a [lreplace $a 0 0 img]
            set prep {bildfloat img}
        } else {
            set prep {}
        }
        quenztest_quiet 1
        set t0 [clock microseconds]
        for {set done 0} {$done < $count} {incr done 100} {
            interp create child
            child eval [list set auto_path $::auto_path]
            child eval {package require quenzcore}
            child eval $prep
            set n [expr {min(100, $count - $done)}]
            for {set i 0} {$i < $n} {incr i} { child eval [list $c o$i {*}$a] }
            interp delete child
        }
        dict incr ::us "$c interp_deleted" [expr {[clock microseconds] - $t0}]
        quenztest_quiet 0
        incr ::total $count
    }
}

set us [dict create]
set total 0
set rss_after {}
set live_after {}
set t0 [clock seconds]
for {set r 0} {$r < $rounds} {incr r} {
    soak_round $count
    lappend rss_after [rss_kib]
    lappend live_after [quenztest_live]
}
set seconds [expr {[clock seconds] - $t0}]

dict for {cp t} $us {
    lassign $cp c p
    puts [format "%-16s %-26s %8d  %8.1f us each" $c $p $count [expr {double($t) / ($count * $rounds)}]]
}
set live1 [lindex $live_after end]
set rss1 [lindex $rss_after end]
set from [expr {$rounds > 1 ? [lindex $rss_after 0] : $rss0}]
puts "objects made and destroyed: $total in $rounds rounds, $seconds s"
puts "live objects before/after: $live0 $live1"
puts "resident memory before/after: $rss0 KiB $rss1 KiB"
puts "resident memory after each round: [join $rss_after { }] KiB"
puts "growth judged: [expr {$rss1 - $from}] KiB (from the end of [expr {$rounds > 1 ? "round 1" : "the warm-up"}])"
::v -delete
::img -delete
::src -delete
file delete -force $dir
# Objects: none left after any round. Memory: within eight images.
set objects_ok [expr {[lsort -unique $live_after] eq $live0}]
set memory_ok [expr {$rss1 - $from < 8 * 1024}]
puts "soak: [expr {$objects_ok && $memory_ok ? "ok" : "FAILED"}]"
exit [expr {!$objects_ok ? 1 : !$memory_ok ? 2 : 0}]
