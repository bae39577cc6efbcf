"""Reference leaks: every method, on success and on failure, called in a loop."""

import datetime
import gc
import os
import sys
import tracemalloc

import pytest

from tarnwick import SpaceWeather

ROUNDS = 300
# Under a sanitizer with PYTHONMALLOC=malloc, tracemalloc reports about one
# small block per datetime.date built from C as never freed, though the same
# build with pymalloc (and every build without a sanitizer) shows none.
# Object counts and reference counts still apply there.
TRACE_BYTES = os.environ.get("PYTHONMALLOC") != "malloc"
FLARE = datetime.date(2011, 3, 7)


class DateLike:
    def __init__(self, year, month, day):
        self.year, self.month, self.day = year, month, day


class Boom(Exception):
    pass


class BadDay:
    year, month = 2011, 3

    @property
    def day(self):
        raise Boom


def measure(call, watched):
    """Objects, traced bytes and reference counts of `watched` gained over ROUNDS calls."""
    for _ in range(20):  # first-use caches (interned names, the datetime import) fill here
        call()
    gc.collect()
    refs = [sys.getrefcount(w) for w in watched]
    objects = len(gc.get_objects())
    tracemalloc.start()
    try:
        start = tracemalloc.get_traced_memory()[0]
        for _ in range(ROUNDS):
            call()
        gc.collect()
        grown = tracemalloc.get_traced_memory()[0] - start
    finally:
        tracemalloc.stop()
    after = [sys.getrefcount(w) for w in watched]
    return len(gc.get_objects()) - objects, grown, [a - b for a, b in zip(after, refs)]


def expecting(error, fn, *args, **kwargs):
    def call():
        if error is None:
            fn(*args, **kwargs)
            return
        try:
            fn(*args, **kwargs)
        except error:
            return
        raise AssertionError(f"{fn} did not raise {error}")
    return call


def cases(sw, paths):
    """(name, call, objects whose reference counts must not move)."""
    other = SpaceWeather.from_set_dtcfile(paths["dtc"])
    date, bad, path = DateLike(2011, 3, 7), BadDay(), paths["csv"]
    big = DateLike(2011, 2 ** 70, 7)
    end = datetime.date(2100, 1, 1)
    yield "get hit", expecting(None, sw.get, date), [date]
    yield "get miss", expecting(None, sw.get, end), [end]
    yield "get keyword", expecting(None, sw.get, date=date), [date]
    yield "get raising attribute", expecting(Boom, sw.get, bad), [bad]
    yield "get overflow", expecting(OverflowError, sw.get, big), [big]
    yield "get range", expecting(None, sw.get_range, FLARE.min, end), [end]
    yield "get range failing end", expecting(Boom, sw.get_range, date, bad), [date, bad]
    yield "get range missing end", expecting(TypeError, sw.get_range, date), [date]
    yield "get unexpected keyword", expecting(TypeError, sw.get, when=date), [date]
    yield "get doubled", expecting(TypeError, sw.get, date, date=date), [date]
    yield "get surplus", expecting(TypeError, sw.get, date, date), [date]
    yield "date range", expecting(None, sw.date_range), []
    yield "len", expecting(None, sw.len), []
    yield "length slot", expecting(None, len, sw), []
    yield "merge", expecting(None, sw.merge, other), [other]  # other is empty after the first round
    yield "merge self", expecting(RuntimeError, sw.merge, sw), []
    yield "merge wrong type", expecting(TypeError, sw.merge, 42), []
    yield "construct", expecting(None, SpaceWeather.from_celestrak_csv, path), [path]
    yield "construct and merge", lambda: sw.merge(SpaceWeather.from_set_dtcfile(paths["dtc"])), []
    yield "construct missing file", expecting(ValueError, SpaceWeather.from_set_solfsmy, paths["absent"]), []
    yield "construct parse error", expecting(ValueError, SpaceWeather.from_set_dtcfile, path), [path]
    yield "construct nul", expecting(ValueError, SpaceWeather.from_set_dtcfile, "a\0b"), []
    yield "construct surrogate", expecting(UnicodeEncodeError, SpaceWeather.from_set_dtcfile, "\udc80"), []
    yield "construct bytes", expecting(TypeError, SpaceWeather.from_set_dtcfile, path.encode()), []
    yield "construct no argument", expecting(TypeError, SpaceWeather.from_set_dtcfile), []


@pytest.fixture
def paths(data_dir, tmp_path):
    return {"csv": str(data_dir / "sw_excerpt_lf.csv"), "dtc": str(data_dir / "dtcfile_excerpt.txt"),
            "absent": str(tmp_path / "absent")}


def leaks(call, watched):
    """The growth seen, or None once a measurement is clean. A real leak
    grows on every attempt; a one-off allocation elsewhere in the
    interpreter (a cache filling, an arena) does not come back."""
    for _ in range(3):
        objects, grown, refs = measure(call, watched)
        if objects <= 5 and (grown <= 4096 or not TRACE_BYTES) and not any(refs):
            return None
    return objects, grown, refs


def test_no_leaks(csv_sw, paths):
    problems = [(name, leaks(call, watched)) for name, call, watched in cases(csv_sw, paths)]
    assert [p for p in problems if p[1] is not None] == []


def test_no_leaks_in_to_numpy(csv_sw):
    pytest.importorskip("numpy")
    assert leaks(csv_sw.to_numpy, []) is None
