"""The per-exposure reduction of examples/reduce.tcl, in Python: read the HIS
exposure, subtract the dark frame, calibrate every pixel (QRfit), repair the
bad pixels, convert to height through the calibration curve, smooth
(Gaussian 2.7) and measure; write the height map (gnuplot matrix) and its
statistics (imgstats: a line "n min max sum mean std median nan") as
OUTDIR/<name>.bin and OUTDIR/<name>.stats. Each output appears whole or not
at all: it is written under a hidden temporary name in OUTDIR and renamed
into place. The files are byte for byte those reduce.tcl writes.

Run directly:  python3 reduce.py CALDIR OUTDIR file.his ...
or from another script:  r = Reduction(CALDIR, OUTDIR); r.one("file.his")
CALDIR holds dark.his, badpix.pgm, calibration.qrfit and curve.tab
(examples/calibrate.tcl makes the last two).
"""
import os
import sys
import tempfile

import quenz


class Reduction:
    def __init__(self, caldir, outdir):
        self.outdir = os.path.abspath(outdir)
        os.makedirs(self.outdir, exist_ok=True)
        darkraw = quenz.bild16(os.path.join(caldir, "dark.his"))
        self.dark = quenz.bildfloat(darkraw)
        self.badmap = quenz.bild16()
        self.badmap.read_pgm(os.path.join(caldir, "badpix.pgm"))
        self.cal = quenz.QRfit(os.path.join(caldir, "calibration.qrfit"))
        self.curve = quenz.tablekurve(os.path.join(caldir, "curve.tab"))
        self.raw = quenz.bild16()
        self.img = quenz.bildfloat()

    def one(self, file):
        """Reduces one exposure; returns its statistics line."""
        raw, img = self.raw, self.img
        raw.read_his(file)
        img.from_bild16(raw)
        img -= self.dark
        img.polyfit_correct(self.cal)
        img.badpix_correct(self.badmap)
        img.apply_eichkurve(self.curve)
        img.gaussian(2.7)
        name = os.path.splitext(os.path.basename(file))[0]
        img.write_gnuplot(os.path.join(self.outdir, name + ".bin"))
        # (REDUCE_STATS=0 in the environment leaves the statistics out)
        if os.environ.get("REDUCE_STATS") == "0":
            return None
        line = stats(img)
        write_text(os.path.join(self.outdir, name + ".stats"), line + "\n")
        return line


UMASK = os.umask(0o022)
os.umask(UMASK)


def write_text(path, text):
    """text to path, whole or not at all: a fresh hidden temporary beside it
    (O_EXCL under a random name: never a name or link someone else made),
    renamed into place."""
    fd, tmp = tempfile.mkstemp(prefix="." + os.path.basename(path) + ".", suffix=".part",
                               dir=os.path.dirname(path))
    try:
        os.fchmod(fd, 0o666 & ~UMASK)  # as open() would make it, not mkstemp's 0600
        with os.fdopen(fd, "w") as f:
            f.write(text)
        os.replace(tmp, path)
    except BaseException:
        if os.path.exists(tmp):
            os.remove(tmp)
        raise


def tcl_g(value):
    """Tcl's `format %.9g`, which refuses a NaN."""
    if value != value:
        raise ValueError("floating point value is Not a Number")
    return "%.9g" % value


def stats(img):
    """The statistics line: imgstats' numbers in its key order."""
    return " ".join(tcl_g(v) for v in quenz.imgstats(img).values())


def main(argv):
    if len(argv) < 3:
        print("usage: reduce.py CALDIR OUTDIR file.his ...", file=sys.stderr)
        return 2
    caldir, outdir, *files = argv
    r = Reduction(caldir, outdir)
    failed = 0
    for f in files:
        try:
            r.one(f)
        except Exception as e:  # a file that fails is reported and the rest go on
            # (a library failure in the words reduce.tcl reports it)
            what = f"RuntimeError {e}" if isinstance(e, RuntimeError) else str(e)
            print(f"{f}: {what}", file=sys.stderr)
            failed += 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
