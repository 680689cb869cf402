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

# A little-endian TIFF of 512 x 512 16-bit pixels in strips of one row
# whose StripOffsets has one entry for the 512 strips (StripByteCounts has
# all 512): libtiff fills the rest of the table with zeros and reads rows
# 1 to 511 from the file's header. Row 0 (1024 bytes, counts 0 to 511) is
# the only data; about 3 KB.
proc hostile_tiff_strips {} {
    set entries {{256 3 1 512} {257 3 1 512} {258 3 1 16} {259 3 1 1} {262 3 1 1}
                 {273 4 1 @data} {277 3 1 1} {278 3 1 1} {279 4 512 @counts}}
    set counts [expr {8 + 2 + 12 * [llength $entries] + 4}]
    set data [expr {$counts + 4 * 512}]
    set d [binary format a2si II 42 8][binary format s [llength $entries]]
    foreach e $entries {
        lassign $e tag type count value
        set value [string map [list @data $data @counts $counts] $value]
        append d [expr {$type == 3 ? [binary format ssiss $tag $type $count $value 0] : [binary format ssii $tag $type $count $value]}]
    }
    append d [binary format i 0] [binary format i512 [lrepeat 512 1024]]
    for {set x 0} {$x < 512} {incr x} { append d [binary format s $x] }
    return $d
}

# A FITS primary header of 512 x 512 16-bit pixels, every stored value 1,
# with `args` (cards of up to 80 columns: scaling cards such as
# "BSCALE  =") after the mandatory cards.
proc hostile_fits_scaling {args} {
    set cards [list {SIMPLE  =                    T} {BITPIX  =                   16} \
                   {NAXIS   =                    2} {NAXIS1  =                  512} \
                   {NAXIS2  =                  512} {*}$args END]
    set data [string repeat \x00\x01 [expr {512 * 512}]]
    return [format %-2880s [join [lmap c $cards { format %-80s $c }] ""]][format %s $data][string repeat \0 [expr {2880 - [string length $data] % 2880}]]
}
