# Raw seeds (sourced by make-seeds.tcl): the first byte picks the options
# (bit 0 f32, bit 1 big-endian, the rest the offset), the file follows.
b write_raw $tmp/b.raw
f write_raw $tmp/f.raw -order big
set d [slurp $tmp/b.raw]
seed raw u16 "\x00$d"
seed raw u16-offset "\x10abcd$d"
seed raw u16-short "\x00[string range $d 0 1000]"
seed raw f32-big "\x03[slurp $tmp/f.raw]"
