"""One object shared by threads: readers query it and export it while one
thread merges other series into it and another merges it away into a
third object. Every call either completes with a consistent answer or is
refused at once with the borrow RuntimeError; afterwards the data equal a
serial run's."""

import datetime
import math
import sys
import threading
import time
from concurrent.futures import ThreadPoolExecutor

import pytest

from builders import CSV_HEADER, csv_line, dtcfile_line
from tarnwick import SpaceWeather

try:
    import numpy
except ImportError:
    numpy = None

START = datetime.date(2000, 1, 1)
REFUSALS = {"Already borrowed", "Already mutably borrowed"}


# Every value is a function of its day alone, whichever file gives it, so
# the union of all files is the same in any merge order, and any value a
# reader sees can be checked on its own.
def obs(day):
    return day.toordinal() % 1000 + 0.5


def dtc(day):
    return day.toordinal() % 97


def days(first, count):
    return [START + datetime.timedelta(days=first + i) for i in range(count)]


def csv_text(span):
    return CSV_HEADER + "\n" + "".join(csv_line(d.isoformat(), obs(d)) + "\n" for d in span)


def dtc_text(span):
    return "".join(dtcfile_line(d.year, d.timetuple().tm_yday, [dtc(d)] * 24) + "\n" for d in span)


@pytest.fixture
def files(write_file):
    """The target's file, then the donors' files, overlapping in days."""
    base = ("csv", write_file(csv_text(days(0, 400)), "base.csv"))
    donors = [("dtc", write_file(dtc_text(days(i * 37, 60)), f"d{i}.txt")) for i in range(12)]
    donors += [("csv", write_file(csv_text(days(300 + i * 50, 80)), f"c{i}.csv")) for i in range(4)]
    return base, donors


def load(kind, path):
    return (SpaceWeather.from_celestrak_csv if kind == "csv" else SpaceWeather.from_set_dtcfile)(path)


def whole(sw):
    return sw.get_range(datetime.date.min, datetime.date.max)


def check_record(record, day=None):
    assert day is None or record["date"] == day
    assert record["f10_7_obs"] in (None, obs(record["date"]))
    assert record["dtc"] in (None, dtc(record["date"]))


def check_records(records, lo, hi):
    dates = [r["date"] for r in records]
    assert dates == sorted(set(dates))
    assert all(lo <= d <= hi for d in dates)
    for r in records:
        check_record(r)


def check_export(columns):
    n = len(columns["date"])
    assert all(len(a) == n for a in columns.values())
    dates = list(columns["date"])
    assert dates == sorted(set(dates))
    for d, o, t in zip(dates, columns["f10_7_obs"], columns["dtc"]):
        assert math.isnan(o) or o == obs(d)
        assert math.isnan(t) or t == dtc(d)


class SlowDay:
    """A date whose attributes give other threads the interpreter lock
    while a query is converting it, so merges meet the query's borrow."""

    def __init__(self, day):
        self._day = day

    @property
    def year(self):
        time.sleep(0)
        return self._day.year

    @property
    def month(self):
        return self._day.month

    @property
    def day(self):
        time.sleep(0)
        return self._day.day


def attempt(call, refused, *args):
    """Calls once; a borrow refusal is counted, any other exception raised."""
    try:
        return True, call(*args)
    except RuntimeError as e:
        assert str(e) in REFUSALS, e
        refused[str(e)] = refused.get(str(e), 0) + 1
        return False, None


def test_readers_merger_and_thief_on_one_object(files):
    (base_kind, base_path), donor_files = files
    target = load(base_kind, base_path)
    sink = SpaceWeather.from_set_dtcfile(donor_files[0][1])  # overlaps the donors
    donors = [load(kind, path) for kind, path in donor_files]
    refused = {}
    errors = []
    merging = threading.Event()
    merging.set()

    def guarded(fn):
        def run():
            try:
                fn()
            except BaseException as e:  # reported by the main thread
                errors.append(e)
                merging.clear()
        return run

    def merger():
        # A refused merge does not wait for the readers; it is retried after
        # a pause, in which some moment without a reader inside comes.
        for donor in donors:
            time.sleep(0.02)  # the readers get going between merges
            deadline = time.monotonic() + 60
            while not attempt(target.merge, refused, donor)[0]:
                assert time.monotonic() < deadline, "merges were refused for a minute"
                time.sleep(0.0005)
            assert len(donor) == 0
        merging.clear()

    def thief():
        while merging.is_set():
            attempt(sink.merge, refused, target)
            time.sleep(0.001)

    def reader(seed):
        probe = days(seed * 53 % 700, 1)[0]
        lo, hi = days(seed * 29 % 500, 1)[0], days(seed * 29 % 500 + 120, 1)[0]
        while merging.is_set():
            ok, record = attempt(target.get, refused, SlowDay(probe))
            if ok and record is not None:
                check_record(record, probe)
            ok, records = attempt(target.get_range, refused, SlowDay(lo), hi)
            if ok:
                check_records(records, lo, hi)
            ok, span = attempt(target.date_range, refused)
            if ok and span is not None:
                assert span[0] <= span[1]
            ok, n = attempt(target.len, refused)
            assert not ok or n >= 0
            attempt(bool, refused, target)
            if numpy is not None:
                ok, columns = attempt(target.to_numpy, refused)
                if ok:
                    check_export(columns)
            time.sleep(0.0002)

    threads = [threading.Thread(target=guarded(fn)) for fn in (merger, thief)]
    threads += [threading.Thread(target=guarded(lambda s=s: reader(s))) for s in range(4)]
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)
    try:
        for t in threads:
            t.start()
        for t in threads:
            t.join(timeout=120)
    finally:
        sys.setswitchinterval(interval)
    assert not any(t.is_alive() for t in threads), "a thread hung"
    if errors:
        raise errors[0]
    assert refused, "the threads never met a borrow: nothing was tested"

    sink.merge(target)
    assert len(target) == 0

    serial = load(base_kind, base_path)
    for kind, path in donor_files:
        serial.merge(load(kind, path))
    assert whole(sink) == whole(serial)
    if numpy is not None:
        a, b = sink.to_numpy(), serial.to_numpy()
        assert all(numpy.array_equal(a[k], b[k], equal_nan=k != "date") for k in a)


def test_queries_on_one_object_from_many_threads(files):
    # Shared borrows overlap: readers alone never refuse one another.
    (kind, path), _ = files
    sw = load(kind, path)
    expected = whole(sw)
    errors = []

    def reader():
        try:
            for _ in range(200):
                assert whole(sw) == expected
                assert sw.get(SlowDay(START)) == expected[0]
                if numpy is not None:
                    assert len(sw.to_numpy()["date"]) == len(expected)
        except BaseException as e:
            errors.append(e)

    threads = [threading.Thread(target=reader) for _ in range(6)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(timeout=120)
    assert not errors, errors[0]


@pytest.mark.skipif(numpy is None, reason="needs NumPy")
def test_export_calling_back_into_merges(files, monkeypatch):
    # numpy.array is Python code that to_numpy calls under its shared
    # borrow: merges from inside it are refused, and once it raises, the
    # borrow is given back all the same.
    (kind, path), donor_files = files
    sw, other, sink = load(kind, path), load(*donor_files[0]), SpaceWeather.from_set_dtcfile(donor_files[1][1])
    expected = whole(sw)
    real_array, raised = numpy.array, []

    def meddling_array(values):
        for merge in (lambda: sw.merge(other), lambda: sink.merge(sw)):
            try:
                merge()
            except RuntimeError as e:
                raised.append(str(e))
        return real_array(values)

    monkeypatch.setattr(numpy, "array", meddling_array)
    check_export(sw.to_numpy())
    assert raised == ["Already borrowed"] * 2
    assert whole(sw) == expected and len(other) > 0

    def failing_array(values):
        raise KeyError("from numpy.array")

    monkeypatch.setattr(numpy, "array", failing_array)
    with pytest.raises(KeyError, match="from numpy.array"):
        sw.to_numpy()
    sw.merge(other)
    assert len(other) == 0


def test_files_read_by_threads_at_once_equal_a_serial_read(example_data_dir):
    # The readers run without the interpreter lock, several at a time.
    jobs = [(SpaceWeather.from_celestrak_csv, "SW-Last5Years.csv"),
            (SpaceWeather.from_set_solfsmy, "SOLFSMY_2021-2024.TXT"),
            (SpaceWeather.from_set_dtcfile, "DTCFILE_2021-2024.TXT")] * 4
    serial = {name: whole(read(str(example_data_dir / name))) for read, name in jobs}
    with ThreadPoolExecutor(4) as pool:
        results = list(pool.map(lambda job: whole(job[0](str(example_data_dir / job[1]))), jobs))
    assert results == [serial[name] for _, name in jobs]
