# The two front ends offer the same things: every class's Tcl methods and
# every free Tcl command, as the command table lists them, against the
# module. A name Python spells its own way is translated by the one rule
# below; anything else Python lacks must be named, with its reason, under
# "What Tcl has and Python does not" in doc/python.md.
import os
import re

import quenz
from conftest import SOURCE, run_tcl

# Tcl's operator methods and their Python spelling.
SPELLING = {"=": "assign", "+=": "__iadd__", "-=": "__isub__", "*=": "__imul__", "/=": "__itruediv__",
            "+": "__add__", "-": "__sub__", "*": "__mul__", "/": "__truediv__"}


def tcl_inventory():
    out, _ = run_tcl("""
load [file join $env(QUENZ_LIBDIR) libquenztest.so] Quenztest
set classes {}
foreach c [quenztest_classes] { puts [list class [lindex $c 0] [lindex $c 1]]; lappend classes [lindex $c 0] }
foreach c [lsort [concat [info commands] [lmap q [info commands quenz::*] { string trimleft $q : }]]] {
    if {[string match quenztest* $c] || [info procs $c] ne "" || [info procs ::$c] ne ""} continue
    if {[regexp {^(new|delete)_} $c]} continue
    set mine 0
    foreach k $classes { if {[string match ${k}_* $c]} { set mine 1 } }
    # Tcl's own commands have no underscore; quenz's free commands have one or a namespace.
    if {!$mine && ([string match *_* $c] || [string match quenz::* $c])} { puts [list free $c] }
}
""")
    classes, free = {}, []
    for line in out.splitlines():
        kind, rest = line.split(" ", 1)
        if kind == "class":
            name, methods = re.match(r"(\S+) \{?(.*?)\}?$", rest).groups()
            classes[name] = methods.split()
        else:
            free.append(rest)
    return classes, free


def documented_gaps():
    with open(os.path.join(SOURCE, "doc", "python.md"), encoding="utf-8") as f:
        text = f.read()
    section = text.split("## What Tcl has and Python does not\n", 1)[1].split("\n## ", 1)[0]
    return set(re.findall(r"^- `([^`]+)`", section, re.M))


def test_every_tcl_method_and_command_is_in_python_or_named():
    classes, free = tcl_inventory()
    gaps = documented_gaps()
    missing = []
    for cls, methods in classes.items():
        py_cls = getattr(quenz, cls, None)
        if py_cls is None:
            if cls not in gaps:
                missing.append(cls)
            continue
        for m in methods:
            if not hasattr(py_cls, SPELLING.get(m, m)) and f"{cls}.{m}" not in gaps:
                missing.append(f"{cls}.{m}")
    for c in free:
        name = c.replace("quenz::", "")
        if not hasattr(quenz, name) and c not in gaps:
            missing.append(c)
    assert missing == []
    # And the list names no gap that is closed (or never was).
    stale = [g for g in gaps if ("." in g and hasattr(getattr(quenz, g.split(".")[0], None), g.split(".")[1]))
             or ("." not in g and hasattr(quenz, g.replace("quenz::", "")))]
    assert stale == []


def test_listings_and_rectangles_answer_as_in_tcl(tmp_path):
    # The listings and identification give Tcl's values; a rectangle is
    # four arguments in both languages (and a tuple still works in Python).
    b = quenz.bild16()
    b.assign(1234)
    b.set(3, 2, 9)
    b.write_tiff(str(tmp_path / "a.tif"))
    b.write_fits(str(tmp_path / "a.fits"))
    out, _ = run_tcl("""
lassign $argv tif fits
puts [tiff_pages $tif]
puts [lindex [tiff_tags $tif 0] 0]
puts [dict get [lindex [fits_hdus $fits] 0] axes]
puts [lindex [fits_cards $fits 1] 0]
puts [identify_file $tif]
bild16 b; b = 1234; b set 3 2 9
puts [dict get [imgstats b 0 0 9 9] min]
puts [histogram b 2 0 2000 0 0 9 9]
""", tmp_path / "a.tif", tmp_path / "a.fits")
    tcl = out.splitlines()
    tag = quenz.tiff_tags(str(tmp_path / "a.tif"), 0)[0]
    py = [str(quenz.tiff_pages(str(tmp_path / "a.tif"))),
          " ".join(map(str, tag)),
          " ".join(map(str, quenz.fits_hdus(str(tmp_path / "a.fits"))[0]["axes"])),
          quenz.fits_cards(str(tmp_path / "a.fits"), 1)[0],
          " ".join(map(str, quenz.identify_file(str(tmp_path / "a.tif")))),
          str(quenz.imgstats(b, 0, 0, 9, 9)["min"]),
          " ".join(map(str, quenz.histogram(b, 2, 0, 2000, 0, 0, 9, 9)))]
    assert py == tcl
    assert quenz.imgstats(b, (0, 0, 9, 9)) == quenz.imgstats(b, 0, 0, 9, 9)
    assert [f["name"] for f in quenz.formats()] == ["png", "tiff", "fits", "npy", "pgm", "gnuplot", "his", "raw"]
