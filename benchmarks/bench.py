"""Times tarnwick against what users would otherwise reach for.

In one run, on the published files and on synthetic files 10x and 100x
their size (the data lines repeated with dates shifted by whole spans of
days, so every date stays valid and every file stays sorted):

- loading: the three constructors against pandas.read_csv, polars.read_csv
  and numpy.loadtxt, and to_numpy on top;
- queries: get(date) per call and get_range per record, to_numpy against
  building its date column in Python
  (numpy.array over datetime.date(y, m, d) of each day), timed in turns,
  and merge of the three published files;
- memory: the growth of the RSS high-water mark while loading each file,
  in a fresh subprocess whose mark is reset just before the load (Linux).

Prints Markdown tables of medians and ratios; --readme writes them into
benchmarks/README.md between its result markers. Never part of the tests.

    python benchmarks/bench.py [--data DIR] [--scales 1,10,100] [--readme]
"""

from __future__ import annotations

import argparse
import datetime as dt
import gc
import importlib.metadata
import os
import platform
import random
import statistics
import subprocess
import sys
import tempfile
import textwrap
import time
from collections.abc import Callable
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import numpy as np
import pandas as pd
import polars as pl

from tarnwick import SpaceWeather

REPO = Path(__file__).resolve().parent.parent
README = REPO / "benchmarks" / "README.md"
BEGIN_MARK = "<!-- results: begin -->"
END_MARK = "<!-- results: end -->"

# sizeof(SpaceWeatherRecord) on x86-64: a day's date, presence mask, nine
# scalars and two arrays of eight.
RECORD_BYTES = 216

CSV_USED = ["DATE", "F10.7_OBS", "F10.7_ADJ", "AP_AVG"] + [f"AP{i}" for i in range(1, 9)] + [f"KP{i}" for i in range(1, 9)]


# ---- synthetic files ---------------------------------------------------------


class Format:
    """How one file format writes a day, for copying its lines to other days."""

    def day(self, line: str) -> int | None:
        """The proleptic ordinal of a data line's day, or None for a line kept once."""
        raise NotImplementedError

    def moved(self, line: str, day: int, shift: int) -> str:
        """The line written for `day`, which is its own day plus `shift`."""
        raise NotImplementedError


class CsvFormat(Format):
    def day(self, line: str) -> int | None:
        if len(line) < 10 or line[4] != "-" or line[7] != "-":
            return None
        return dt.date(int(line[:4]), int(line[5:7]), int(line[8:10])).toordinal()

    def moved(self, line: str, day: int, shift: int) -> str:
        return dt.date.fromordinal(day).isoformat() + line[10:]


def _doy_day(year: str, doy: str) -> int:
    return dt.date(int(year), 1, 1).toordinal() + int(doy) - 1


def _year_doy(day: int) -> tuple[int, int]:
    d = dt.date.fromordinal(day)
    return d.year, day - dt.date(d.year, 1, 1).toordinal() + 1


class SolfsmyFormat(Format):
    def day(self, line: str) -> int | None:
        if len(line) < 22 or line.lstrip().startswith("#"):
            return None
        return _doy_day(line[0:6], line[6:10])

    def moved(self, line: str, day: int, shift: int) -> str:
        year, doy = _year_doy(day)
        return f"{year:6d}{doy:4d}{float(line[10:22]) + shift:12.1f}" + line[22:]


class DtcfileFormat(Format):
    def day(self, line: str) -> int | None:
        if len(line) < 12 or not line.startswith("DTC"):
            return None
        return _doy_day(line[3:8], line[8:12])

    def moved(self, line: str, day: int, shift: int) -> str:
        year, doy = _year_doy(day)
        return f"DTC{year:5d}{doy:4d}" + line[12:]


def scaled_text(text: str, fmt: Format, k: int) -> str:
    """The file k times over: lines kept once first, then k shifted copies of
    the data lines, placed around the original so that years stay in 1..9999."""
    lines = text.splitlines()
    days = [fmt.day(line) for line in lines]
    data = [(line, d) for line, d in zip(lines, days) if d is not None]
    span = max(d for _, d in data) - min(d for _, d in data) + 1
    out = [line for line, d in zip(lines, days) if d is None]
    for j in range(k):
        shift = (j - k // 5) * span
        out.extend(fmt.moved(line, d + shift, shift) for line, d in data)
    return "\n".join(out) + "\n"


# ---- timing ------------------------------------------------------------------


def samples(fn: Callable[[], object], repeats: int) -> list[float]:
    """Seconds of each of `repeats` calls, after one untimed call. The
    garbage collector stays on, as it is for users, but is emptied once
    first: a collection before every call would also empty the caches."""
    gc.collect()
    fn()
    out = []
    for _ in range(repeats):
        t0 = time.perf_counter()
        fn()
        out.append(time.perf_counter() - t0)
    return out


def median(fn: Callable[[], object], repeats: int) -> float:
    return statistics.median(samples(fn, repeats))


def interleaved_medians(
    fns: dict[str, Callable[[], object]], repeats: int, clock: Callable[[], float] = time.perf_counter
) -> dict[str, float]:
    """Median seconds of each function, timed in turns (one call of each per
    round) so that a change in the machine's load meets them all alike."""
    gc.collect()
    for fn in fns.values():
        fn()
    times: dict[str, list[float]] = {label: [] for label in fns}
    for _ in range(repeats):
        for label, fn in fns.items():
            t0 = clock()
            fn()
            times[label].append(clock() - t0)
    return {label: statistics.median(t) for label, t in times.items()}


def fmt_ms(seconds: float) -> str:
    return f"{seconds * 1e3:.2f}" if seconds < 10 else f"{seconds * 1e3:.0f}"


def fmt_x(ratio: float) -> str:
    return f"{ratio:.1f}x" if ratio < 100 else f"{ratio:.0f}x"


# ---- loading -----------------------------------------------------------------


def csv_loaders(path: str) -> dict[str, Callable[[], object]]:
    return {
        "tarnwick from_celestrak_csv": lambda: SpaceWeather.from_celestrak_csv(path),
        "tarnwick from_celestrak_csv + to_numpy": lambda: SpaceWeather.from_celestrak_csv(path).to_numpy(),
        "pandas.read_csv, 20 used columns": lambda: pd.read_csv(path, usecols=CSV_USED),
        "pandas.read_csv, all columns": lambda: pd.read_csv(path),
        "polars.read_csv, all columns": lambda: pl.read_csv(path),
        "polars.read_csv, 20 used columns": lambda: pl.read_csv(path, columns=CSV_USED),
    }


def set_loaders(path: str, kind: str) -> dict[str, Callable[[], object]]:
    if kind == "solfsmy":
        ours = SpaceWeather.from_set_solfsmy
        columns = range(11)  # all but the source flags, which are no numbers
    else:
        ours = SpaceWeather.from_set_dtcfile
        columns = range(1, 27)  # all but the "DTC" tag
    return {
        f"tarnwick from_set_{kind}": lambda: ours(path),
        f"tarnwick from_set_{kind} + to_numpy": lambda: ours(path).to_numpy(),
        'pandas.read_csv(sep=r"\\s+", comment="#")': lambda: pd.read_csv(path, sep=r"\s+", comment="#", header=None),
        "numpy.loadtxt": lambda: np.loadtxt(path, comments="#", usecols=columns),
    }


FILES = [
    ("SW-All.csv", "csv", CsvFormat()),
    ("SOLFSMY.TXT", "solfsmy", SolfsmyFormat()),
    ("DTCFILE.TXT", "dtcfile", DtcfileFormat()),
]


def loaders_for(path: str, kind: str) -> dict[str, Callable[[], object]]:
    return csv_loaders(path) if kind == "csv" else set_loaders(path, kind)


def bench_loading(paths: dict[tuple[str, int], str], scales: list[int], repeats: dict[int, int]) -> tuple[str, dict]:
    rows = []
    per_row: dict[tuple[str, int], float] = {}
    for name, kind, _ in FILES:
        for k in scales:
            path = paths[(name, k)]
            size = os.path.getsize(path)
            loaders = loaders_for(path, kind)
            times = interleaved_medians(loaders, repeats[k])
            ours_label = next(iter(loaders))
            ours = times[ours_label]
            n = len(loaders[ours_label]())
            per_row[(name, k)] = ours / n
            others = [t for label, t in times.items() if not label.startswith("tarnwick")]
            for label, t in times.items():
                rows.append(
                    f"| {name} | {k}x | {label} | {fmt_ms(t)} | {size / t / 1e6:.0f} | {t / n * 1e9:.0f} | "
                    + (f"{fmt_x(t / ours)} |" if label != ours_label else f"1.0x (best other: {fmt_x(min(others) / ours)}) |")
                )
            print(f"  loaded {name} {k}x", file=sys.stderr)
    table = "\n".join(
        [
            "| file | size | method | median ms | MB/s | ns/row | time / tarnwick |",
            "|---|---|---|---:|---:|---:|---:|",
            *rows,
        ]
    )
    scaling = ["", "Time per row of the constructor, relative to the published file:", ""]
    scaling += ["| file | " + " | ".join(f"{k}x" for k in scales) + " |", "|---|" + "---:|" * len(scales)]
    for name, _, _ in FILES:
        base = per_row[(name, scales[0])]
        scaling.append(f"| {name} | " + " | ".join(f"{per_row[(name, k)] / base:.2f}" for k in scales) + " |")
    return table + "\n" + "\n".join(scaling), per_row


# ---- queries -----------------------------------------------------------------


# The query methods and their references run on one thread, so they are
# timed in the process's CPU time: on a shared machine, waiting for a core
# is not part of their cost.
QUERY_CLOCK = time.process_time
QUERY_REPEATS = 25


def python_date_column(sw: SpaceWeather) -> Callable[[], object]:
    """What to_numpy's date column costs in Python: numpy.array over
    datetime.date(y, m, d) of each day held."""
    first, last = sw.date_range()
    ymd = [(d.year, d.month, d.day) for d in (r["date"] for r in sw.get_range(first, last))]
    date, array = dt.date, np.array
    return lambda: array([date(y, m, d) for y, m, d in ymd])


def bench_queries(data: Path) -> str:
    csv_path = str(data / "SW-All.csv")
    sol_path = str(data / "SOLFSMY.TXT")
    dtc_path = str(data / "DTCFILE.TXT")

    def merged() -> SpaceWeather:
        sw = SpaceWeather.from_celestrak_csv(csv_path)
        sw.merge(SpaceWeather.from_set_solfsmy(sol_path))
        sw.merge(SpaceWeather.from_set_dtcfile(dtc_path))
        return sw

    rows = []

    # get(date) on SW-All.csv: a shuffled sample of held days, and days not held.
    sw = SpaceWeather.from_celestrak_csv(csv_path)
    first, last = sw.date_range()
    days = [r["date"] for r in sw.get_range(first, last)]
    n = len(days)
    sample = random.Random(1).sample(days, min(20000, n))
    missing = [dt.date(1000, 1, 1) + dt.timedelta(days=i) for i in range(len(sample))]
    get = sw.get

    def get_all(days: list[dt.date]) -> None:
        for d in days:
            get(d)  # each result dropped at once, as a caller looking up days one by one would

    times = interleaved_medians(
        {"held": lambda: get_all(sample), "missing": lambda: get_all(missing), "range": lambda: sw.get_range(first, last)},
        QUERY_REPEATS,
        QUERY_CLOCK,
    )
    per_call = times["held"] / len(sample) * 1e9
    rows.append(f"| get(date), SW-All.csv, held day | {len(sample)} calls | {per_call:.0f} ns a call | | |")
    rows.append(f"| get(date), SW-All.csv, day not held | {len(missing)} calls | "
                f"{times['missing'] / len(missing) * 1e9:.0f} ns a call | | |")
    per_record = times["range"] / n * 1e9
    rows.append(f"| get_range over all days, SW-All.csv | {n} records | {fmt_ms(times['range'])} ms, "
                f"{per_record:.0f} ns a record | | |")

    # to_numpy, timed in turns with its date column built in Python.
    for label, one in [
        ("merged series", merged()),
        ("SW-All.csv", SpaceWeather.from_celestrak_csv(csv_path)),
        ("SOLFSMY.TXT", SpaceWeather.from_set_solfsmy(sol_path)),
        ("DTCFILE.TXT", SpaceWeather.from_set_dtcfile(dtc_path)),
    ]:
        times = interleaved_medians({"ours": one.to_numpy, "floor": python_date_column(one)}, QUERY_REPEATS, QUERY_CLOCK)
        rows.append(
            f"| to_numpy, {label} | {len(one)} rows | {fmt_ms(times['ours'])} ms | "
            f"date column in Python {fmt_ms(times['floor'])} ms | "
            f"{times['ours'] / times['floor']:.2f}x |"
        )

    # merge: fresh stores every time, since merge empties its argument.
    merge_times = []
    for _ in range(9):
        a = SpaceWeather.from_celestrak_csv(csv_path)
        b = SpaceWeather.from_set_solfsmy(sol_path)
        c = SpaceWeather.from_set_dtcfile(dtc_path)
        t0 = time.perf_counter()
        a.merge(b)
        a.merge(c)
        merge_times.append(time.perf_counter() - t0)
    t = statistics.median(merge_times)
    rows.append(f"| merge of the three published files | {len(a)} days after | {fmt_ms(t)} ms | | |")

    # The constructors read and parse without the interpreter lock: the three
    # files twice over, by two threads at once and one after the other, in
    # wall-clock time.
    jobs = [(SpaceWeather.from_celestrak_csv, csv_path), (SpaceWeather.from_set_solfsmy, sol_path),
            (SpaceWeather.from_set_dtcfile, dtc_path)] * 2
    with ThreadPoolExecutor(2) as pool:
        times = interleaved_medians(
            {"serial": lambda: [read(path) for read, path in jobs],
             "threads": lambda: list(pool.map(lambda job: job[0](job[1]), jobs))},
            QUERY_REPEATS,
        )
    rows.append(f"| the three published files twice, by 2 threads | 6 loads | {fmt_ms(times['threads'])} ms | "
                f"one after the other {fmt_ms(times['serial'])} ms | {times['threads'] / times['serial']:.2f}x |")

    return "\n".join(
        [
            "| operation | size | median | reference | time / reference |",
            "|---|---|---:|---:|---:|",
            *rows,
        ]
    )


# ---- one load in a fresh interpreter -------------------------------------------

# Prints the rows, the growth of the RSS high-water mark, the seconds and the
# page faults of one load.
FRESH_LOAD_PROBE = textwrap.dedent(
    r"""
    import resource, sys, time
    kind, path = sys.argv[1], sys.argv[2]
    if kind == "tarnwick":
        from tarnwick import SpaceWeather
        ctor = {"csv": SpaceWeather.from_celestrak_csv, "solfsmy": SpaceWeather.from_set_solfsmy,
                "dtcfile": SpaceWeather.from_set_dtcfile}[sys.argv[3]]
        load = lambda: ctor(path)
    elif kind == "pandas":
        import pandas as pd
        load = (lambda: pd.read_csv(path)) if sys.argv[3] == "csv" else (
            lambda: pd.read_csv(path, sep=r"\s+", comment="#", header=None))
    else:
        import polars as pl
        load = lambda: pl.read_csv(path)

    def status_kib(key):
        with open("/proc/self/status") as f:
            return next(int(line.split()[1]) for line in f if line.startswith(key + ":"))

    # Reset the high-water mark to what is resident now, so that neither
    # the interpreter's start nor the imports count.
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")
    before = status_kib("VmRSS")
    faults = resource.getrusage(resource.RUSAGE_SELF).ru_minflt
    t0 = time.perf_counter()
    obj = load()
    seconds = time.perf_counter() - t0
    faults = resource.getrusage(resource.RUSAGE_SELF).ru_minflt - faults
    print(len(obj), (status_kib("VmHWM") - before) * 1024, seconds, faults)
    """
)


def fresh_load(library: str, path: str, kind: str) -> tuple[int, int, float, int]:
    """(rows, RSS high-water growth in bytes, seconds, page faults) of one
    load in a fresh interpreter."""
    out = subprocess.run(
        [sys.executable, "-c", FRESH_LOAD_PROBE, library, path, kind], check=True, capture_output=True, text=True
    ).stdout.split()
    return int(out[0]), int(out[1]), float(out[2]), int(out[3])


def peak_load_bytes(library: str, path: str, kind: str) -> tuple[int, int]:
    return fresh_load(library, path, kind)[:2]


FIRST_LOAD_REPEATS = 7


def bench_first_load(paths: dict[tuple[str, int], str], scales: list[int]) -> str:
    """A user's first load: each file once in a fresh interpreter, whose
    memory all comes from the kernel, the scales taken in turns. In the
    repeated loads above, the published files' records reuse memory the
    process already has, while at 10x and beyond they never do: glibc maps
    every block over 32 MiB afresh."""
    per_row: dict[tuple[str, int], list[float]] = {key: [] for key in paths}
    faults: dict[tuple[str, int], int] = {}
    for _ in range(FIRST_LOAD_REPEATS):
        for name, kind, _ in FILES:
            for k in scales:
                n, _, seconds, faults[(name, k)] = fresh_load("tarnwick", paths[(name, k)], kind)
                per_row[(name, k)].append(seconds / n)
    rows = []
    for name, _, _ in FILES:
        base = statistics.median(per_row[(name, scales[0])])
        cells = [f"{statistics.median(per_row[(name, k)]) / base:.2f}" for k in scales]
        rows.append(f"| {name} | {base * 1e9:.0f} | " + " | ".join(cells) + f" | {faults[(name, scales[0])]} |")
    return "\n".join(
        [
            f"First load in a fresh interpreter (median of {FIRST_LOAD_REPEATS}), time per row relative to"
            f" {scales[0]}x:",
            "",
            f"| file | ns/row at {scales[0]}x | " + " | ".join(f"{k}x" for k in scales)
            + f" | page faults at {scales[0]}x |",
            "|---|---:|" + "---:|" * len(scales) + "---:|",
            *rows,
        ]
    )


# ---- memory ------------------------------------------------------------------




def bench_memory(paths: dict[tuple[str, int], str], scales: list[int]) -> str:
    rows = []
    for name, kind, _ in FILES:
        for k in scales:
            path = paths[(name, k)]
            size = os.path.getsize(path)
            n, ours = peak_load_bytes("tarnwick", path, kind)
            records = n * RECORD_BYTES
            others = [f"pandas {peak_load_bytes('pandas', path, kind)[1] / 1e6:.1f}"]
            if kind == "csv":
                others.append(f"polars {peak_load_bytes('polars', path, kind)[1] / 1e6:.1f}")
            rows.append(
                f"| {name} | {k}x | {size / 1e6:.1f} | {records / 1e6:.1f} | {ours / 1e6:.1f} | "
                f"{ours / (size + records):.2f} | {', '.join(others)} |"
            )
            print(f"  memory {name} {k}x", file=sys.stderr)
    return "\n".join(
        [
            "| file | size | file MB | records MB | tarnwick peak MB | peak / (file + records) | others' peak MB |",
            "|---|---|---:|---:|---:|---:|---|",
            *rows,
        ]
    )


# ---- report ------------------------------------------------------------------


def machine() -> str:
    cpu = platform.processor() or platform.machine()
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    versions = ", ".join(
        f"{name} {importlib.metadata.version(name)}" for name in ("tarnwick", "numpy", "pandas", "polars")
    )
    return (
        f"{cpu}, {os.cpu_count()} cores, {platform.system()} {platform.release()}; "
        f"Python {platform.python_version()}; {versions}"
    )


def write_readme(text: str) -> None:
    readme = README.read_text()
    head, rest = readme.split(BEGIN_MARK, 1)
    _, tail = rest.split(END_MARK, 1)
    README.write_text(f"{head}{BEGIN_MARK}\n{text}\n{END_MARK}{tail}")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--data", type=Path, default=REPO.parent / "shared" / "data", help="the published files")
    parser.add_argument("--scales", default="1,10,100", help="file sizes to time, as multiples of the published ones")
    parser.add_argument("--readme", action="store_true", help="write the tables into benchmarks/README.md")
    args = parser.parse_args()
    scales = [int(s) for s in args.scales.split(",")]
    repeats = {k: (15 if k <= 1 else 7 if k <= 10 else 3) for k in scales}

    with tempfile.TemporaryDirectory(prefix="tarnwick-bench-") as tmp:
        paths: dict[tuple[str, int], str] = {}
        for name, _, fmt in FILES:
            real = (args.data / name).read_text()
            for k in scales:
                if k == 1:
                    paths[(name, k)] = str(args.data / name)
                    continue
                path = Path(tmp) / f"{k}x-{name}"
                path.write_text(scaled_text(real, fmt, k))
                paths[(name, k)] = str(path)
        print("files ready", file=sys.stderr)

        loading, _ = bench_loading(paths, scales, repeats)
        first_load = bench_first_load(paths, scales)
        print("  first loads", file=sys.stderr)
        queries = bench_queries(args.data)
        memory = bench_memory(paths, scales)

    report = "\n".join(
        [
            f"Machine: {machine()}.",
            f"Run on {time.strftime('%Y-%m-%d')}; medians of {', '.join(f'{repeats[k]} runs at {k}x' for k in scales)}.",
            "",
            "### Loading",
            "",
            loading,
            "",
            first_load,
            "",
            "### Queries and export",
            "",
            queries,
            "",
            "### Peak memory while loading",
            "",
            memory,
        ]
    )
    print(report)
    if args.readme:
        write_readme(report)


if __name__ == "__main__":
    main()
