# Timing of the inverse-table construction of the calibration curves and of
# apply_eichkurve on a whole image, beside a vectorised numpy false-position
# solve of the same 65536 counts in the same run.
# Usage: tests/run-tcl build bench/curves.tcl   (taskset -c 0 ... for one core)
set ::auto_path [linsert $::auto_path 0 [file normalize $::env(QUENZ_LIBDIR)]]
package require quenz

proc ms {script n} {
    set best Inf
    for {set i 0} {$i < $n} {incr i} {
        set t [lindex [time {uplevel 1 $script}] 0]
        if {$t < $best} { set best $t }
    }
    format %.3f [expr {$best / 1000.0}]
}

set exp {60000 0.5 0.05 2.0 0.3 0.3}
set exp4 {60000 0.3 0.3 0.2 2.0 0.5 0.1 0.02}
puts "new_expkurve $exp: [ms {delete_expkurve [new_expkurve {*}$exp]} 5] ms"
puts "new_exp4kurve $exp4: [ms {delete_exp4kurve [new_exp4kurve {*}$exp4]} 5] ms"

set k [new_expkurve {*}$exp]
set b [new_bild16]
for {set y 0} {$y < 512} {incr y} {
    for {set x 0} {$x < 512} {incr x} { bild16_base_set $b $y $x [expr {(97 * $x + 131 * $y) % 65536}] }
}
set f [new_bildfloat $b]
set img [new_bildfloat]
puts "apply_eichkurve, whole image: [ms {bildfloat_= $img $f; bildfloat_apply_eichkurve $img $k} 20] ms\
      (including a copy to restore the counts)"
puts "bildfloat_= (one image copy, for scale): [ms {bildfloat_= $img $f} 20] ms"

set tab [file join [pwd] curves-bench.tab]
eichkurve_table_write $k $tab
puts [exec /usr/bin/python3 -c {
import sys, time, numpy as np
A, g1, g2, g3, f1, f2 = map(float, sys.argv[1:7])
ours = np.fromfile(sys.argv[7], dtype='<f4', offset=12)
f = lambda x: A * (f1 * np.exp(-g1 * x) + f2 * np.exp(-g2 * x) + (1 - f1 - f2) * np.exp(-g3 * x))

def table():
    y = np.arange(65536, dtype=np.float64)
    out = np.empty_like(y)
    f_lo, f_hi = f(0.0), f(40.0)   # a falling curve
    out[y > f_lo] = 0.0
    out[y < f_hi] = 40.0
    a = np.nonzero((y <= f_lo) & (y >= f_hi))[0]
    lo, hi = np.zeros(a.size), np.full(a.size, 40.0)
    flo, fhi, ya = np.full(a.size, f_lo), np.full(a.size, f_hi), y[a]
    for _ in range(10000):
        if a.size == 0:
            break
        x = lo + (ya - flo) / (fhi - flo) * (hi - lo)
        fx = f(x)
        up = -(fx - ya) > 0
        hi, fhi = np.where(up, x, hi), np.where(up, fx, fhi)
        lo, flo = np.where(up, lo, x), np.where(up, flo, fx)
        done = ~(np.abs(fx - ya) > 0.1)
        out[a[done]] = x[done]
        keep = ~done
        a, lo, hi, flo, fhi, ya = a[keep], lo[keep], hi[keep], flo[keep], fhi[keep], ya[keep]
    return out

best = 1e9
for _ in range(5):
    t = time.perf_counter()
    t_np = table()
    best = min(best, time.perf_counter() - t)
diff = np.count_nonzero(t_np.astype(np.float32) != ours)
print(f"numpy vectorised false position, 65536 counts: {best * 1000:.1f} ms"
      f" ({diff} entries differ from quenz's at single precision)")
} {*}$exp $tab]
file delete $tab
delete_expkurve $k
delete_bild16 $b; delete_bildfloat $f; delete_bildfloat $img
exit
