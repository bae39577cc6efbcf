"""Two builds of the module side by side in one process: the three readers
on the published files and get(date) on SW-All.csv, timed in turns (one
call of each build per round), with the ratio of their medians.

    python benchmarks/builds.py A.so B.so [--data DIR] [--rounds N]

Each argument is a built module (tarnwick.cpython-*.so), for instance the
zig-built one from a release wheel and one built from the same tree with
g++; both must be for the Python that runs this. Builds of one tree load
side by side: the interpreter keeps extension modules apart by file.
"""

import argparse
import datetime as dt
import importlib.machinery
import importlib.util
import random
from pathlib import Path

from bench import REPO, interleaved_medians


def load(path: str):
    loader = importlib.machinery.ExtensionFileLoader("tarnwick", path)
    spec = importlib.util.spec_from_file_location("tarnwick", path, loader=loader)
    module = importlib.util.module_from_spec(spec)
    loader.exec_module(module)
    return module


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("builds", nargs=2, help="the two modules, A then B")
    parser.add_argument("--data", type=Path, default=REPO.parent / "shared" / "data", help="the published files")
    parser.add_argument("--rounds", type=int, default=41, help="calls of each build per figure")
    args = parser.parse_args()
    a, b = (load(path) for path in args.builds)
    csv, sol, dtc = (str(args.data / name) for name in ("SW-All.csv", "SOLFSMY.TXT", "DTCFILE.TXT"))

    sw = {m: m.SpaceWeather.from_celestrak_csv(csv) for m in (a, b)}
    first, last = sw[a].date_range()
    days = [r["date"] for r in sw[a].get_range(first, last)]
    sample = random.Random(1).sample(days, min(20000, len(days)))

    def get_all(m):
        get = sw[m].get
        def run() -> None:
            for d in sample:
                get(d)
        return run

    cases = {
        "from_celestrak_csv SW-All.csv": lambda m: lambda: m.SpaceWeather.from_celestrak_csv(csv),
        "from_set_solfsmy SOLFSMY.TXT": lambda m: lambda: m.SpaceWeather.from_set_solfsmy(sol),
        "from_set_dtcfile DTCFILE.TXT": lambda m: lambda: m.SpaceWeather.from_set_dtcfile(dtc),
        f"get(date), {len(sample)} days": get_all,
    }
    print(f"A: {args.builds[0]}\nB: {args.builds[1]}\nmedians of {args.rounds} rounds, in turns\n")
    print("| case | A ms | B ms | A / B |\n|---|---:|---:|---:|")
    for name, make in cases.items():
        times = interleaved_medians({"A": make(a), "B": make(b)}, args.rounds)
        print(f"| {name} | {times['A'] * 1e3:.3f} | {times['B'] * 1e3:.3f} | {times['A'] / times['B']:.3f} |")


if __name__ == "__main__":
    main()
