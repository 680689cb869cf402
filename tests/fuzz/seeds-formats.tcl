# TIFF, FITS, .npy and PNG seeds (sourced by make-seeds.tcl): our own files
# of both classes and every compression, and cuts in headers and pixels.
foreach c {none deflate lzw} {
    b write_tiff $tmp/b-$c.tif -compress $c
    f write_tiff $tmp/f-$c.tif -compress $c
}
# An uncompressed file's directory comes after its pixels: cut there too.
seeds tiff $tmp/b-none.tif {0 4 8 100 524296 524400}
foreach n {b-deflate b-lzw f-none f-deflate f-lzw} {
    set d [slurp $tmp/$n.tif]
    seed tiff $n $d
    seed tiff $n-half [string range $d 0 [expr {[string length $d] / 2}]]
}
b write_fits $tmp/b.fits
seeds fits $tmp/b.fits {0 80 2880 3000 300000}
f write_fits $tmp/f.fits
seed fits float [slurp $tmp/f.fits]
# Structures that claim far more than they hold (the viewer's frames once
# expanded them): 5000 overlapping TIFF directories, a cube of 200000000 planes.
source [file join [file dirname [info script]] .. lib hostile-files.tcl]
seed tiff chain [hostile_tiff_chain 5000]
seed fits claims [hostile_fits_cube 200000000 10]
# Tables and cards that once read as success with wrong pixels: one
# StripOffsets entry for 512 strips, scaling cards without a number or
# with two.
seed tiff strips [hostile_tiff_strips]
seed fits bscale-empty [hostile_fits_scaling {BSCALE  =}]
seed fits bscale-text [hostile_fits_scaling {BSCALE  = 'abc'}]
seed fits bscale-huge [hostile_fits_scaling {BSCALE  =              1.0D400}]
seed fits bscale-twice [hostile_fits_scaling {BSCALE  =                    2} {BSCALE  =                    3}]
b write_npy $tmp/b.npy
seeds npy $tmp/b.npy {0 6 8 10 60 127 128 1000}
f write_npy $tmp/f.npy
seed npy float [slurp $tmp/f.npy]
seed npy fortran-big "\x93NUMPY\x01\x00v\0{'descr': '>f8', 'fortran_order': True, 'shape': (512, 512), }[string repeat { } 50]\n[string repeat \0 64]"
b write_png16 $tmp/b16.png
seeds png $tmp/b16.png {0 8 33 100}
b write_png $tmp/b8.png
seed png grey8 [slurp $tmp/b8.png]
