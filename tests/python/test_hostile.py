"""Files no provider would publish: huge, degenerate, special, or changing
while they are read. Each gives a SpaceWeather or the reader's own
ValueError, never a crash or a hang; running out of memory gives
MemoryError. Every method also stays flat in objects and memory over
10,000 calls."""

import datetime
import gc
import os
import random
import subprocess
import sys
import textwrap
import threading
import time

import pytest

from builders import CSV_HEADER, csv_line, dtcfile_line
from tarnwick import SpaceWeather

MiB = 1 << 20
HEADER_ERROR = "invalid or missing CSV header"
READERS = {
    "csv": SpaceWeather.from_celestrak_csv,
    "dtc": SpaceWeather.from_set_dtcfile,
    "sol": SpaceWeather.from_set_solfsmy,
}
DTC_LINE = dtcfile_line(1997, 1, [31] * 24)
# AddressSanitizer keeps freed memory in quarantine and reserves terabytes
# of address space, so RSS and address-space limits mean nothing under it.
SANITIZED = "asan" in os.environ.get("LD_PRELOAD", "")
# Set by the scripts that run the suite under qemu-user, which manages the
# guest's address space itself: a lowered RLIMIT_AS never makes a guest
# allocation fail there.
EMULATED = os.environ.get("TARNWICK_TEST_EMULATED") == "1"


def outcome(read, path):
    """The number of days read, or the ValueError's text."""
    try:
        return len(read(path))
    except ValueError as e:
        return str(e)


def write(path, content, times=1, mode="wb"):
    """Writes `content` (bytes or text) `times` times, without holding it all."""
    if isinstance(content, str):
        content = content.encode()
    with open(path, mode) as f:
        for _ in range(times):
            f.write(content)
    return str(path)


def sparse_zeros(path, size):
    with open(path, "wb") as f:
        f.truncate(size)
    return str(path)


def no_newline(path):
    return write(path, b"x" * MiB, 100)


def blank_lines(path):
    return write(path, b"\n" * 1_000_000, 10)


def header_then_blank_lines(path):
    write(path, CSV_HEADER + "\n")
    return write(path, b" \r\n" * 1_000_000, 10, mode="ab")


def wide_data_line(path):
    return write(path, f"{CSV_HEADER}\n2020-01-01{',' * 1_000_000}\n")


def wide_header(path):
    names = ",".join(f"C{i}" for i in range(100_000))
    return write(path, f"{names},{CSV_HEADER}\n{',' * 100_000}{csv_line('2020-01-01', 70.5, 71.5)}\n")


def stray_byte_at_the_end(path):
    write(path, (DTC_LINE + "\n") * 1000, 300)
    return write(path, b"\xff", mode="ab")


# (what, builder of the file, expected outcome per reader)
HUGE = [
    ("100 MB without a newline", no_newline,
     {"csv": HEADER_ERROR, "dtc": "parse error at row 1: year", "sol": "parse error at row 1: year"}),
    # NUL is an ordinary character: the line is neither blank nor a comment.
    ("16 MB of NUL bytes", lambda p: sparse_zeros(p, 16 * MiB),
     {"csv": HEADER_ERROR, "dtc": "parse error at row 1: year", "sol": "parse error at row 1: year"}),
    ("ten NUL bytes", lambda p: sparse_zeros(p, 10),
     {"csv": HEADER_ERROR, "dtc": "parse error at row 1: line too short",
      "sol": "parse error at row 1: line too short"}),
    ("10 million blank lines", blank_lines, {"csv": HEADER_ERROR, "dtc": 0, "sol": 0}),
    # The header line is too short for a DTCFILE line, long enough for SOLFSMY.
    ("a header, then 10 million blank lines", header_then_blank_lines,
     {"csv": 0, "dtc": "parse error at row 1: line too short", "sol": "parse error at row 1: year"}),
    ("a data line with a million commas", wide_data_line,
     {"csv": 1, "dtc": "parse error at row 1: line too short", "sol": "parse error at row 1: year"}),
    ("a line of a million commas", lambda p: write(p, f"{CSV_HEADER}\n{',' * 1_000_000}\n"),
     {"csv": "parse error at row 2: invalid date"}),
    ("a header of 100,000 columns", wide_header, {"csv": 1}),
    ("a stray byte after 33 MB of good lines", stray_byte_at_the_end,
     {"csv": HEADER_ERROR, "dtc": "parse error at row 0: invalid utf-8", "sol": "parse error at row 0: invalid utf-8"}),
]


@pytest.mark.parametrize("what, build, expected", HUGE, ids=[c[0] for c in HUGE])
def test_huge_and_degenerate_files(tmp_path, what, build, expected):
    path = build(tmp_path / "f")
    assert {name: outcome(READERS[name], path) for name in expected} == expected


def test_wide_line_leaves_values_absent(tmp_path):
    sw = SpaceWeather.from_celestrak_csv(wide_data_line(tmp_path / "f"))
    record = sw.get(datetime.date(2020, 1, 1))
    assert [k for k, v in record.items() if v is not None] == ["date"]


def test_wide_header_finds_its_columns(tmp_path):
    sw = SpaceWeather.from_celestrak_csv(wide_header(tmp_path / "f"))
    record = sw.get(datetime.date(2020, 1, 1))
    assert (record["f10_7_obs"], record["f10_7_adj"]) == (70.5, 71.5)


# Python's float() rounds correctly at any length; it accepts more syntax
# than the readers, but every text here is plain digits.
LONG_NUMBERS = [
    "1" + "0" * 9_999,                     # beyond the float range: inf
    "0." + "0" * 9_998 + "1",              # below it: 0
    "3" * 10_000 + "e-9999",               # 3.33...
    "." + "142857" * 1_700,                # 1/7
    "1" + "0" * 400 + "e-400",             # exactly 1
    "9" * 10_000 + "e-9990",               # rounds up to 1e10
    "1e" + "0" * 10_000 + "7",             # a 10,001-digit exponent that is 7
]


@pytest.mark.parametrize("text", LONG_NUMBERS, ids=range(len(LONG_NUMBERS)))
def test_numbers_of_ten_thousand_digits(tmp_path, text):
    sw = SpaceWeather.from_celestrak_csv(
        write(tmp_path / "f", CSV_HEADER + "\n" + csv_line("2020-01-01", text, ap=[text] * 8) + "\n"))
    record = sw.get(datetime.date(2020, 1, 1))
    assert record["f10_7_obs"] == float(text)
    assert record["ap_3hr"] == [float(text)] * 8


# ---- mutated real files

TOKENS = [b"\n", b"\r\n", b"\r", b",", b"#", b"-", b"+", b".", b"e", b"nan", b"inf", b"\x00", b"\xc2\xa0",
          b"\xe2\x80\x80", b"9999.9", b"99999999999", b" " * 20, b"\xed\xa0\x80"]


def mutate(data, rng):
    for _ in range(rng.randint(1, 4)):
        pos = rng.randrange(len(data) + 1)
        op = rng.randrange(4)
        if op == 0 and pos < len(data):
            data[pos] = rng.choice(b"0123456789 .+-#,\t\r\neE\x00\xff")
        elif op == 1:
            data[pos:pos] = rng.choice(TOKENS)
        elif op == 2:
            del data[pos:pos + rng.randint(1, 40)]
        else:
            start = rng.randrange(len(data) + 1)
            data[pos:pos] = data[start:start + rng.randint(1, 200)]
    return data


def exercise(sw):
    """Every query on a freshly read object. Only the conversion of a day
    that datetime.date cannot hold (year 0 or beyond 9999, February 30)
    may fail, with datetime's own ValueError."""
    n = len(sw)
    assert sw.len() == n and bool(sw) == (n > 0)
    try:
        span = sw.date_range()
        records = sw.get_range(datetime.date.min, datetime.date.max)
        assert span is None or (records[0]["date"], records[-1]["date"]) == span
        assert sw.get(span[0]) == records[0] if span else True
    except ValueError as e:
        assert "out of range" in str(e) or "day is out of range" in str(e), e
        return
    assert len(records) <= n  # days datetime.date cannot hold are not listed by get_range's bounds
    try:
        import numpy  # noqa: F401
    except ImportError:
        return
    assert len(sw.to_numpy()["dtc"]) == n


@pytest.mark.parametrize("seed", range(4))
def test_mutated_files_give_records_or_value_error(data_dir, tmp_path, seed):
    rng = random.Random(seed)
    sources = sorted(p for p in data_dir.iterdir() if p.suffix in (".csv", ".txt"))
    path = tmp_path / "mutant"
    for _ in range(250):
        path.write_bytes(mutate(bytearray(rng.choice(sources).read_bytes()), rng))
        for read in READERS.values():
            try:
                sw = read(str(path))
            except ValueError:
                continue
            exercise(sw)


# ---- special files and files that change under the reader

def test_fifo_written_by_another_process(tmp_path):
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    lines = [dtcfile_line(1997, doy, [doy] * 24) for doy in (1, 2, 3)]
    # The writer sends a line at a time with pauses, so the reader sees
    # short reads before the end of the file.
    script = "import sys, time\nwith open(sys.argv[1], 'w') as f:\n" \
             "    for line in sys.argv[2:]:\n        f.write(line + '\\n'); f.flush(); time.sleep(0.05)\n"
    writer = subprocess.Popen([sys.executable, "-c", script, str(fifo), *lines])
    try:
        sw = SpaceWeather.from_set_dtcfile(str(fifo))
    finally:
        writer.wait(timeout=10)
    assert [r["dtc"] for r in sw.get_range(datetime.date(1997, 1, 1), datetime.date(1997, 12, 31))] == [1, 2, 3]


def run_python(source, *args, timeout=120):
    """Runs `source` in a fresh interpreter that imports what this one does."""
    return subprocess.run([sys.executable, "-c", textwrap.dedent(source), *args], capture_output=True, text=True,
                          timeout=timeout, env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)})


def test_fifo_written_by_a_thread_of_the_reading_process(tmp_path):
    # The writer thread needs the interpreter lock between its writes; the
    # reader waits in read(2) for those writes, so it must not hold the lock
    # while it waits. Run apart, so a hang fails this test alone.
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    try:
        done = run_python(f"""
            import threading
            from tarnwick import SpaceWeather
            line = {DTC_LINE!r} + "\\n"
            def writer():
                with open({str(fifo)!r}, "w") as f:
                    for _ in range(3):
                        f.write(line)
                        f.flush()
            t = threading.Thread(target=writer)
            t.start()
            print(len(SpaceWeather.from_set_dtcfile({str(fifo)!r})))
            t.join()
        """, timeout=10)
    except subprocess.TimeoutExpired:
        pytest.fail("reading a FIFO fed by a thread of the same process hung")
    assert (done.returncode, done.stdout) == (0, "1\n"), done.stderr


def growing_line(i):
    return dtcfile_line(1990 + i // 365, 1 + i % 365, [i % 100] * 24) + "\n"


# Appends the lines of one file to another, one write(2) a line.
APPEND_SCRIPT = """
    import os, sys
    fd = os.open(sys.argv[2], os.O_WRONLY | os.O_APPEND)
    with open(sys.argv[1], "rb") as source:
        for line in source:
            os.write(fd, line)
"""


@pytest.mark.parametrize("writer", ["thread", "process"])
def test_file_growing_while_read(tmp_path, writer):
    # Whole lines are appended while the main thread reads the file again
    # and again. A thread of this process appends only between reads (the
    # reader keeps the interpreter lock); another process appends at any
    # moment. Every read sees some prefix of the file: the lines complete at
    # that moment, and possibly one cut short at its end, which the reader
    # reports as too short.
    path, count = str(tmp_path / "growing"), 20_000
    with open(path, "w") as f:
        f.write(growing_line(0))
    if writer == "thread":
        def append():
            fd = os.open(path, os.O_WRONLY | os.O_APPEND)
            for i in range(1, count):
                os.write(fd, growing_line(i).encode())
                if i % 500 == 0:
                    time.sleep(0)  # let the reader in
            os.close(fd)
        worker = threading.Thread(target=append)
        worker.start()
        running = worker.is_alive
    else:
        source = tmp_path / "source"
        source.write_text("".join(growing_line(i) for i in range(1, count)))
        worker = subprocess.Popen([sys.executable, "-c", textwrap.dedent(APPEND_SCRIPT), str(source), path])
        running = lambda: worker.poll() is None  # noqa: E731
    seen, cut = [], 0
    while running() or not seen:
        try:
            sw = SpaceWeather.from_set_dtcfile(path)
        except ValueError as e:
            assert str(e).endswith(": line too short"), e
            cut += 1
            continue
        n = len(sw)
        first, last = sw.date_range()
        assert first == datetime.date(1990, 1, 1)
        assert sw.get(last)["dtc"] == (n - 1) % 100
        seen.append(n)
    worker.join() if writer == "thread" else worker.wait(timeout=60)
    assert seen == sorted(seen)
    assert len(SpaceWeather.from_set_dtcfile(path)) == count


def test_directory_and_device_files(tmp_path):
    assert outcome(SpaceWeather.from_set_dtcfile, str(tmp_path)) == "Is a directory (os error 21)"
    assert outcome(SpaceWeather.from_set_dtcfile, "/dev/null") == 0
    assert outcome(SpaceWeather.from_celestrak_csv, "/dev/null") == HEADER_ERROR


# ---- running out of memory

MEMORY_SCRIPT = """
    import datetime, resource, sys
    from tarnwick import SpaceWeather

    def address_space():
        with open("/proc/self/statm") as f:
            return int(f.read().split()[0]) * resource.getpagesize()

    path, extra, reader, method = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
    if method == "load":
        call, state = lambda: getattr(SpaceWeather, reader)(path), lambda: ""
    else:
        import numpy  # its libraries are mapped before the limit, as in a running program
        sw, other = getattr(SpaceWeather, reader)(path), getattr(SpaceWeather, reader)(path)
        call = {
            "to_numpy": sw.to_numpy,
            "get_range": lambda: sw.get_range(datetime.date.min, datetime.date.max),
            "merge": lambda: sw.merge(other) or [len(sw), len(other)],
        }[method]
        # What a failed call must leave: a failed merge, both objects whole.
        state = lambda: f" {len(sw)} {len(other)}" if method == "merge" else ""
    hard = resource.getrlimit(resource.RLIMIT_AS)[1]
    resource.setrlimit(resource.RLIMIT_AS, (address_space() + extra, hard))
    for attempt in range(3):
        try:
            call()
            print("done")
        except MemoryError:
            print("MemoryError" + state())
    resource.setrlimit(resource.RLIMIT_AS, (hard, hard))
    try:
        print(call() if method == "merge" else len(call()))
    except ValueError:
        print("ValueError")
"""


def distinct_days(path, count=50_000):
    lines = (dtcfile_line(1000 + i // 365, 1 + i % 365, [i % 100] * 24) + "\n" for i in range(count))
    return write(path, "".join(lines))


@pytest.mark.skipif(SANITIZED, reason="AddressSanitizer needs more address space than any such limit")
@pytest.mark.skipif(EMULATED, reason="under qemu-user the address-space limit does not bound the guest")
@pytest.mark.parametrize("reader, method, build, extra, expected_after", [
    # The file's buffer itself cannot be had.
    ("from_set_dtcfile", "load", lambda p: sparse_zeros(p, 256 * MiB), 64 * MiB, "ValueError"),
    # The buffer (22 MB) fits; the records of its 200,000 lines do not.
    ("from_set_dtcfile", "load", lambda p: write(p, (DTC_LINE + "\n") * 1000, 200), 40 * MiB, "1"),
    ("from_celestrak_csv", "load",
     lambda p: write(p, CSV_HEADER + "\n" + (csv_line("2020-01-01", 1, 2, 3, [1] * 8, [2] * 8) + "\n") * 300_000),
     40 * MiB, "1"),
    # Queries whose results outgrow what is left.
    ("from_set_dtcfile", "to_numpy", distinct_days, 8 * MiB, "12"),
    ("from_set_dtcfile", "get_range", distinct_days, 8 * MiB, "50000"),
    ("from_set_dtcfile", "merge", distinct_days, 8 * MiB, "[50000, 0]"),
], ids=["file buffer", "dtc records", "csv records", "to_numpy", "get_range", "merge"])
def test_allocation_failure_is_memory_error(tmp_path, reader, method, build, extra, expected_after):
    if method != "load":
        pytest.importorskip("numpy")
    path = build(tmp_path / "big")
    done = run_python(MEMORY_SCRIPT, path, str(extra), reader, method)
    assert done.returncode == 0, done.stderr
    results = done.stdout.splitlines()
    failed = "MemoryError 50000 50000" if method == "merge" else "MemoryError"
    assert results[:3] == [failed] * 3, done.stdout
    assert results[3] == expected_after  # the same call works once memory is back


BLANK_LINES_SCRIPT = """
import resource, sys
from tarnwick import SpaceWeather
with open("/proc/self/statm") as f:
    used = int(f.read().split()[0]) * resource.getpagesize()
resource.setrlimit(resource.RLIMIT_AS, (used + int(sys.argv[2]), resource.getrlimit(resource.RLIMIT_AS)[1]))
print(len(SpaceWeather.from_celestrak_csv(sys.argv[1])))
"""


@pytest.mark.skipif(SANITIZED, reason="AddressSanitizer needs more address space than any such limit")
def test_blank_lines_reserve_no_room_for_records(tmp_path):
    # A header and 60 million blank lines (60 MB) make no record, and are
    # read within the file's size and 32 MiB more of address space.
    path = write(tmp_path / "f", CSV_HEADER + "\n")
    write(path, b"\n" * 1_000_000, 60, mode="ab")
    done = run_python(BLANK_LINES_SCRIPT, path, str(60 * MiB + 32 * MiB))
    assert (done.returncode, done.stdout) == (0, "0\n"), done.stderr


# ---- leaks over many calls

def rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


SOAK_ROUNDS = 10_000


def test_every_method_stays_flat_over_ten_thousand_calls(csv_sw, data_dir, tmp_path):
    # The cases of the reference-count checks, each call now repeated until
    # a leak of a few bytes a call would show in the process's RSS.
    from test_leaks import cases
    paths = {"csv": str(data_dir / "sw_excerpt_lf.csv"), "dtc": str(data_dir / "dtcfile_excerpt.txt"),
             "absent": str(tmp_path / "absent")}
    calls = [(name, call) for name, call, _ in cases(csv_sw, paths)]
    try:
        import numpy  # noqa: F401
        calls.append(("to_numpy", csv_sw.to_numpy))
    except ImportError:
        pass
    grown = {}
    for name, call in calls:
        for _ in range(SOAK_ROUNDS // 10):  # caches and allocator pools settle
            call()
        gc.collect()
        objects, memory = len(gc.get_objects()), rss()
        for _ in range(SOAK_ROUNDS):
            call()
        gc.collect()
        more_objects, more_memory = len(gc.get_objects()) - objects, rss() - memory
        if more_objects > 10 or (not SANITIZED and more_memory > 256 * 1024):
            grown[name] = (more_objects, more_memory)
    assert grown == {}
