# The remote control: the token, then requests as the clients (quenz::view,
# quenz-view --send) frame them, one connection per seed.
proc remote_frame {text} {
    set data [encoding convertto utf-8 $text]
    return "[string length $data]\n$data"
}
set his [binary format x100s262144 [lrepeat 262144 700]]
set n 0
foreach requests [list \
    {{show 1 /tmp/x.his} windows} \
    [list [list showbytes 1 $his run7.his] {range 1 800 900} {range 1 auto}] \
    {{cmap 1 heat log} {zoom 1 3} {zoom 1 fit}} \
    {{marker 1 circle 100 100 5} {marker 1 cross 10.5 20 4 red} {marker 1 text 5 5 {a b}} {marker 1 list} {marker 1 clear}} \
    {{marker 1 load /tmp/points.txt cross 4 red} {snapshot 1 /tmp/snap.png}} \
    {{show 05 x} {zoom 1 17} {cmap 1 plasma} {exec touch x}}] {
    set data [remote_frame tok]
    foreach r $requests { append data [remote_frame $r] }
    seed remote seed[incr n] $data
}
