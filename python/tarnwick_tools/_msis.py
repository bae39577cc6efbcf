"""NRLMSISE-00 inputs from a CelesTrak series."""

from __future__ import annotations

from collections.abc import Mapping
from typing import TYPE_CHECKING, Any, NamedTuple

from tarnwick import SpaceWeather

if TYPE_CHECKING:
    import numpy as np
    import numpy.typing as npt

_HALF_WINDOW = 40  # 81 days centred on the day


class MsisInputs(NamedTuple):
    """What NRLMSISE-00 takes from the indices, one row per epoch."""

    f107: npt.NDArray[np.float64]
    """(n,): the observed F10.7 of the day before the epoch's day."""
    f107a: npt.NDArray[np.float64]
    """(n,): the observed F10.7's 81-day centred mean on the epoch's day."""
    ap: npt.NDArray[np.float64]
    """(n, 7): daily Ap; 3-hour ap now, 3, 6 and 9 h before; two 8-value means."""


def msis_inputs(
    source: SpaceWeather | Mapping[str, Any],
    epochs: npt.ArrayLike,
    flare_limit: float | None = None,
) -> MsisInputs:
    """F10.7, F10.7A and the ap array for NRLMSISE-00 at each epoch.

    ``source`` is a ``SpaceWeather`` holding a CelesTrak CSV series (merged
    with other files or not), or the dict its ``to_numpy()`` returns; only
    "date", "f10_7_obs", "ap_daily" and "ap_3hr" are read. ``epochs`` are UTC
    instants as NumPy datetime64 of any unit (a scalar, a list or an array;
    NaT gives a row of NaN). Returns ``(f107, f107a, ap)`` as a named tuple:

    - ``f107`` (n,): the observed F10.7 of the day before the epoch's day;
    - ``f107a`` (n,): the mean of the observed F10.7 over the 81 days centred
      on the epoch's day, rounded to 0.1 sfu as CelesTrak rounds its
      ``F10.7_OBS_CENTER81`` column;
    - ``ap`` (n, 7): the daily Ap of the epoch's day; the 3-hour ap of the
      interval holding the epoch and of the intervals 3, 6 and 9 hours before
      it; the mean of the eight 3-hour values from 12 to 33 hours before, and
      of the eight from 36 to 57 hours before.

    Outside the series nothing is raised: every value whose inputs are not
    all in the series is NaN, and the others are still given. So an epoch
    before the first day or after the last is all NaN, and NaN also appears
    within 40 days of either end of the daily part (``f107a``), in the first
    57 hours (the ap means), on the days missing after the daily forecast and
    on the monthly prediction rows, which carry no ap. Test with
    ``numpy.isnan`` where a NaN must not reach the model.

    ``flare_limit``: when given, a previous-day F10.7 above it, or not above
    zero, is replaced by the 81-day centred mean of that previous day (a
    guard against flare-contaminated readings; pymsis uses 400).

    Raises TypeError when ``epochs`` are not datetime64.
    """
    import numpy as np

    columns = source.to_numpy() if isinstance(source, SpaceWeather) else source
    index, first = _day_grid(columns["date"])
    length = int(index.max()) + 1 if index.size else 0
    f107_obs = _on_grid(np.asarray(columns["f10_7_obs"], dtype=np.float64), index, length)
    ap_daily = _on_grid(np.asarray(columns["ap_daily"], dtype=np.float64), index, length)
    ap_3hr = np.asarray(columns["ap_3hr"], dtype=np.float64)
    if ap_3hr.size == 0:  # (0, 0) for an empty series
        ap_3hr = np.empty((0, 8))
    ap_slots = _on_grid(ap_3hr, index, length).reshape(-1)  # 8 slots a day, in time order
    f107a_grid = _centred_mean_81(f107_obs)

    times = np.atleast_1d(np.asarray(epochs))
    if not np.issubdtype(times.dtype, np.datetime64):
        raise TypeError(f"epochs must be numpy datetime64, not {times.dtype}")
    if np.datetime_data(times.dtype)[0] in ("Y", "M", "generic"):
        times = times.astype("datetime64[s]")  # years and months have no fixed length
    known = ~np.isnat(times)
    times = np.where(known, times, first)  # NaT: computed on a stand-in day, blanked below
    day = times.astype("datetime64[D]")  # floors, also before 1970
    day_index = (day - first).astype(np.int64)
    slot = day_index * 8 + (times - day) // np.timedelta64(3, "h")

    f107 = _take(f107_obs, day_index - 1)
    if flare_limit is not None:
        flare = (f107 > flare_limit) | (f107 <= 0)
        f107 = np.where(flare, _take(f107a_grid, day_index - 1), f107)
    f107a = _take(f107a_grid, day_index)

    ap = np.empty(times.shape + (7,))
    ap[:, 0] = _take(ap_daily, day_index)
    for k in range(4):  # now, 3, 6 and 9 hours before
        ap[:, 1 + k] = _take(ap_slots, slot - k)
    before = slot[:, None] - np.arange(4, 20)  # 12 to 57 hours before, 16 slots
    earlier = _take(ap_slots, before)
    ap[:, 5] = earlier[:, :8].mean(axis=1)  # 12 to 33 hours before
    ap[:, 6] = earlier[:, 8:].mean(axis=1)  # 36 to 57 hours before

    f107[~known] = np.nan
    f107a[~known] = np.nan
    ap[~known] = np.nan
    return MsisInputs(f107, f107a, ap)


def _day_grid(dates: npt.ArrayLike) -> tuple[npt.NDArray[np.int64], np.datetime64]:
    """Each record's day number counted from the first day, and the first day."""
    import numpy as np

    days = np.asarray(dates)
    if days.size == 0:  # to_numpy() of an empty series gives a float64 "date"
        return np.empty(0, dtype=np.int64), np.datetime64("1970-01-01", "D")
    days = days.astype("datetime64[D]")
    first = days.min()
    return (days - first).astype(np.int64), first


def _on_grid(values: npt.NDArray[np.float64], index: npt.NDArray[np.int64], length: int) -> npt.NDArray[np.float64]:
    """Per-record values spread over a contiguous day grid; NaN on days not held."""
    import numpy as np

    grid = np.full((length,) + values.shape[1:], np.nan)
    grid[index] = values
    return grid


def _take(values: npt.NDArray[np.float64], index: npt.NDArray[np.int64]) -> npt.NDArray[np.float64]:
    """values[index], NaN where index falls outside values."""
    import numpy as np

    inside = (index >= 0) & (index < len(values))
    out = values[np.where(inside, index, 0)] if len(values) else np.zeros(index.shape)
    return np.where(inside, out, np.nan)


def _centred_mean_81(daily: npt.NDArray[np.float64]) -> npt.NDArray[np.float64]:
    """Centred 81-day mean of a day grid, rounded to 0.1; NaN when any day lacks.

    The sum of 81 one-decimal values divided by 81 is never exactly halfway
    between two tenths (81 is odd), so the rounding rule cannot matter and
    np.round gives what CelesTrak publishes.
    """
    import numpy as np

    out = np.full(len(daily), np.nan)
    if len(daily) >= 2 * _HALF_WINDOW + 1:
        windows = np.lib.stride_tricks.sliding_window_view(daily, 2 * _HALF_WINDOW + 1)
        out[_HALF_WINDOW:-_HALF_WINDOW] = np.round(windows.mean(axis=1), 1)
    return out
