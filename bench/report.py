"""Joins the three sets of medians into bench/RESULTS.md.

Usage: /usr/bin/python3 bench/report.py KERNELS.json TCL.txt PEERS.json OUT.md

KERNELS.json is Google Benchmark's JSON output, TCL.txt the "key seconds"
lines of tcl-timing.tcl, PEERS.json the output of peers.py. Each may be a
comma-separated list of the files of several rounds: an operation then gets
the lowest of its medians, ours and the peers' alike. Misses are
explained from bench/NOTES.md ("## key" sections, written by hand after
looking at the measurements).
"""
import datetime
import json
import os
import platform
import re
import sys

# One row per operation: key, label, target. A target is
#   ("single",)        at most numpy and at most 2x the memcpy floor
#   ("peer", P, f)     at most f times peer P's median
#   ("best", f)        at most f times the fastest peer's median
#   ("call", f)        Tcl time at most f times the Tcl time of call_lindex
#   None               reported only
OPS = [
    ("memcpy_1MiB", "memcpy of 1 MiB (the floor)", None),
    ("b16_assign_img", "bild16 = image", ("single",)),
    ("b16_fill", "bild16 = value", ("single",)),
    ("b16_add_img", "bild16 += image", ("single",)),
    ("b16_add_val", "bild16 += value", ("single",)),
    ("b16_sub_img", "bild16 -= image", ("single",)),
    ("b16_sub_val", "bild16 -= value", ("single",)),
    ("b16_mul_img", "bild16 *= image", ("single",)),
    ("b16_mul_val", "bild16 *= value", ("single",)),
    ("b16_div_img", "bild16 /= image", ("single",)),
    ("b16_div_val", "bild16 /= value", ("single",)),
    ("f_assign_img", "bildfloat = image", ("single",)),
    ("f_fill", "bildfloat = value", ("single",)),
    ("f_add_img", "bildfloat += image", ("single",)),
    ("f_add_val", "bildfloat += value", ("single",)),
    ("f_sub_img", "bildfloat -= image", ("single",)),
    ("f_sub_val", "bildfloat -= value", ("single",)),
    ("f_mul_img", "bildfloat *= image", ("single",)),
    ("f_mul_val", "bildfloat *= value", ("single",)),
    ("f_div_img", "bildfloat /= image", ("single",)),
    ("f_div_val", "bildfloat /= value", ("single",)),
    ("conv_from_bild16", "bildfloat from_bild16", ("single",)),
    ("conv_fromfloat", "bild16 fromfloat", ("single",)),
    ("render_photo", "render into a photo (mapping)", ("single",)),
    ("pgm16_write", "write_pgm16", ("peer", "numpy", 1.0)),
    ("pgm16_read", "read_pgm (16 bit)", ("peer", "numpy", 1.0)),
    ("pgm8_write", "write_pgm8", ("peer", "numpy", 1.0)),
    ("his_write", "write_his", ("peer", "numpy", 1.0)),
    ("his_read", "read_his", ("peer", "numpy", 1.0)),
    ("gnuplot_write", "write_gnuplot", ("peer", "numpy", 1.0)),
    ("gnuplot_read", "read_gnuplot", ("peer", "numpy", 1.0)),
    ("tiff16_write", "write_tiff (bild16)", ("peer", "tifffile", 1.0)),
    ("tiff16_read", "read_tiff (bild16)", ("peer", "tifffile", 1.0)),
    ("tiff16_deflate_write", "write_tiff -compress deflate (bild16)", ("peer", "tifffile", 1.0)),
    ("tiff16_deflate_read", "read_tiff, deflate (bild16)", ("peer", "tifffile", 1.0)),
    ("tiff_float_write", "write_tiff (bildfloat)", ("peer", "tifffile", 1.0)),
    ("tiff_float_read", "read_tiff (bildfloat)", ("peer", "tifffile", 1.0)),
    ("npy16_write", "write_npy (bild16)", ("peer", "numpy", 1.0)),
    ("npy16_read", "read_npy (bild16)", ("peer", "numpy", 1.0)),
    ("npy_float_write", "write_npy (bildfloat)", ("peer", "numpy", 1.0)),
    ("npy_float_read", "read_npy (bildfloat)", ("peer", "numpy", 1.0)),
    ("apply_eichkurve", "apply_eichkurve", ("single",)),
    ("expkurve_table", "expkurve table (65536 inversions)", ("peer", "numpy", 1.0)),
    ("exp4kurve_table", "exp4kurve table (65536 inversions)", ("peer", "numpy", 1.0)),
    ("convolve_3", "convolve 3x3", ("peer", "OpenCV", 1.0)),
    ("convolve_5", "convolve 5x5", ("peer", "OpenCV", 1.0)),
    ("convolve_11", "convolve 11x11", ("peer", "OpenCV", 1.0)),
    ("convolve_21", "convolve 21x21", ("peer", "OpenCV", 1.0)),
    ("gaussian_2.7", "gaussian 2.7", ("peer", "OpenCV", 1.0)),
    ("gaussian_10", "gaussian 10", ("peer", "OpenCV", 1.0)),
    ("fft_forward", "FFT forward", ("peer", "scipy", 1.0)),
    ("fft_backward", "FFT backward", ("peer", "scipy", 1.0)),
    ("hamming_window", "Hamming window", ("peer", "numpy", 1.0)),
    ("qrfit_order2", "QRfit fit, 5 refs, order 2", ("peer", "numpy", 0.5)),
    ("qrfit_order4", "QRfit fit, 5 refs, order 4", ("peer", "numpy", 0.5)),
    ("polyfit_correct", "polyfit_correct (order 4)", ("peer", "numpy", 1.0)),
    ("imgstats_b16", "imgstats bild16 (min max mean std median)", ("peer", "numpy", 1.0)),
    ("imgstats_f", "imgstats bildfloat (NaN left out)", ("peer", "numpy", 1.0)),
    ("histogram_b16", "histogram bild16, 1000 bins", ("peer", "numpy", 1.0)),
    ("histogram_f", "histogram bildfloat, 1000 bins", ("peer", "numpy", 1.0)),
    ("data_b16", "bild16 data (bytes out)", ("single",)),
    ("setdata_b16", "bild16 setdata (bytes in)", ("single",)),
    ("data_f", "bildfloat data (bytes out)", ("single",)),
    ("setdata_f", "bildfloat setdata (bytes in)", ("single",)),
    ("parabel_fit", "Parabelzentrum fit, 100 points", None),
    ("surface_put", "surface put, whole interior", None),
    ("compute_schnitt", "Voronoischnitt compute_schnitt", None),
    ("call_lindex", "Tcl: lindex $l 0 (reference)", None),
    ("call_method", "Tcl: method call b get 0 0", ("call", 1.8)),
    ("call_handle", "Tcl: bild16_base_get $handle 0 0", ("call", 2.0)),
    ("call_name", "Tcl: bild16_base_get b 0 0 (name for handle)", ("call", 3.0)),
    ("call_set", "Tcl: method call b set 0 0 7", ("call", 1.8)),
]
PEER_COLUMNS = ["numpy", "scipy", "OpenCV", "tifffile"]
# Medians of the same operation scatter by up to this factor between runs on
# a shared machine; a miss by less is reported as "within noise".
NOISE = 1.10


def lowest(rounds):
    """{key: value} of several rounds -> the lowest value of each key."""
    out = {}
    for r in rounds:
        for k, v in r.items():
            out[k] = v if k not in out else min(out[k], v)
    return out


def round_of(path):
    """The round a file belongs to: kernels-2-5.json, peers-2-5.json and
    tcl-2.txt are all round 2 (a file without a number is a round of its own)."""
    m = re.search(r"-(\d+)(?:-\d+)?\.\w+$", os.path.basename(path))
    return int(m.group(1)) if m else path


def by_round(paths, read):
    """{round: {key: value}} of the files of a comma-separated list."""
    out = {}
    for path in paths.split(","):
        for k, v in read(path).items():
            out.setdefault(round_of(path), {})[k] = v
    return out


def read_kernels(path):
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    with open(path) as f:
        doc = json.load(f)
    out = {}
    for b in doc.get("benchmarks", []):
        if b.get("aggregate_name", "median") != "median":
            continue
        key = b["name"].split("/")[0]
        if b.get("run_type") == "aggregate" or key not in out:
            out[key] = b["real_time"] * scale[b["time_unit"]]
    return out


def read_tcl(path):
    out = {}
    if os.path.exists(path):
        with open(path) as f:
            for line in f:
                parts = line.split()
                if len(parts) == 2:
                    out[parts[0]] = float(parts[1])
    return out


def read_peers(path):
    with open(path) as f:
        return json.load(f)


def lowest_peers(rounds):
    keys = {k for r in rounds for k in r}
    return {k: lowest([r.get(k, {}) for r in rounds]) for k in keys}


def fmt(t):
    if t is None:
        return ""
    if t >= 1e-3:
        return f"{t * 1e3:.2f} ms"
    if t >= 1e-6:
        return f"{t * 1e6:.1f} µs"
    return f"{t * 1e9:.0f} ns"


def notes(path):
    """The "## key" sections of NOTES.md."""
    out = {}
    if not os.path.exists(path):
        return out
    key = None
    with open(path) as f:
        for line in f:
            m = re.match(r"^## (\S+)\s*$", line)
            if m:
                key = m.group(1)
                out[key] = ""
            elif key:
                out[key] += line
    return {k: v.strip() for k, v in out.items()}


def judge(target, ours, tcl, peers, floor):
    """(text of the target, met?) or (text, None) when it cannot be judged."""
    if target is None:
        return "", None
    kind = target[0]
    if kind == "single":
        np_t = peers.get("numpy")
        text = "≤ numpy, ≤ 2× floor"
        if ours is None or np_t is None or floor is None:
            return text, None
        return text, ours <= np_t and ours <= 2 * floor
    if kind == "peer":
        _, who, factor = target
        text = f"≤ {who}" if factor == 1.0 else f"≤ {factor:g}× {who}"
        if ours is None or who not in peers:
            return text, None
        return text, ours <= factor * peers[who]
    if kind == "call":
        text = f"≤ {target[1]:g}× lindex"
        if tcl is None or tcl.get("call_lindex") is None:
            return text, None
        return text, tcl["_this"] <= target[1] * tcl["call_lindex"]
    raise ValueError(kind)


def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


# What differs between a peer's formulations and ours, by operation.
VARIANT_NOTES = {
    "gaussian": "OpenCV's GaussianBlur (sigma² = radius / 2, the same window as our "
                "exp(−r²/radius)) and sepFilter2D with our kernel's 1-D factor filter in two "
                "separable 1-D passes; filter2D and ours sum the full 2-D kernel. Ours keeps the "
                "specified 2-D summation order, so its results are reproducible to the bit; the "
                "separable passes round differently (their results differ from ours in the last "
                "bits) and need fewer operations per pixel (2·(2n+1) instead of (2n+1)²).",
    "qrfit": "numpy's stacked `np.linalg.qr` on (pixels, m, order) arrays, and Householder QR "
             "written out over all pixels at once (one array per matrix element, a few "
             "vectorised operations per reflection). The table's numpy column is the faster.",
}


def variant_table(ours, peers):
    """Every formulation of a peer that has several ("numpy:householder"),
    with our ratio to each."""
    rows, seen = [], set()
    for key, label, _ in OPS:
        variants = {lib: t for lib, t in peers.get(key, {}).items() if ":" in lib}
        if not variants:
            continue
        seen.add(key.split("_")[0])
        for lib, t in sorted(variants.items(), key=lambda kv: kv[1]):
            base, how = lib.split(":", 1)
            mine = ours.get(key)
            ratio = f"{mine / t:.2f}×" if mine else ""
            rows.append(f"| {label} | {base} {how} | {fmt(t)} | {fmt(mine)} | {ratio} |")
    if not rows:
        return []
    out = ["## Peer formulations", "",
           "Where a peer has more than one way to do an operation, each is timed; the table "
           "above compares against the fastest.", "",
           "| Operation | peer | peer time | ours | ours / peer |", "|---|---|---:|---:|---:|"]
    out += rows + [""]
    for k in sorted(seen):
        if k in VARIANT_NOTES:
            out += [f"- {VARIANT_NOTES[k]}"]
    return out + [""]


def pipeline_section(path):
    begin, end = "<!-- pipeline: written by make bench-pipeline -->", "<!-- end of pipeline -->"
    try:
        with open(path) as f:
            text = f.read()
    except OSError:
        return None
    if begin not in text or end not in text:
        return None
    return begin + text.split(begin, 1)[1].split(end, 1)[0] + end


def verdicts(target, key, rounds):
    """The met/missed verdict of each round on its own medians."""
    out = []
    for ours, tcl, peers in rounds:
        t = tcl.get(key)
        met = judge(target, ours.get(key), dict(tcl, _this=t), peers.get(key, {}),
                    ours.get("memcpy_1MiB"))[1]
        if met is not None:
            out.append(met)
    return out


def main(kernels_json, tcl_txt, peers_json, out_md):
    k_rounds = by_round(kernels_json, read_kernels)
    with open(kernels_json.split(",")[0]) as f:
        context = json.load(f).get("context", {})
    t_rounds = by_round(tcl_txt, read_tcl)
    p_rounds = by_round(peers_json, read_peers)
    ours = lowest(k_rounds.values())
    tcl = lowest(t_rounds.values())
    peers = lowest_peers(list(p_rounds.values()))
    each = [(k_rounds.get(r, {}), t_rounds.get(r, {}), p_rounds.get(r, {})) for r in sorted(k_rounds, key=str)]
    nrounds = len(each)
    floor = ours.get("memcpy_1MiB")
    why = notes(os.path.join(os.path.dirname(os.path.abspath(__file__)), "NOTES.md"))

    rows, missed, close, unjudged, flips = [], [], [], [], []
    for key, label, target in OPS:
        p = peers.get(key, {})
        o = ours.get(key)
        t = tcl.get(key)
        if o is None and t is None and not p:
            continue
        mine = t if key.startswith("call_") else o
        cells = [label, fmt(o), fmt(t)]
        for lib in PEER_COLUMNS:
            if lib in p:
                ratio = f" ({mine / p[lib]:.2f}×)" if mine else ""
                cells.append(fmt(p[lib]) + ratio)
            else:
                cells.append("")
        text, met = judge(target, o, dict(tcl, _this=t), p, floor)
        if met is None and target is not None:
            status = "not measured" if mine is None else "no peer"
            unjudged.append(key)
        elif met is False and judge(target, o and o / NOISE, dict(tcl, _this=t and t / NOISE),
                                    p, floor)[1]:
            status = "within noise"
            close.append(key)
        else:
            status = "" if met is None else ("met" if met else "**missed**")
            if met is False:
                missed.append(key)
        v = verdicts(target, key, each) if target else []
        if len(set(v)) > 1:
            status += f" (met in {sum(v)} of {len(v)} rounds)"
            flips.append(key)
        rows.append(cells + [text, status])

    cores = os.cpu_count()
    lines = [
        "# Benchmark results",
        "",
        "Written by `make bench` (bench/run); do not edit by hand. Medians; ratios are "
        "ours / peer (below 1 is faster than the peer). "
        f"There were {nrounds} rounds; in each, ours and the peers ran group by group "
        "(a few related operations), in turns, so that a burst of other work on the machine "
        "hits both sides of a comparison. Each figure is the lowest of its rounds' medians, "
        "ours and the peers' alike; a target whose verdict differs between rounds says in "
        "how many it was met. The peers run with glibc told to keep freed memory "
        "(`MALLOC_MMAP_THRESHOLD_`, `MALLOC_TRIM_THRESHOLD_`), as a tuned numpy would: "
        "otherwise every new array faults its pages in again. \"ours\" is the C++ kernel "
        "(Google Benchmark, wall clock); \"via Tcl\" is the whole script-level call "
        "(`time`), command dispatch and argument conversion included. A target missed by "
        f"less than {round((NOISE - 1) * 100)}% is marked \"within noise\": that is how far "
        "the medians of one operation scatter between runs on this shared machine.",
        "",
        f"- Date: {datetime.datetime.now().strftime('%Y-%m-%d %H:%M')}",
        f"- Machine: {cores} cores, {cpu_model()}",
        f"- Floor: memcpy of one 1 MiB image {fmt(floor)}",
        "- Build: quenz with CMAKE_BUILD_TYPE=Release and -ffp-contract=off "
        f"(Debian's Google Benchmark library itself is a {context.get('library_build_type', '?')} "
        "build; it only keeps the time)",
        "- Before/after checksums of the outputs: `build-bench/bench/quenz_checksums`",
        "",
        "| Operation | ours | via Tcl | numpy | scipy | OpenCV | tifffile | target | status |",
        "|---|---:|---:|---:|---:|---:|---:|---|---|",
    ]
    lines += ["| " + " | ".join(r) + " |" for r in rows]
    lines.append("")
    lines += variant_table(ours, peers)
    # The pipeline section is make bench-pipeline's (bench/pipeline_bench.py):
    # kept as the last run of that left it.
    pipeline = pipeline_section(out_md)
    if pipeline:
        lines += [pipeline, ""]
    if missed:
        lines += ["## Targets missed", ""]
        for key in missed:
            label = next(lbl for k, lbl, _ in OPS if k == key)
            lines += [f"### {label} (`{key}`)", "", why.get(key, "No explanation recorded yet."), ""]
    if unjudged:
        lines += ["Not judged (operation or peer not available in this run): "
                  + ", ".join(f"`{k}`" for k in unjudged), ""]
    general = why.get("general")
    if general:
        lines += ["## How to read these numbers", "", general, ""]
    with open(out_md, "w") as f:
        f.write("\n".join(lines))
    print(f"report: {len(rows)} operations, {len(missed)} targets missed, "
          f"{len(close)} within noise, {len(flips)} differing between rounds -> {out_md}")


if __name__ == "__main__":
    main(*sys.argv[1:5])
