"""python -m tarnwick_tools FILE...: which format each file is and what it holds."""

from __future__ import annotations

import argparse
import datetime as dt
import os
import stat
import sys
from collections.abc import Callable, Iterator, Mapping, Sequence
from contextlib import contextmanager
from typing import TextIO

from tarnwick import SpaceWeather

READERS: tuple[tuple[str, Callable[[str], SpaceWeather]], ...] = (
    ("CelesTrak CSV", SpaceWeather.from_celestrak_csv),
    ("SET DTCFILE", SpaceWeather.from_set_dtcfile),
    ("SET SOLFSMY", SpaceWeather.from_set_solfsmy),
)

# The record's fields in the order of get(), the date left out.
FIELDS = (
    "f10_7_obs", "f10_7_adj", "f10_7_jb", "f10_7_jb_81c", "ap_daily", "ap_3hr", "kp_3hr",
    "s10_7", "m10_7", "y10_7", "dtc",
)

# get_range is asked for this many days at a time, so that a large file's
# records never stand as dicts all at once.
_CHUNK = dt.timedelta(days=4096)

_CUT_SHORT = "warning: the last line has no line end: the file may have been cut short"


def main(argv: Sequence[str] | None = None, out: TextIO | None = None, err: TextIO | None = None) -> int:
    """Report on each file; 0 when every file could be read and a reader accepted it, else 1."""
    parser = argparse.ArgumentParser(
        prog="python -m tarnwick_tools",
        description="For each file: which of the three formats it is (the reader that accepts it, or each "
        "reader's error when none does), the days it holds and their span, and on how many days each "
        "field is present. Exit status 1 when any file cannot be read or no reader accepts it.",
    )
    parser.add_argument("files", nargs="+", metavar="FILE", help="a CelesTrak CSV, SET DTCFILE or SET SOLFSMY file")
    args = parser.parse_args(argv)
    out = out or sys.stdout
    err = err or sys.stderr
    ok = True
    for path in args.files:
        ok &= inspect_file(path, out, err)
    return 0 if ok else 1


def inspect_file(path: str, out: TextIO, err: TextIO) -> bool:
    """Write the report on one file; False when it cannot be read or no reader accepts it."""
    try:
        with _readable(path) as (readable, last_byte):
            verdicts: list[tuple[str, SpaceWeather | str]] = []
            for name, reader in READERS:
                try:
                    verdicts.append((name, reader(readable)))
                except ValueError as error:
                    verdicts.append((name, str(error)))
    except OSError as error:
        print(f"{path}: cannot be read: {error.strerror or error}", file=err)
        return False

    accepted = [(name, sw) for name, sw in verdicts if isinstance(sw, SpaceWeather)]
    if not accepted:
        print(f"{path}: no reader accepts it", file=err)
        for name, message in verdicts:
            print(f"  {name}: {message}", file=err)
        if last_byte not in (None, b"\n"):
            print(f"  {_CUT_SHORT}", file=err)
        return False

    sw = max((sw for _, sw in accepted), key=len)
    if len(accepted) == 1:
        print(f"{path}: {accepted[0][0]}", file=out)
    else:  # a text without data lines: nothing tells the SET formats apart
        print(f"{path}: {' or '.join(name for name, _ in accepted)} (each of these readers accepts it)", file=out)
    for line in _describe(sw):
        print(f"  {line}", file=out)
    if last_byte not in (None, b"\n"):
        print(f"  {_CUT_SHORT}", file=out)
    return True


def _describe(sw: SpaceWeather) -> Iterator[str]:
    """The report's lines on a series: days, span, days of each field, a last day without values."""
    n = len(sw)
    if n == 0:
        yield "no days: the file holds no data line"
        return
    try:
        span = sw.date_range()
    except ValueError as error:  # a year outside datetime's 1 to 9999
        yield f"{n:,} days, not all of them dates Python can hold: {error}"
        return
    assert span is not None
    first, last = span
    if n == 1:
        yield f"1 day, {first}"
    else:
        missing = (last - first).days + 1 - n
        gaps = "no day missing between" if missing == 0 else f"{missing:,} days between them not held"
        yield f"{n:,} days from {first} to {last} ({gaps})"

    counts = dict.fromkeys(FIELDS, 0)
    last_record = None
    for record in _records(sw, first, last):
        for field in FIELDS:
            if record[field] is not None:
                counts[field] += 1
        last_record = record
    width = max(map(len, FIELDS))
    held = [(field, count) for field, count in counts.items() if count]
    for field, count in held:
        yield f"{field:<{width}}  {count:>{len(f'{n:,}')},} days"
    if not held:
        yield "no day holds a value"
    elif last_record is not None and all(last_record[field] is None for field in FIELDS):
        yield f"warning: the last day, {last}, holds no value"


def _records(sw: SpaceWeather, first: dt.date, last: dt.date) -> Iterator[Mapping[str, object]]:
    start = first
    while True:
        end = last if last - start < _CHUNK else start + _CHUNK
        yield from sw.get_range(start, end)
        if end == last:
            return
        start = end + dt.timedelta(days=1)


@contextmanager
def _readable(path: str) -> Iterator[tuple[str, bytes | None]]:
    """A path the readers can each read in full, and the file's last byte (None when empty).

    A regular file is read by each reader itself, through /proc/self/fd: so
    all three read the file this opened, and a name that is not UTF-8 (which
    the readers refuse) still works. Anything else (a pipe, as from a shell's
    <(...), or a terminal) can be read only once, so its bytes are kept in an
    anonymous in-memory file that the readers open by name.
    """
    with open(path, "rb") as file:
        if stat.S_ISREG(os.fstat(file.fileno()).st_mode):
            size = file.seek(0, os.SEEK_END)
            last = None
            if size:
                file.seek(size - 1)
                last = file.read(1)
            by_fd = f"/proc/self/fd/{file.fileno()}"
            yield (by_fd if os.path.exists(by_fd) else path), last
            return
        data = file.read()
    fd = os.memfd_create("tarnwick_tools")
    try:
        with open(fd, "wb", closefd=False) as copy:
            copy.write(data)
        yield f"/proc/self/fd/{fd}", data[-1:] or None
    finally:
        os.close(fd)
