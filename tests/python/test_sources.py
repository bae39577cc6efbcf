"""Text checks of the extension's C++ sources."""

import re
from pathlib import Path

import pytest

SOURCES = Path(__file__).resolve().parents[2] / "src" / "python"


def source_files():
    if not SOURCES.is_dir():
        pytest.skip("sources not beside the tests")
    return sorted(p for p in SOURCES.iterdir() if p.suffix in (".cpp", ".hpp"))


def test_reference_counts_change_only_in_the_handle():
    # Every owned reference lives in a PyRef; a bare DECREF elsewhere is a
    # hand-written cleanup path that the handle exists to replace.
    pattern = re.compile(r"\bPy_(X?DECREF|X?INCREF|CLEAR|XSETREF|SETREF)\(")
    offenders = [f"{p.name}:{n}" for p in source_files() if p.name != "pyref.hpp"
                 for n, line in enumerate(p.read_text().splitlines(), 1) if pattern.search(line)]
    assert offenders == []


def test_only_this_layer_includes_python():
    core = SOURCES.parent
    offenders = [str(p.relative_to(core)) for p in core.rglob("*.[ch]pp")
                 if SOURCES not in p.parents and "Python.h" in p.read_text()]
    assert offenders == []
