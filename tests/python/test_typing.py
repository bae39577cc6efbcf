"""The type checkers on typing_uses.py: they flag each line marked "# wrong" and no other."""

from __future__ import annotations

import json
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

USES = Path(__file__).resolve().parent / "typing_uses.py"
# The checkers load no extension module: under the sanitizers their runtimes
# stay out of them (node in particular).
ENV = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}


def wrong_lines():
    return {n for n, line in enumerate(USES.read_text().splitlines(), 1) if line.endswith("# wrong")}


def test_mypy_flags_the_wrong_uses_and_finds_tarnwick_tools_clean(tmp_path):
    pytest.importorskip("mypy")
    shutil.copy(USES, tmp_path / USES.name)
    # Run away from the tree, so that both modules come from the installed wheel.
    done = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--cache-dir", str(tmp_path / "cache"), "--no-pretty",
         "--no-error-summary", "-m", USES.stem, "-p", "tarnwick_tools"],
        cwd=tmp_path, env=ENV, capture_output=True, text=True, timeout=300)
    errors = [line for line in done.stdout.splitlines() if ": error: " in line]
    flagged = {int(m[1]) for line in errors if (m := re.match(rf"{USES.name}:(\d+): error: ", line))}
    assert len(flagged) == len(errors), done.stdout  # nothing flagged in tarnwick_tools itself
    assert flagged == wrong_lines(), done.stdout


def test_basedpyright_flags_the_wrong_uses(tmp_path):
    checker = Path(sys.executable).parent / "basedpyright"
    if not checker.is_file():
        pytest.skip("basedpyright is not installed")
    shutil.copy(USES, tmp_path / USES.name)
    done = subprocess.run(
        [str(checker), "--outputjson", "--pythonpath", sys.executable, USES.name],
        cwd=tmp_path, env=ENV, capture_output=True, text=True, timeout=300)
    report = json.loads(done.stdout)
    flagged = {d["range"]["start"]["line"] + 1 for d in report["generalDiagnostics"] if d["severity"] == "error"}
    assert flagged == wrong_lines(), done.stdout
