"""python -m tarnwick_tools FILE...: the file inspector, on the shipped files and on broken ones."""

from __future__ import annotations

import subprocess
import sys
from pathlib import Path

import pytest

from tarnwick_tools._inspect import main

EXAMPLE_DATA = Path(__file__).resolve().parents[2] / "examples" / "data"

SHIPPED = {
    "SW-Last5Years.csv": """CelesTrak CSV
  2,190 days from 2021-01-01 to 2041-10-01 (5,389 days between them not held)
  f10_7_obs     2,190 days
  f10_7_adj     2,190 days
  ap_daily      2,007 days
  ap_3hr        2,007 days
  kp_3hr        2,007 days
""",
    "SOLFSMY_2021-2024.TXT": """SET SOLFSMY
  1,461 days from 2021-01-01 to 2024-12-31 (no day missing between)
  f10_7_jb      1,461 days
  f10_7_jb_81c  1,461 days
  s10_7         1,461 days
  m10_7         1,461 days
  y10_7         1,461 days
""",
    "DTCFILE_2021-2024.TXT": """SET DTCFILE
  1,388 days from 2021-01-01 to 2024-10-19 (no day missing between)
  dtc           1,388 days
""",
}

CUT_SHORT = "  warning: the last line has no line end: the file may have been cut short\n"


def run(capsys, *paths):
    status = main([str(p) for p in paths])
    out, err = capsys.readouterr()
    return status, out, err


@pytest.mark.parametrize("name", SHIPPED)
def test_names_the_format_span_and_fields_of_each_shipped_file(name, capsys):
    path = EXAMPLE_DATA / name
    assert run(capsys, path) == (0, f"{path}: {SHIPPED[name]}", "")


@pytest.mark.parametrize("kept, last_day", [
    (13, "the last day, 2041-10-01, holds no value"),  # "2041-10-01,28": the date and a cell it does not read
    (-1, None),  # all but the LF: every value read
])
def test_warns_of_a_download_cut_short(kept, last_day, tmp_path, capsys):
    data = (EXAMPLE_DATA / "SW-Last5Years.csv").read_bytes()
    last_line = data.rindex(b"\n", 0, -1) + 1
    path = tmp_path / "cut.csv"
    path.write_bytes(data[:last_line + kept] if kept > 0 else data[:kept])
    status, out, err = run(capsys, path)
    assert status == 0 and err == ""
    assert out.endswith(("" if last_day is None else f"  warning: {last_day}\n") + CUT_SHORT)


def test_a_file_no_reader_accepts_gets_each_readers_error_and_exit_1(tmp_path, capsys):
    path = tmp_path / "notes.txt"
    path.write_bytes(b"# fetched 2026-12-09\nno data here")
    good = EXAMPLE_DATA / "DTCFILE_2021-2024.TXT"
    status, out, err = run(capsys, path, good)
    assert status == 1
    assert out == f"{good}: {SHIPPED['DTCFILE_2021-2024.TXT']}"  # the others are still reported
    assert err == (
        f"{path}: no reader accepts it\n"
        "  CelesTrak CSV: invalid or missing CSV header\n"
        "  SET DTCFILE: parse error at row 2: line too short\n"
        "  SET SOLFSMY: parse error at row 2: line too short\n"
        + CUT_SHORT
    )


@pytest.mark.parametrize("make, reason", [
    (lambda d: d / "missing.csv", "No such file or directory"),
    (lambda d: d, "Is a directory"),
])
def test_a_path_that_cannot_be_read_is_one_line_and_exit_1(make, reason, tmp_path, capsys):
    path = make(tmp_path)
    assert run(capsys, path) == (1, "", f"{path}: cannot be read: {reason}\n")


def test_an_empty_file_is_either_set_format_with_no_days(tmp_path, capsys):
    path = tmp_path / "empty.txt"
    path.write_bytes(b"")
    assert run(capsys, path) == (
        0, f"{path}: SET DTCFILE or SET SOLFSMY (each of these readers accepts it)\n"
           "  no days: the file holds no data line\n", "")


def test_runs_as_a_module_and_reads_a_pipe_once_for_all_readers():
    # A pipe can be read only once; each reader must still see all of it.
    data = (EXAMPLE_DATA / "SOLFSMY_2021-2024.TXT").read_bytes()
    done = subprocess.run([sys.executable, "-m", "tarnwick_tools", "/dev/stdin"], input=data,
                          capture_output=True, timeout=60)
    assert (done.returncode, done.stderr) == (0, b"")
    assert done.stdout.decode() == f"/dev/stdin: {SHIPPED['SOLFSMY_2021-2024.TXT']}"
