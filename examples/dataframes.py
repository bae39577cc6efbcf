"""A series as a pandas or polars DataFrame, one row per day.

    python examples/dataframes.py [DATA_DIR]

``to_numpy()`` gives "date" as an object array of ``datetime.date`` and
"ap_3hr"/"kp_3hr" as (n, 8) arrays, so ``pandas.DataFrame(sw.to_numpy())``
fails. ``to_pandas`` and ``to_polars`` below make the dates datetime64 and
split each eight-value field into columns ``ap1``..``ap8`` and ``kp1``..``kp8``,
column k covering the hours 3(k-1) to 3k UT. Kp stays in tenths as published.
"""

from __future__ import annotations

import sys
from pathlib import Path

import numpy as np

HERE = Path(__file__).resolve().parent

SCALARS = ("f10_7_obs", "f10_7_adj", "f10_7_jb", "f10_7_jb_81c", "ap_daily", "s10_7", "m10_7", "y10_7", "dtc")


def flat_columns(sw):
    """to_numpy() as a dict of one-dimensional arrays: dates as datetime64[D]."""
    cols = sw.to_numpy()
    n = len(cols["f10_7_obs"])
    flat = {"date": np.asarray(cols["date"]).astype("datetime64[D]")}
    flat.update((name, cols[name]) for name in SCALARS)
    for field, prefix in (("ap_3hr", "ap"), ("kp_3hr", "kp")):
        block = cols[field].reshape(n, 8)  # (0, 0) when empty
        flat.update((f"{prefix}{k + 1}", block[:, k]) for k in range(8))
    return flat


def to_pandas(sw):
    """A pandas DataFrame indexed by day (DatetimeIndex "date"); NaN where absent."""
    import pandas as pd

    return pd.DataFrame(flat_columns(sw)).set_index("date")


def to_polars(sw):
    """A polars DataFrame with a sorted Date column "date"; null where absent."""
    import polars as pl

    frame = pl.DataFrame(flat_columns(sw))
    # NaN marks absence in to_numpy(); polars' own missing value is null.
    return frame.with_columns(pl.col(pl.Float64).fill_nan(None)).set_sorted("date")


def main(data_dir: Path) -> None:
    from tarnwick import SpaceWeather

    sw = SpaceWeather.from_celestrak_csv(str(data_dir / "SW-Last5Years.csv"))
    sw.merge(SpaceWeather.from_set_solfsmy(str(data_dir / "SOLFSMY_2021-2024.TXT")))

    df = to_pandas(sw)
    print(df.loc["2024-05-10", ["f10_7_obs", "f10_7_jb", "ap_daily", "ap1", "ap8", "kp8"]].to_string())
    print(df.loc["2024-05", "ap_daily"].nlargest(3).to_string())

    import polars as pl

    frame = to_polars(sw)
    print(frame.filter(pl.col("date") == pl.date(2024, 5, 11)).select("date", "f10_7_obs", "kp1", "kp8"))


if __name__ == "__main__":
    main(Path(sys.argv[1]) if len(sys.argv) > 1 else HERE / "data")
