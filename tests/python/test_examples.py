"""The README's snippets and the scripts in examples/, run on the shipped files."""

from __future__ import annotations

import re
import shlex
import subprocess
import sys
from pathlib import Path

import pytest

pytest.importorskip("numpy")

ROOT = Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"


# Each python or sh block of a section with the text block after it, which
# shows what it prints. The sh blocks name the Quickstart's interpreter.
README_SNIPPETS = [("Quickstart", 0, ()), ("The companion module", 0, ("pandas",)), ("The companion module", 1, ())]


@pytest.mark.parametrize("section, index, needs", README_SNIPPETS)
def test_readme_snippet_prints_what_the_readme_shows(section, index, needs):
    for module in needs:
        pytest.importorskip(module)
    readme = (ROOT / "README.md").read_text(encoding="utf-8")
    text = readme.split(f"\n## {section}\n", 1)[1].split("\n## ", 1)[0]
    kind, code, shown = re.findall(r"```(python|sh)\n(.*?)```.*?```text\n(.*?)```", text, re.S)[index]
    if kind == "python":
        command = [sys.executable, "-c", code]
    else:
        command = ["sh", "-c", code.replace(".venv/3.12/bin/python", shlex.quote(sys.executable))]
    run = subprocess.run(command, cwd=ROOT, capture_output=True, text=True, timeout=120)
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
