# Helpers of the file-format suites (source after common.tcl and
# images.tcl): Python oracles and exact comparisons of images.

# Runs a Python script with numpy and the reference-file helpers below; the
# arguments are in sys.argv[1:]. Returns what it prints.
set ::py_prelude {
import sys, numpy as np
N = 512
def read_his(p):
    return np.fromfile(p, dtype='<u2', offset=100).reshape(N, N)
def write_his(p, a):
    with open(p, 'wb') as f:
        f.write(bytes(100) + np.asarray(a, dtype='<u2').tobytes())
def read_gp(p):
    return np.fromfile(p, dtype='<f4').reshape(N + 1, N + 1)[1:, 1:]
def write_gp(p, a):
    m = np.zeros((N + 1, N + 1), dtype='<f4')
    m[0, 0] = N
    m[1:, 1:] = a
    m.tofile(p)
# The test images: distinct counts, and floats of every kind.
def ramp16():
    return ((np.arange(N * N, dtype=np.int64) * 40503 + 7) % 65536).astype(np.uint16).reshape(N, N)
def floats():
    a = (ramp16().astype(np.float64) / 3000.0 - 5.0).astype(np.float32)
    a[0, :4] = [np.nan, np.inf, -np.inf, -0.0]
    a[1, :2] = [1e-40, 3.4e38]
    return a
# Same shape and type, and the same bytes (so NaN equals NaN, -0 is not 0).
def same(a, b):
    a, b = np.ascontiguousarray(a), np.ascontiguousarray(b)
    return a.shape == b.shape and a.dtype == b.dtype and a.tobytes() == b.tobytes()
}
proc py {script args} {
    oracle /usr/bin/python3 -c "$::py_prelude\n$script" {*}$args
}
proc pymodule {m} { expr {![catch {oracle /usr/bin/python3 -c "import $m"}]} }
# Runs another program: never with the sanitizer runtime a sanitizer
# build preloads into tclsh.
proc oracle {args} { exec env -u LD_PRELOAD {*}$args }

# The pixel bytes of an image, for exact comparisons (a bildfloat's bit
# patterns, NaN included).
proc bytes16 {img} {
    bild16_write_his $img [tmp bytes.his]
    string range [slurp [tmp bytes.his]] 100 end
}
proc bytesf {img} {
    bildfloat_write_gnuplot $img [tmp bytes.gp]
    slurp [tmp bytes.gp]
}
# The reference images, made by Python and read through HIS and gnuplot.
proc ramp16 {img} {
    py {write_his(sys.argv[1], ramp16())} [tmp ramp.his]
    bild16_read_his $img [tmp ramp.his]
}
proc floats {img} {
    py {write_gp(sys.argv[1], floats())} [tmp floats.gp]
    bildfloat_read_gnuplot $img [tmp floats.gp]
}
# Files left in the scratch directory by writers (temporaries included).
proc leftovers {pattern} { lsort [glob -nocomplain -tails -directory $::tmpdir $pattern] }
