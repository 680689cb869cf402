# examples/reduce.py against examples/reduce.tcl: the same files, byte for
# byte, the same failure reports and exit status.
import os
import subprocess
import sys

from conftest import SOURCE


def test_reduce_py_writes_what_reduce_tcl_writes(inputs, tmp_path):
    files = [str(inputs / f"exp{k}.his") for k in (1, 2, 3)] + [str(tmp_path / "missing.his")]
    tcl = subprocess.run(["tclsh", os.path.join(SOURCE, "examples", "reduce.tcl"), str(inputs), str(tmp_path / "tcl"),
                          *files], capture_output=True, text=True, timeout=120)
    py = subprocess.run([sys.executable, os.path.join(SOURCE, "examples", "reduce.py"), str(inputs),
                         str(tmp_path / "py"), *files], capture_output=True, text=True, timeout=120)
    assert (tcl.returncode, tcl.stderr) == (py.returncode, py.stderr) == (1, f"{files[3]}: RuntimeError {files[3]} not found!\n\n")
    names = sorted(os.listdir(tmp_path / "tcl"))
    assert names == sorted(os.listdir(tmp_path / "py"))
    assert names == sorted(f"exp{k}.{ext}" for k in (1, 2, 3) for ext in ("bin", "stats"))
    for n in names:
        assert (tmp_path / "tcl" / n).read_bytes() == (tmp_path / "py" / n).read_bytes(), n
