"""Load the shipped sample files, merge them, and show what came out.

    python examples/demo.py [DATA_DIR]

With matplotlib installed (the ``plot`` extra) it also writes
``examples/flux_and_ap.png``: F10.7 and daily Ap over the sample years.
"""

from __future__ import annotations

import datetime as dt
import math
import sys
from pathlib import Path

from tarnwick import SpaceWeather

HERE = Path(__file__).resolve().parent


def fmt(value: float | None, width: int = 7) -> str:
    if value is None or (isinstance(value, float) and math.isnan(value)):
        return "-".rjust(width)
    return f"{value:{width}.1f}"


def main(data_dir: Path) -> None:
    csv = SpaceWeather.from_celestrak_csv(str(data_dir / "SW-Last5Years.csv"))
    solfsmy = SpaceWeather.from_set_solfsmy(str(data_dir / "SOLFSMY_2021-2024.TXT"))
    dtc = SpaceWeather.from_set_dtcfile(str(data_dir / "DTCFILE_2021-2024.TXT"))
    for name, obj in (("CelesTrak CSV", csv), ("SET SOLFSMY", solfsmy), ("SET DTCFILE", dtc)):
        first, last = obj.date_range()
        print(f"{name:14} {len(obj):6d} days  {first} .. {last}")

    merged = csv
    merged.merge(solfsmy)  # CelesTrak values win where both have a field
    merged.merge(dtc)
    first, last = merged.date_range()
    print(f"{'merged':14} {len(merged):6d} days  {first} .. {last}")
    print()

    print("  date        F10.7obs  F10.7jb    S10.7    Ap     Kp(max)   DTC")
    for day in merged.get_range(dt.date(2024, 5, 8), dt.date(2024, 5, 14)):
        kp = day["kp_3hr"]
        kp_max = max(kp) / 10 if kp else None  # the CSV gives Kp in tenths
        print(
            f"  {day['date']}  {fmt(day['f10_7_obs'])}  {fmt(day['f10_7_jb'])}  "
            f"{fmt(day['s10_7'])}  {fmt(day['ap_daily'], 5)}  {fmt(kp_max, 7)}  {fmt(day['dtc'], 6)}"
        )
    print("  (2024-05-10/11: the strongest geomagnetic storm in two decades)")

    plot(merged, HERE / "flux_and_ap.png")


def plot(obj: SpaceWeather, out: Path) -> None:
    try:
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("\n(matplotlib not installed: no plot; pip install 'tarnwick[plot]')")
        return
    cols = obj.to_numpy()
    fig, (top, bottom) = plt.subplots(2, 1, sharex=True, figsize=(10, 6))
    top.plot(cols["date"], cols["f10_7_obs"], lw=0.8, label="F10.7 observed (CelesTrak)")
    top.plot(cols["date"], cols["f10_7_jb"], lw=0.8, label="F10.7 (SET SOLFSMY)")
    top.set_ylabel("sfu")
    top.legend(loc="upper left")
    bottom.plot(cols["date"], cols["ap_daily"], lw=0.8, color="tab:red")
    bottom.set_ylabel("daily Ap")
    end = max(d for d, f in zip(cols["date"], cols["f10_7_jb"]) if not math.isnan(f))
    bottom.set_xlim(cols["date"][0], end)
    fig.suptitle("Solar flux and geomagnetic activity, sample files merged")
    fig.tight_layout()
    fig.savefig(out, dpi=100)
    print(f"\nwrote {out}")


if __name__ == "__main__":
    main(Path(sys.argv[1]) if len(sys.argv) > 1 else HERE / "data")
