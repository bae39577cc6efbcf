"""NRLMSISE-00 inputs (F10.7, F10.7A and the ap array) from a CelesTrak series.

    python examples/msis_inputs.py [SW.csv] [EPOCH ...]

``msis_inputs(columns, epochs)`` takes the dict that ``SpaceWeather.to_numpy()``
returns for a series holding CelesTrak's CSV and an array of UTC epochs
(NumPy datetime64, any unit) and returns ``(f107, f107a, ap)``:

- ``f107`` (n,): the observed F10.7 of the day before the epoch's day;
- ``f107a`` (n,): the mean of the observed F10.7 over the 81 days centred on
  the epoch's day, rounded to 0.1 sfu as CelesTrak rounds its
  ``F10.7_OBS_CENTER81`` column; NaN unless all 81 days hold a value;
- ``ap`` (n, 7): the daily Ap of the epoch's day; the 3-hour ap of the
  interval holding the epoch and of the intervals 3, 6 and 9 hours before it;
  the mean of the eight 3-hour values from 12 to 33 hours before and of the
  eight from 36 to 57 hours before.

Every value a result needs must be in the series, or the result is NaN: near
the ends of the series, across the date gaps after the daily forecast, and on
the monthly prediction rows, which carry no ap at all.
"""

from __future__ import annotations

import sys
from pathlib import Path

import numpy as np

HERE = Path(__file__).resolve().parent

_HALF_WINDOW = 40  # 81 days centred on the day


def _day_grid(columns):
    """Day numbers of the series and the first day, as datetime64[D]."""
    days = np.asarray(columns["date"])
    if days.size == 0:  # to_numpy() of an empty series gives a float64 "date"
        return np.empty(0, dtype=np.int64), np.datetime64("1970-01-01", "D")
    days = days.astype("datetime64[D]")
    first = days.min()
    return (days - first).astype(np.int64), first


def _on_grid(values, index, length):
    """Spread per-record values over a contiguous day grid; NaN elsewhere."""
    grid = np.full((length,) + values.shape[1:], np.nan)
    grid[index] = values
    return grid


def _take(values, index):
    """values[index], NaN where index falls outside values."""
    inside = (index >= 0) & (index < len(values))
    out = values[np.where(inside, index, 0)] if len(values) else np.zeros(index.shape)
    return np.where(inside, out, np.nan)


def _centred_mean_81(daily):
    """Centred 81-day mean of a day grid, rounded to 0.1; NaN when any day lacks.

    The sum of 81 one-decimal values divided by 81 is never exactly halfway
    between two tenths (81 is odd), so the rounding rule cannot matter and
    np.round gives what CelesTrak publishes.
    """
    out = np.full(len(daily), np.nan)
    if len(daily) >= 2 * _HALF_WINDOW + 1:
        windows = np.lib.stride_tricks.sliding_window_view(daily, 2 * _HALF_WINDOW + 1)
        out[_HALF_WINDOW:-_HALF_WINDOW] = np.round(windows.mean(axis=1), 1)
    return out


def msis_inputs(columns, epochs, flare_limit=None):
    """Return ``(f107, f107a, ap)`` for NRLMSISE-00 at each epoch.

    ``flare_limit``: when given, a previous-day F10.7 above it, or not above
    zero, is replaced by the 81-day centred mean of that previous day (a guard
    against flare-contaminated readings; pymsis uses 400).
    """
    index, first = _day_grid(columns)
    length = int(index.max()) + 1 if index.size else 0
    f107_obs = _on_grid(np.asarray(columns["f10_7_obs"], dtype=float), index, length)
    ap_daily = _on_grid(np.asarray(columns["ap_daily"], dtype=float), index, length)
    ap_3hr = np.asarray(columns["ap_3hr"], dtype=float)
    if ap_3hr.size == 0:
        ap_3hr = np.empty((0, 8))
    ap_slots = _on_grid(ap_3hr, index, length).reshape(-1)  # 8 slots a day, in time order
    f107a_grid = _centred_mean_81(f107_obs)

    epochs = np.atleast_1d(np.asarray(epochs))
    if not np.issubdtype(epochs.dtype, np.datetime64):
        raise TypeError(f"epochs must be numpy datetime64, not {epochs.dtype}")
    if np.datetime_data(epochs.dtype)[0] in ("Y", "M", "generic"):
        epochs = epochs.astype("datetime64[s]")  # years and months have no fixed length
    known = ~np.isnat(epochs)
    epochs = np.where(known, epochs, first)  # NaT: computed on a dummy day, blanked below
    day = epochs.astype("datetime64[D]")  # floors, also before 1970
    day_index = (day - first).astype(np.int64)
    slot = day_index * 8 + (epochs - day) // np.timedelta64(3, "h")

    f107 = _take(f107_obs, day_index - 1)
    if flare_limit is not None:
        flare = (f107 > flare_limit) | (f107 <= 0)
        f107 = np.where(flare, _take(f107a_grid, day_index - 1), f107)
    f107a = _take(f107a_grid, day_index)

    ap = np.empty(epochs.shape + (7,))
    ap[:, 0] = _take(ap_daily, day_index)
    for k in range(4):  # now, 3, 6 and 9 hours before
        ap[:, 1 + k] = _take(ap_slots, slot - k)
    before = slot[:, None] - np.arange(4, 20)  # 12 to 57 hours before, 16 slots
    earlier = _take(ap_slots, before)
    ap[:, 5] = earlier[:, :8].mean(axis=1)  # 12 to 33 hours before
    ap[:, 6] = earlier[:, 8:].mean(axis=1)  # 36 to 57 hours before

    f107[~known] = f107a[~known] = np.nan
    ap[~known] = np.nan
    return f107, f107a, ap


def main(argv: list[str]) -> None:
    from tarnwick import SpaceWeather

    path = argv[0] if argv else str(HERE / "data" / "SW-Last5Years.csv")
    epochs = np.array(argv[1:] or ["2024-05-10T18:30", "2024-05-11T02:00"], dtype="datetime64[m]")
    columns = SpaceWeather.from_celestrak_csv(path).to_numpy()
    f107, f107a, ap = msis_inputs(columns, epochs)
    for epoch, a, b, c in zip(epochs, f107, f107a, ap):
        print(f"{epoch}  f107 {a:6.1f}  f107a {b:6.1f}  ap {' '.join(f'{x:6.2f}' for x in c)}")


if __name__ == "__main__":
    main(sys.argv[1:])
