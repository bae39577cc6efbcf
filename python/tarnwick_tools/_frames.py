"""A series as a pandas or polars DataFrame, one row per day."""

from __future__ import annotations

from typing import TYPE_CHECKING, Literal

if TYPE_CHECKING:
    import numpy as np
    import numpy.typing as npt
    import pandas  # type: ignore[import-untyped, unused-ignore]  # typed only with pandas-stubs
    import polars

    from tarnwick import SpaceWeather

Scalar = Literal["f10_7_obs", "f10_7_adj", "f10_7_jb", "f10_7_jb_81c", "ap_daily", "s10_7", "m10_7", "y10_7", "dtc"]
SCALARS: tuple[Scalar, ...] = (
    "f10_7_obs", "f10_7_adj", "f10_7_jb", "f10_7_jb_81c", "ap_daily", "s10_7", "m10_7", "y10_7", "dtc",
)
"""The nine one-value fields, in the order of ``to_numpy()`` and of the frames."""


def _flat_columns(sw: SpaceWeather) -> dict[str, npt.NDArray[np.generic]]:
    """to_numpy() as one-dimensional arrays: dates as datetime64[D], ap1..ap8, kp1..kp8."""
    import numpy as np

    cols = sw.to_numpy()
    n = len(cols["f10_7_obs"])
    flat: dict[str, npt.NDArray[np.generic]] = {"date": np.asarray(cols["date"]).astype("datetime64[D]")}
    flat.update((name, cols[name]) for name in SCALARS)
    for prefix, values in (("ap", cols["ap_3hr"]), ("kp", cols["kp_3hr"])):
        block = values.reshape(n, 8)  # (0, 0) when empty
        flat.update((f"{prefix}{k + 1}", block[:, k]) for k in range(8))
    return flat


def to_pandas(sw: SpaceWeather) -> pandas.DataFrame:
    """A pandas DataFrame of the series, indexed by day.

    The index "date" is a DatetimeIndex of the days held, ascending; then
    the nine scalar fields (``SCALARS``), ``ap1``..``ap8`` and ``kp1``..``kp8``
    (column k covers the hours 3(k-1) to 3k UT), all float64 with NaN where a
    value is absent. Kp stays in tenths, as published. Needs NumPy and pandas.
    """
    import pandas as pd

    return pd.DataFrame(_flat_columns(sw)).set_index("date")


def to_polars(sw: SpaceWeather) -> polars.DataFrame:
    """A polars DataFrame of the series: a sorted Date column "date", then the values.

    The same columns as ``to_pandas``, with null (not NaN) where a value is
    absent. Needs NumPy and polars.
    """
    import polars as pl

    frame = pl.DataFrame(_flat_columns(sw))
    # NaN marks absence in to_numpy(); polars' own missing value is null.
    return frame.with_columns(pl.col(pl.Float64).fill_nan(None)).set_sorted("date")
