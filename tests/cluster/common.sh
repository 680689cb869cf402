# Shared by the cluster tests (sourced by bash). Each test prints one
# "ok:" or "FAIL:" line per check and ends with "N passed, N failed"; it
# exits 77 (CTest's skip code) with the reason when it cannot run here.
passed=0
failed=0
ok() { echo "ok: $*"; passed=$((passed + 1)); }
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }
check() {   # check DESCRIPTION COMMAND...: the command's status is the verdict
    local what=$1; shift
    if "$@"; then ok "$what"; else fail "$what"; fi
}
skip() { echo "SKIP: $*"; exit 77; }
finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
need_root_linux() {
    [ "$(uname -s)" = Linux ] || skip "not Linux"
    [ "$(id -u)" -eq 0 ] || skip "not root: $1"
}
need_tools() {   # need_tools INSTALL-HINT TOOL...
    local hint=$1 t; shift
    for t in "$@"; do
        command -v "$t" >/dev/null 2>&1 || [ -x "/usr/sbin/$t" ] ||
            skip "$t is not installed ($hint)"
    done
}

# Ports nobody listens on now (the kernel's choice, then released).
free_ports() {   # free_ports N (needs $tmp)
    cat > "$tmp/ports.tcl" <<'EOF'
set held {}
for {set i 0} {$i < [lindex $argv 0]} {incr i} {
    set s [socket -server {} -myaddr 127.0.0.1 0]
    lappend held $s
    puts [lindex [fconfigure $s -sockname] 2]
}
foreach s $held { close $s }
EOF
    tclsh "$tmp/ports.tcl" "$1"
}

# The demo's data (the README's recipe: 200 exposures and their
# calibration) in DIR/data, and the reference: one process of
# examples/reduce.tcl over all of them into DIR/ref (quenz from $build).
make_demo_data() {   # make_demo_data SRC DIR
    local src=$1 dir=$2
    mkdir -p "$dir"
    (export TCLLIBPATH=$build; cd "$dir" &&
        tclsh "$src/examples/make-exposures.tcl" data 200 >/dev/null &&
        tclsh "$src/examples/calibrate.tcl" data >/dev/null 2>&1 &&
        tclsh "$src/examples/reduce.tcl" data ref data/exp*.his)
}

# A run directory laid out as the README's recipes expect: examples/,
# data/ (links to the demo's data) and an empty out/.
make_run_dir() {   # make_run_dir SRC DEMO DIR
    mkdir -p "$3/data" "$3/out"
    ln -s "$1/examples" "$3/examples"
    local f
    for f in "$2"/data/*; do ln -s "$f" "$3/data/"; done
}

# Every output under its final name is byte for byte the reference's
# output of the same name; prints the count compared.
outputs_match_ref() {   # outputs_match_ref OUTDIR REFDIR [EXPECTED-COUNT]
    local n=0 f bad=0
    for f in "$1"/*; do
        [ -e "$f" ] || continue
        n=$((n + 1))
        cmp -s "$f" "$2/$(basename "$f")" || { echo "  differs: $f"; bad=1; }
    done
    echo "  $n outputs compared"
    [ $bad -eq 0 ] && { [ -z "${3:-}" ] || [ "$n" -eq "$3" ]; }
}

# name inode, one line per output under its final name.
inodes() { (cd "$1" && for f in *; do [ -e "$f" ] && echo "$f $(stat -c %i "$f")"; done) | sort; }
