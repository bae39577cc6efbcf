"""A series as a pandas or polars DataFrame, one row per day.

    python examples/dataframes.py [DATA_DIR]

``to_numpy()`` gives "date" as an object array of ``datetime.date`` and
"ap_3hr"/"kp_3hr" as (n, 8) arrays, so ``pandas.DataFrame(sw.to_numpy())``
fails. ``tarnwick_tools.to_pandas`` and ``to_polars`` make the dates datetime64
and split each eight-value field into columns ``ap1``..``ap8`` and
``kp1``..``kp8``, column k covering the hours 3(k-1) to 3k UT. Kp stays in
tenths as published.
"""

import sys
from pathlib import Path

import polars as pl

from tarnwick import SpaceWeather
from tarnwick_tools import to_pandas, to_polars

data_dir = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent / "data"
sw = SpaceWeather.from_celestrak_csv(str(data_dir / "SW-Last5Years.csv"))
sw.merge(SpaceWeather.from_set_solfsmy(str(data_dir / "SOLFSMY_2021-2024.TXT")))

df = to_pandas(sw)  # indexed by day, NaN where a value is absent
print(df.loc["2024-05-10", ["f10_7_obs", "f10_7_jb", "ap_daily", "ap1", "ap8", "kp8"]].to_string())
print(df.loc["2024-05", "ap_daily"].nlargest(3).to_string())

frame = to_polars(sw)  # a sorted Date column "date", null where a value is absent
print(frame.filter(pl.col("date") == pl.date(2024, 5, 11)).select("date", "f10_7_obs", "kp1", "kp8"))
