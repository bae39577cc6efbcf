"""Draw the end of a CelesTrak series: observed, interpolated, forecast, monthly.

    python examples/plot_series_end.py OUT.png [SW.csv]

tarnwick keeps the values, not the CSV's F10.7_DATA_TYPE column, so the row
kinds are read here with the csv module and matched by date.
"""

from __future__ import annotations

import csv
import datetime as dt
import sys
from pathlib import Path

import numpy as np

HERE = Path(__file__).resolve().parent

KINDS = (
    ("OBS", "observed", "tab:blue", "-"),
    ("INT", "interpolated", "tab:orange", "o"),
    ("PRD", "daily forecast", "tab:green", "-"),
    ("PRM", "monthly prediction", "tab:red", "o"),
)


def row_kinds(path: str) -> dict[dt.date, str]:
    with open(path, newline="") as f:
        return {dt.date.fromisoformat(r["DATE"]): r["F10.7_DATA_TYPE"] for r in csv.DictReader(f)}


def main(out: str, path: str) -> None:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    from tarnwick import SpaceWeather

    cols = SpaceWeather.from_celestrak_csv(path).to_numpy()
    kinds = row_kinds(path)
    kind = np.array([kinds[d] for d in cols["date"]])
    days = cols["date"].astype("datetime64[D]")
    flux = cols["f10_7_obs"]
    last_daily = days[kind != "PRM"].max()

    fig, (near, far) = plt.subplots(2, 1, figsize=(10, 7))
    windows = (
        (near, last_daily - np.timedelta64(150, "D"), last_daily + np.timedelta64(75, "D")),
        (far, days[0], days[-1] + np.timedelta64(60, "D")),
    )
    for ax, start, end in windows:
        shown = (days >= start) & (days <= end)
        for code, label, color, style in KINDS:
            pick = shown & (kind == code)
            if not pick.any():
                continue
            count = f"{code}, {label}: {int((kind == code).sum())} rows"
            if style == "o":
                ax.plot(days[pick], flux[pick], "o", ms=3, color=color, label=count)
            else:  # lines, broken where a day is missing
                series = np.where(pick, flux, np.nan)
                ax.plot(days[shown], series[shown], lw=0.9, color=color, label=count)
        ax.set_xlim(start, end)
        ax.set_ylabel("F10.7 observed (sfu)")
        ax.grid(alpha=0.3)
    near.set_title(f"The end of the daily rows of {Path(path).name} and what follows them")
    far.set_title("The whole file: daily rows, then one row a month")
    near.legend(loc="upper right", fontsize=8)
    gap_start = last_daily + np.timedelta64(1, "D")
    gap_end = days[kind == "PRM"].min() if (kind == "PRM").any() else gap_start
    if gap_end > gap_start:
        near.axvspan(gap_start, gap_end, color="0.9")
        near.annotate("no rows", (gap_start, near.get_ylim()[0]), xytext=(4, 6), textcoords="offset points", fontsize=8)
    fig.tight_layout()
    fig.savefig(out, dpi=90)
    print(f"wrote {out}")


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else str(HERE / "data" / "SW-Last5Years.csv"))
