"""The README's snippets and the scripts in examples/, run on the shipped files."""

from __future__ import annotations

import re
import subprocess
import sys
from pathlib import Path

import pytest

pytest.importorskip("numpy")

ROOT = Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"


@pytest.mark.parametrize("section, needs", [("Quickstart", ())])
def test_readme_snippet_prints_what_the_readme_shows(section, needs):
    for module in needs:
        pytest.importorskip(module)
    readme = (ROOT / "README.md").read_text(encoding="utf-8")
    text = readme.split(f"\n## {section}\n", 1)[1].split("\n## ", 1)[0]
    code, shown = re.search(r"```python\n(.*?)```.*?```text\n(.*?)```", text, re.S).groups()
    run = subprocess.run([sys.executable, "-c", code], cwd=ROOT, capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stderr
    assert run.stdout == shown


@pytest.mark.parametrize("script, args", [("dataframes", []), ("msis_inputs", []), ("plot_series_end", ["{tmp}/end.png"])])
def test_example_scripts_run(script, args, tmp_path):
    for module in {"dataframes": ("pandas", "polars"), "plot_series_end": ("matplotlib",)}.get(script, ()):
        pytest.importorskip(module)
    argv = [a.format(tmp=tmp_path) for a in args]
    run = subprocess.run(
        [sys.executable, str(EXAMPLES / f"{script}.py"), *argv], cwd=ROOT, capture_output=True, text=True, timeout=300
    )
    assert run.returncode == 0, run.stderr
    if script == "plot_series_end":
        assert (tmp_path / "end.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
