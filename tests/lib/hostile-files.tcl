# Files whose structure claims far more than they hold, for the suites and
# the fuzz seeds: each returns the file's bytes.

# A FITS primary header of 512 x 512 x `planes` 16-bit pixels, with
# `blocks` blocks of zeros where the data should be.
proc hostile_fits_cube {planes blocks} {
    set cards [list {SIMPLE  =                    T} {BITPIX  =                   16} \
                   {NAXIS   =                    3} {NAXIS1  =                  512} \
                   {NAXIS2  =                  512} [format {NAXIS3  = %20d} $planes] END]
    return [format %-2880s [join [lmap c $cards { format %-80s $c }] ""]][string repeat \0 [expr {2880 * $blocks}]]
}

# A little-endian TIFF of `n` overlapping directories of 4096 entries:
# directory i at 0x30000 + 12 i, every 12-byte step of the region both a
# count of 4096 and an entry (a SHORT), the next-directory links falling on
# entries too. About 0.25 MB, and n * 4096 entries to whoever expands them.
proc hostile_tiff_chain {n} {
    set base 0x30000
    set size [expr {$base + 12 * $n + 49154 + 16}]
    set d [binary format a2si II 42 $base][string repeat \0 [expr {$base - 8}]]
    append d [string repeat [binary format a2ssis "\x00\x10" 256 3 1 0] [expr {($size - $base) / 12 + 1}]]
    for {set i 0} {$i < $n} {incr i} {
        set at [expr {$base + 12 * $i + 49154}]
        set d [string replace $d $at [expr {$at + 3}] [binary format i [expr {$i < $n - 1 ? $base + 12 * ($i + 1) : 0}]]]
    }
    return $d
}
