# Timing of the per-pixel fit and of polyfit_correct, beside numpy's batched
# QR + triangular solve on the same data in the same run.
# Usage: tests/run-tcl build bench/qrfit.tcl   (taskset -c 0 ... for one core)
set ::auto_path [linsert $::auto_path 0 [file normalize $::env(QUENZ_LIBDIR)]]
package require quenz

# Five exposures: count(j, y, x) = 12000·j + (37·x + 91·y) mod 9000 + 500.
set refs {}
for {set j 0} {$j < 5} {incr j} {
    set b [new_bild16]
    for {set y 0} {$y < 512} {incr y} {
        for {set x 0} {$x < 512} {incr x} {
            bild16_base_set $b $y $x [expr {12000 * $j + (37 * $x + 91 * $y) % 9000 + 500}]
        }
    }
    lappend refs $b
}
set refw {0.05 0.25 0.5 0.75 0.95}

# The best of n runs, in milliseconds.
proc ms {script n} {
    set best Inf
    for {set i 0} {$i < $n} {incr i} {
        set t [lindex [time {uplevel 1 $script}] 0]
        if {$t < $best} { set best $t }
    }
    format %.2f [expr {$best / 1000.0}]
}

foreach order {4 2} {
    puts "QRfit 5 refs order $order: [ms {delete_QRfit [new_QRfit $refs $refw 5 $order]} 5] ms"
}
set q [new_QRfit $refs $refw 5 4]
set img [new_bildfloat]
bildfloat_= $img 0.4
puts "polyfit_correct order 4: [ms {bildfloat_polyfit_correct $img $q} 20] ms"
set copy [new_bildfloat]
puts "bildfloat_= (one image copy, for scale): [ms {bildfloat_= $copy $img} 20] ms"

puts [exec /usr/bin/python3 -c {
import time, numpy as np
y, x = np.mgrid[0:512, 0:512]
c = np.stack([12000 * j + (37 * x + 91 * y) % 9000 + 500 for j in range(5)], -1).reshape(-1, 5)
v = c / 65535.0
r = np.array([0.05, 0.25, 0.5, 0.75, 0.95], dtype=np.float32).astype(np.float64)
for order in (4, 2):
    best = 1e9
    for _ in range(3):
        t = time.perf_counter()
        A = v[:, :, None] ** np.arange(order)
        q, R = np.linalg.qr(A)
        qtb = np.einsum('pmk,m->pk', q, r)
        coef = np.linalg.solve(R, qtb[:, :, None])[:, :, 0].astype(np.float32)
        best = min(best, time.perf_counter() - t)
    print(f"numpy batched qr + solve order {order}: {best * 1000:.1f} ms")
}]
exit
