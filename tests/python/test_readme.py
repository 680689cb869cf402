# The README's Python examples: each runs in a fresh python3 in a scratch
# directory, exits cleanly and, where the README shows its output in an
# `output` block right after it, prints exactly that.
import os
import re
import subprocess
import sys

import pytest

from conftest import SOURCE


def fenced_blocks(path):
    """The fenced blocks of a Markdown file, as (tag, text, line)."""
    blocks, tag, text, start = [], None, [], 0
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            m = re.match(r"^```(\S*)\s*$", line)
            if m and tag is None:
                tag, text, start = m.group(1), [], n
            elif m:
                blocks.append((tag, "".join(text), start))
                tag = None
            elif tag is not None:
                text.append(line)
    assert tag is None, f"{path}: block at line {start} is not closed"
    return blocks


BLOCKS = fenced_blocks(os.path.join(SOURCE, "README.md"))
EXAMPLES = [(b[2], b[1], BLOCKS[i + 1][1] if i + 1 < len(BLOCKS) and BLOCKS[i + 1][0] == "output" else None)
            for i, b in enumerate(BLOCKS) if b[0] == "python"]


def test_the_readme_has_python_examples():
    assert len(EXAMPLES) >= 3 and all(out is not None for _, _, out in EXAMPLES)


@pytest.mark.parametrize("line, script, expected", EXAMPLES, ids=[f"line-{e[0]}" for e in EXAMPLES])
def test_readme_example(line, script, expected, tmp_path):
    r = subprocess.run([sys.executable, "-c", script], cwd=tmp_path, capture_output=True, text=True, timeout=60)
    assert r.returncode == 0, r.stderr
    if expected is not None:
        assert r.stdout == expected


def test_the_reference_lists_every_class_and_method():
    import quenz
    with open(os.path.join(SOURCE, "doc", "python.md"), encoding="utf-8") as f:
        ref = f.read()
    missing = []
    for name, obj in vars(quenz).items():
        if name.startswith("_") or name == "ostream_redirect":
            continue
        if isinstance(obj, type):
            if f"## {name}\n" not in ref:
                missing.append(name)
            for m in vars(obj):
                if not m.startswith("_") and f"`{m}(" not in ref and f"`{m}`" not in ref:
                    missing.append(f"{name}.{m}")
        elif callable(obj) and f"`{name}(" not in ref:
            missing.append(name)
    assert missing == []
