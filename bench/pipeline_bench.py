"""The whole-run benchmark: 200 synthetic exposures through the reduction of
examples/reduce.tcl, with quenz (examples/batch.tcl, 1 and 2 workers), with
quenz from Python (examples/reduce.py in 1 and 2 threads, when the module
is built) and with the same pipeline in Python (bench/pipeline.py, 1 and 2
processes).
Checks that both give the same numbers, times each step on one frame, and
writes the "Pipeline throughput" section of bench/RESULTS.md (the rest of
the file stays as it is).

It also measures the live reduction (examples/live.tcl): the files/s it
keeps up with at 1 and 2 workers.

Usage: /usr/bin/python3 bench/pipeline_bench.py BUILD_DIR [RESULTS.md]
PIPELINE_FRAMES and PIPELINE_ROUNDS change the 200 frames and 3 rounds.
(bench/pipeline_bench.py --live-only BUILD_DIR measures the live reduction
alone and prints its rows, RESULTS.md untouched.)
(bench/pipeline_bench.py --reduce-py -workers N CALDIR OUTDIR file.his ...
is the runner of the Python-with-quenz variant.)
"""
import datetime
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import threading
import time
import timeit

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
EX = os.path.join(TOP, "examples")
BUILD = os.path.abspath(sys.argv[2] if sys.argv[1:2] == ["--live-only"] else sys.argv[1])
RESULTS = sys.argv[2] if len(sys.argv) > 2 else os.path.join(HERE, "RESULTS.md")
FRAMES = int(os.environ.get("PIPELINE_FRAMES", 200))
ROUNDS = int(os.environ.get("PIPELINE_ROUNDS", 3))
# Inputs and outputs in memory where there is a tmpfs: the shared disk's
# delays (a 1 MiB write took 0.3 to 30 ms here) would otherwise decide.
SCRATCH = (os.path.join("/dev/shm", f"quenz-pipeline-{os.getpid()}") if os.access("/dev/shm", os.W_OK)
           else os.path.join(BUILD, "pipeline"))
DATA = os.path.join(SCRATCH, "data")
OUT = os.path.join(SCRATCH, "out")
ENV = dict(os.environ, TCLLIBPATH=BUILD, QUENZ_LIBDIR=BUILD,
           PYTHONPATH=os.path.join(BUILD, "python") + os.pathsep + os.environ.get("PYTHONPATH", ""))
ENV.pop("DISPLAY", None)
TCLSH = "tclsh"
PY = sys.executable
BEGIN, END = "<!-- pipeline: written by make bench-pipeline -->", "<!-- end of pipeline -->"


def run(cmd, **kw):
    return subprocess.run(cmd, env=ENV, check=True, **kw)


def make_data():
    print(f"bench-pipeline: {FRAMES} synthetic exposures in {DATA}", flush=True)
    shutil.rmtree(DATA, ignore_errors=True)
    run([TCLSH, os.path.join(EX, "make-exposures.tcl"), DATA, str(FRAMES)], stderr=subprocess.DEVNULL)
    run([TCLSH, os.path.join(EX, "calibrate.tcl"), DATA], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return sorted(os.path.join(DATA, f) for f in os.listdir(DATA) if re.fullmatch(r"exp\d+\.his", f))


# The Python pipeline as it comes, and the same with glibc told to keep
# freed memory: numpy allocates fresh arrays at every step, and returning
# them to the system and faulting them in again cost most of a frame here.
KEEP_MEMORY = {"MALLOC_MMAP_THRESHOLD_": str(64 << 20), "MALLOC_TRIM_THRESHOLD_": str(1 << 30)}
KINDS = ("quenz", "python", "python-keep")
LABEL = {"quenz": "quenz", "python": "Python (numpy, OpenCV)",
         "python-keep": "Python, glibc keeps freed memory", "quenz-py": "Python calling quenz"}


def have_module():
    """Whether this build has the Python module (then the quenz-py rows run)."""
    return subprocess.run([PY, "-c", "import quenz"], env=ENV, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0


def reduce_py(argv):
    """The Python-with-quenz runner: examples/reduce.py's Reduction in N
    threads (one Reduction each, as batch.tcl gives each worker its own
    interpreter), the files handed out in order; one summary line on stderr
    in batch.tcl's form, timed from starting the workers to the last output."""
    workers = int(argv[argv.index("-workers") + 1])
    caldir, outdir, *files = argv[argv.index("-workers") + 2:]
    sys.path.insert(0, EX)
    import reduce as reduction
    t0 = time.monotonic()
    lock, queue, failed = threading.Lock(), list(reversed(files)), []

    def work():
        r = reduction.Reduction(caldir, outdir)
        while True:
            with lock:
                if not queue:
                    return
                f = queue.pop()
            try:
                r.one(f)
            except Exception as e:  # counted, reported once at the end
                failed.append(f"{f}: {e}")

    threads = [threading.Thread(target=work) for _ in range(workers)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    s = time.monotonic() - t0
    for line in failed:
        print(line, file=sys.stderr)
    print(f"reduce.py: {len(files)} files, {len(files) - len(failed)} ok, {len(failed)} failed, {s:.3f} s, "
          f"{len(files) / s:.1f} files/s", file=sys.stderr)
    return 1 if failed else 0


def call_overhead():
    """ns per call from Python: a quenz method (bild16.get, bildfloat.get),
    a pybind11 attribute (vec2d.x) and, against them, a plain Python
    attribute access and a plain Python method call."""
    code = r"""
import timeit, quenz
class P:
    def __init__(self): self.x = 1.0
    def get(self, y, x): return self.x
b, f, v, p = quenz.bild16(), quenz.bildfloat(), quenz.vec2d(1.0, 2.0), P()
n = 200000
for name, stmt in (("bild16.get", "b.get(3, 4)"), ("img[y, x]", "f[3, 4]"), ("bildfloat.get", "f.get(3, 4)"),
                   ("vec2d.x", "v.x"), ("Python attribute", "p.x"), ("Python method", "p.get(3, 4)")):
    t = min(timeit.repeat(stmt, globals=globals(), number=n, repeat=7)) / n
    print(name, t * 1e9)
"""
    out = subprocess.run([PY, "-c", code], env=ENV, check=True, stdout=subprocess.PIPE, text=True).stdout
    return {line.rsplit(" ", 1)[0]: float(line.rsplit(" ", 1)[1]) for line in out.splitlines()}


def command(kind, workers, out, files):
    if kind == "quenz":
        return [TCLSH, os.path.join(EX, "batch.tcl"), "-workers", str(workers), DATA, out] + files
    if kind == "quenz-py":
        return [PY, os.path.abspath(__file__), "--reduce-py", "-workers", str(workers), DATA, out] + files
    return [PY, os.path.join(HERE, "pipeline.py"), "-workers", str(workers), DATA, out] + files


def timed(kind, workers, stats, files):
    """Wall-clock seconds of the whole command, start-up included."""
    out = os.path.join(OUT, f"{kind}-{workers}" + ("" if stats else "-nostats"))
    shutil.rmtree(out, ignore_errors=True)
    t0 = time.monotonic()
    env = dict(ENV, REDUCE_STATS="1" if stats else "0", **(KEEP_MEMORY if kind == "python-keep" else {}))
    p = subprocess.run(command(kind, workers, out, files), env=env, check=True, stderr=subprocess.PIPE, text=True)
    whole = time.monotonic() - t0
    done = len([f for f in os.listdir(out) if f.endswith(".bin")])
    if done != len(files):
        raise SystemExit(f"{kind} with {workers} workers made {done} of {len(files)} outputs: {p.stderr}")
    # The run as the runner counts it (worker start and calibration included,
    # interpreter start-up and imports not): its summary line.
    m = re.search(r"^(?:batch|pipeline\.py|reduce\.py): %d files, .*? ([\d.]+) s," % len(files), p.stderr, re.M)
    if not m:
        raise SystemExit(f"no summary line from {kind}: {p.stderr}")
    if (kind, workers, stats) not in (("quenz", 1, True), ("python", 1, True), ("quenz-py", 1, True)):
        shutil.rmtree(out)
    return float(m.group(1)), whole


def compare(files):
    """Largest relative difference between quenz's and Python's outputs
    (pixels and statistics) over every frame; both runs' outputs are in
    OUT from the last round."""
    worst_px, worst_stats, differing = 0.0, 0.0, 0
    for f in files:
        name = os.path.splitext(os.path.basename(f))[0]
        a = np.fromfile(os.path.join(OUT, "quenz-1", name + ".bin"), "<f4")
        b = np.fromfile(os.path.join(OUT, "python-1", name + ".bin"), "<f4")
        rel = np.abs(a - b) / np.maximum(np.abs(a), 1e-3)
        worst_px = max(worst_px, float(rel.max()))
        differing += int(np.count_nonzero(a != b))
        sa = [float(v) for v in open(os.path.join(OUT, "quenz-1", name + ".stats")).read().split()]
        sb = [float(v) for v in open(os.path.join(OUT, "python-1", name + ".stats")).read().split()]
        worst_stats = max(worst_stats, max(abs(x - y) / max(abs(x), 1e-3) for x, y in zip(sa, sb)))
    return worst_px, worst_stats, differing


def same_bytes(files):
    """Whether Python calling quenz wrote exactly quenz's files."""
    a, b = os.path.join(OUT, "quenz-1"), os.path.join(OUT, "quenz-py-1")
    return all(open(os.path.join(a, n), "rb").read() == open(os.path.join(b, n), "rb").read()
               for n in os.listdir(a)) and sorted(os.listdir(a)) == sorted(os.listdir(b))


def steps(files):
    out = os.path.join(OUT, "steps")
    os.makedirs(out, exist_ok=True)
    q = run([TCLSH, os.path.join(HERE, "pipeline-steps.tcl"), DATA, out, files[0]],
            stdout=subprocess.PIPE, text=True).stdout.split("\n")[-2]
    words = [w.strip("{}") for w in re.findall(r"\{[^}]*\}|\S+", q)]
    ours = {words[i]: float(words[i + 1]) for i in range(0, len(words), 2)}
    peer = json.loads(run([PY, os.path.join(HERE, "pipeline.py"), "-steps", DATA, out, files[0]],
                          stdout=subprocess.PIPE, text=True).stdout)
    return ours, peer


def machine():
    model = "unknown CPU"
    with open("/proc/cpuinfo") as fh:
        for line in fh:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    load = os.getloadavg()
    return f"{os.cpu_count()} cores, {model}", load


# What each step must read and write, in MiB, for one 512 x 512 frame (a
# bild16 is 0.5 MiB, a bildfloat 1 MiB), each operation as the script
# calls it: its inputs read once, its output written once.
STEP_BYTES = {
    "read HIS": (0.5, 0.5),             # the file's counts into the bild16
    "subtract dark": (0.5 + 2, 1 + 1),  # from_bild16; -= dark (image and dark read, image written)
    "polyfit_correct": (1 + 3, 1),      # pixels and three coefficients per pixel (order 3)
    "badpix_correct": (0.5, 0),         # the map (the few bad pixels aside)
    "apply_eichkurve": (1, 1),
    "gaussian 2.7": (1, 1),
    "statistics": (1, 0),
    "write": (0, 1),                    # the gnuplot file (and a line of text)
}


def memcpy_us_per_mib():
    """µs to copy 1 MiB (numpy's copy of a 1 MiB array, best of 7 rounds of
    200): the floor of a step is what it reads and writes against what
    such a copy reads and writes (1 MiB each) in that time."""
    a = np.ones(1 << 18, np.float32)
    b = np.empty_like(a)
    return min(timeit.repeat(lambda: np.copyto(b, a), number=200, repeat=7)) / 200 * 1e6


def step_floor(title, per_mib):
    """The step's floor in seconds, or None for a step without a model."""
    if title not in STEP_BYTES:
        return None
    read, written = STEP_BYTES[title]
    return (read + written) / 2 * per_mib * 1e-6


def fmt_t(s):
    return f"{s * 1e3:.2f} ms" if s >= 1e-3 else f"{s * 1e6:.0f} µs"


def pipeline_note():
    """The hand-written "## pipeline" section of bench/NOTES.md."""
    path = os.path.join(HERE, "NOTES.md")
    if not os.path.exists(path):
        return ""
    text = open(path).read()
    m = re.search(r"^## pipeline\s*\n(.*?)(?=^## |\Z)", text, re.S | re.M)
    return m.group(1).strip() if m else ""


# --- the live reduction: examples/live.tcl behind a writer

def live_run(workers, files, rate, count):
    """Starts live.tcl on an empty directory and moves count files in (hard
    links of the exposures, renamed in) at rate files/s, or all at once
    when rate is 0. Returns the writer's own rate, the largest number of
    files moved in and not yet in the table (polled after every 10 files),
    the seconds from the last file moved in to its line in the table, and
    the seconds from the first file in to the last line."""
    base = os.path.join(SCRATCH, f"live-{workers}")
    shutil.rmtree(base, ignore_errors=True)
    indir, outdir, stage = (os.path.join(base, d) for d in ("in", "out", "stage"))
    for d in (indir, stage):
        os.makedirs(d)
    names = [f"live{k:05d}.his" for k in range(count)]
    for k, name in enumerate(names):
        os.link(files[k % len(files)], os.path.join(stage, name))
    table = os.path.join(outdir, "live-stats.txt")
    err = open(os.path.join(base, "stderr"), "w+")
    p = subprocess.Popen([TCLSH, os.path.join(EX, "live.tcl"), "-workers", str(workers), "-every", "0",
                          "-idle", "1", DATA, indir, outdir], env=ENV, stderr=err)

    def lines():
        try:
            with open(table, "rb") as fh:
                return fh.read().count(b"\n")
        except FileNotFoundError:
            return 0

    while True:  # it watches once it has said so
        err.seek(0)
        if "live: reducing" in err.read() or p.poll() is not None:
            break
        time.sleep(0.02)
    lag = 0
    t0 = time.monotonic()
    for k, name in enumerate(names):
        if rate:
            wait = t0 + k / rate - time.monotonic()
            if wait > 0:
                time.sleep(wait)
        os.rename(os.path.join(stage, name), os.path.join(indir, name))
        if k % 10 == 9:
            lag = max(lag, k + 1 - lines())
    t1 = time.monotonic()
    while lines() < count and p.poll() is None:
        time.sleep(0.002)
    t2 = time.monotonic()
    p.wait()
    err.close()
    done = lines()
    shutil.rmtree(base, ignore_errors=True)
    if done != count:
        raise SystemExit(f"live.tcl with {workers} workers put {done} of {count} files in its table")
    return count / max(t1 - t0, 1e-9), lag, t2 - t1, t2 - t0


def live_bench(files):
    """For 1 and 2 workers: the rate it sustains when every file is there at
    once (files / time to the last line), then writers at rates stepping
    down from there by 10 % until one is kept up with: for 2 s of writing
    no file waits longer than a quarter of a second, neither while it
    writes (the lag polled in files) nor after the last file."""
    rows = {}
    for workers in (1, 2):
        n = max(len(files), 100)
        _, _, _, whole = live_run(workers, files, 0, n)
        flood = n / whole
        rate, kept = flood, None
        for _ in range(8):
            count = max(int(rate * 2), 20)
            wrote, lag, drain, _ = live_run(workers, files, rate, count)
            print(f"bench-pipeline: live, {workers} worker(s): writer at {wrote:.0f} files/s, "
                  f"largest lag {lag} files, last line {drain * 1e3:.0f} ms after the last file", flush=True)
            if lag <= rate / 4 and drain <= 0.25:
                kept = (rate, wrote, lag, drain)
                break
            rate *= 0.9
        rows[workers] = (flood, kept)
    return rows


def live_lines(rows):
    out = ["| Live reduction (examples/live.tcl) | workers | files/s kept up | largest lag, files | "
           "last line after the last file | all at once: files/s |", "|---|---:|---:|---:|---:|---:|"]
    for workers, (flood, kept) in rows.items():
        if kept:
            rate, wrote, lag, drain = kept
            out.append(f"| live: files/s kept up | {workers} | {wrote:.0f} | {lag} | {drain * 1e3:.0f} ms | {flood:.0f} |")
        else:
            out.append(f"| live: files/s kept up | {workers} | below {0.9 ** 8 * flood:.0f} |  |  | {flood:.0f} |")
    return out


def main():
    global KINDS
    if have_module():
        KINDS = KINDS + ("quenz-py",)
    files = make_data()
    load_before = os.getloadavg()
    configs = [(kind, workers, stats) for stats in (True, False) for workers in (1, 2) for kind in KINDS]
    times = {c: [] for c in configs}
    wholes = {c: [] for c in configs}
    for r in range(ROUNDS):
        for c in configs:
            s, w = timed(*c, files)
            times[c].append(s)
            wholes[c].append(w)
            print(f"bench-pipeline: round {r + 1}: {c[0]} {c[1]} worker(s)"
                  f"{'' if c[2] else ', no statistics'}: {s:.2f} s, {len(files) / s:.1f} exposures/s "
                  f"({w:.2f} s for the whole command)", flush=True)
    worst_px, worst_stats, differing = compare(files)
    print(f"bench-pipeline: largest relative difference quenz/Python: pixels {worst_px:.2e}, "
          f"statistics {worst_stats:.2e}", flush=True)
    identical = same_bytes(files) if "quenz-py" in KINDS else None
    overhead = call_overhead() if "quenz-py" in KINDS else None
    ours, peer = steps(files)
    live = live_bench(files)
    per_mib = memcpy_us_per_mib()
    cpu, load_after = machine()

    best = {c: min(v) for c, v in times.items()}
    rate = {c: len(files) / s for c, s in best.items()}
    lines = [BEGIN, "## Pipeline throughput", "",
             f"Written by `make bench-pipeline` (bench/pipeline_bench.py). {len(files)} synthetic exposures "
             "(examples/make-exposures.tcl), each through the reduction of examples/reduce.tcl: read HIS, "
             "subtract the dark frame, polyfit_correct (order 3), badpix_correct, apply_eichkurve, gaussian 2.7, "
             "statistics (imgstats: count, minimum, maximum, sum, mean, standard deviation, median, NaN count; "
             "numpy computes the same eight numbers on the Python side), write the result (gnuplot matrix and a stats line, each to a temporary "
             "name renamed into place). quenz runs examples/batch.tcl (quenz::batch, Thread package workers); "
             "Python runs bench/pipeline.py, the same steps with numpy and OpenCV (cv2.filter2D for the "
             "Gaussian, HIS read with numpy.fromfile), multiprocessing for 2 processes. The run is timed as "
             "each runner reports it, from starting the workers and reading the calibration to the last "
             "output; the whole command's wall clock (interpreter start-up and imports included) is listed "
             f"beside it. Exposures/s from the best of {ROUNDS} rounds run in turn; all rounds are listed. "
             "Inputs and outputs are in a tmpfs (/dev/shm), so that the shared disk's delays stay out.", "",
             f"- Date: {datetime.datetime.now():%Y-%m-%d %H:%M}",
             f"- Machine: {cpu}; load average {load_before[0]:.1f} before, {load_after[0]:.1f} after "
             "(the machine is shared with other builds: the figures are noisy)",
             "- Threads: quenz's kernels (polyfit_correct, gaussian) share one pool of threads across "
             "the workers; OpenCV uses all cores with 1 process and one thread per process with 2.",
             f"- Same numbers: over all {len(files)} frames the largest relative difference between the two "
             f"results is {worst_px:.1e} in a pixel ({differing} of {len(files) * 513 * 513} floats differ, the "
             f"Gaussian's summation order) and {worst_stats:.1e} in a statistic",
             "- Python variants: as it comes, and with glibc told to keep freed memory "
             "(`MALLOC_MMAP_THRESHOLD_=64MiB MALLOC_TRIM_THRESHOLD_=1GiB`): numpy makes new arrays at "
             "every step, and giving their pages back to the system and faulting them in again costs "
             "far more than the arithmetic on this virtual machine. The goal is judged against the faster.", ""]

    def table(stats, title):
        out = [f"| {title} | workers | exposures/s | run, s (each round) | whole command, s | quenz / this |",
               "|---|---:|---:|---|---|---:|"]
        for workers in (1, 2):
            for kind in KINDS:
                c = (kind, workers, stats)
                ratio = "" if kind == "quenz" else f"**{rate[('quenz', workers, stats)] / rate[c]:.2f}×**"
                out.append(f"| {LABEL[kind]} | {workers} | {rate[c]:.1f} | "
                           f"{', '.join(f'{s:.2f}' for s in times[c])} | "
                           f"{', '.join(f'{s:.2f}' for s in wholes[c])} | {ratio} |")
        return out

    def goal(stats):
        return all(rate[("quenz", w, stats)] >= 2 * max(rate[("python", w, stats)], rate[("python-keep", w, stats)])
                   for w in (1, 2))

    lines += table(True, "Pipeline")
    if identical is not None:
        within = all(rate[("quenz-py", w, s)] >= 0.9 * rate[("quenz", w, s)] for w in (1, 2) for s in (True, False))
        lines += ["", "Python calling quenz (examples/reduce.py, one Reduction per thread, the kernels "
                  "without the interpreter lock) writes "
                  f"{'the same bytes as' if identical else '**other bytes than**'} quenz from Tcl; goal: within "
                  f"10 % of Tcl's exposures/s at equal workers: **{'met' if within else 'missed'}**. "
                  "Per call from Python (ns, best of 7): " +
                  ", ".join(f"{k} {v:.0f}" for k, v in overhead.items()) + "."]
    lines += ["", "Goal: quenz at least 2× the faster Python pipeline's exposures/s at equal workers: "
              f"**{'met' if goal(True) else 'missed'}**.", ""]
    lines += ["The same runs with the statistics step left out on both sides (`REDUCE_STATS=0`: "
              "no `imgstats`, no stats file):", ""]
    lines += table(False, "Pipeline without statistics")
    lines += ["", f"Without statistics the goal is **{'met' if goal(False) else 'missed'}**.", "",
              "The live reduction: examples/live.tcl (quenz::watch, quenz::feed) behind a writer that moves "
              "exposures into its directory (hard links renamed in) at a steady rate for 2 s. The rate kept up "
              "with is the first, stepping down by 10 % from the rate it reaches with every file there at once, "
              "at which no file waited longer than a quarter of a second for its line in the table, neither "
              "while the writer wrote (the lag polled after every 10 files) nor after its last file:", ""]
    lines += live_lines(live)
    lines += ["",
              "One frame, step by step (median of 41, each step from a copy of its real input; one worker). "
              "The floor is what the step must read and write (MiB read, MiB written; each operation's inputs "
              f"read once and its output written once) at memcpy's pace: a copy of 1 MiB, which reads and "
              f"writes 1 MiB each, took {per_mib:.1f} µs here (numpy, best of 7 rounds of 200); "
              "× floor is the step's time over its floor.", "",
              "| Step | quenz | MiB read, written | floor | × floor | Python | quenz / Python |",
              "|---|---:|---:|---:|---:|---:|---:|"]
    floor_sum = 0.0
    for title in ours:
        fl = step_floor(title, per_mib)
        floor_sum += fl or 0.0
        moved = "" if fl is None else "{:g}, {:g}".format(*STEP_BYTES[title])
        lines.append(f"| {title} | {fmt_t(ours[title])} | {moved} | {'' if fl is None else fmt_t(fl)} | "
                     f"{'' if fl is None else f'{ours[title] / fl:.1f}×'} | {fmt_t(peer[title])} | "
                     f"{ours[title] / peer[title]:.2f}× |")
    so, sp = sum(ours.values()), sum(peer.values())
    lines += [f"| **sum** | {fmt_t(so)} | | {fmt_t(floor_sum)} | {so / floor_sum:.1f}× | {fmt_t(sp)} | "
              f"{so / sp:.2f}× |", ""]
    note = pipeline_note()
    if note:
        lines += ["### What these figures say", "", note, ""]
    lines += [END]
    section = "\n".join(lines) + "\n"

    text = open(RESULTS).read() if os.path.exists(RESULTS) else "# Benchmark results\n\n"
    if BEGIN in text:
        head, rest = text.split(BEGIN, 1)
        text = head + section + rest.split(END, 1)[1].lstrip("\n")
    elif "\n## Targets missed" in text:
        head, tail = text.split("\n## Targets missed", 1)
        text = head.rstrip("\n") + "\n\n" + section + "\n## Targets missed" + tail
    else:
        text = text.rstrip("\n") + "\n\n" + section
    with open(RESULTS, "w") as fh:
        fh.write(text)
    shutil.rmtree(SCRATCH, ignore_errors=True)
    print(section)
    print(f"bench-pipeline: wrote {RESULTS}")


def live_only():
    files = make_data()
    print("\n".join(live_lines(live_bench(files))))
    shutil.rmtree(SCRATCH, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] == "--reduce-py":
        sys.exit(reduce_py(sys.argv[2:]))
    if len(sys.argv) > 1 and sys.argv[1] == "--live-only":
        sys.exit(live_only())
    main()
