import datetime
from typing import Never, Protocol, Self, SupportsIndex, TypedDict, final

import numpy as np
import numpy.typing as npt

__all__ = ["SpaceWeather"]

class _DateLike(Protocol):
    # Any object with integer year, month and day: datetime.date,
    # datetime.datetime (the time is ignored) or a class of one's own.
    @property
    def year(self) -> SupportsIndex: ...
    @property
    def month(self) -> SupportsIndex: ...
    @property
    def day(self) -> SupportsIndex: ...

class _Record(TypedDict):
    date: datetime.date
    f10_7_obs: float | None
    f10_7_adj: float | None
    f10_7_jb: float | None
    f10_7_jb_81c: float | None
    ap_daily: float | None
    ap_3hr: list[float] | None
    kp_3hr: list[float] | None
    s10_7: float | None
    m10_7: float | None
    y10_7: float | None
    dtc: float | None

class _Columns(TypedDict):
    # to_numpy(): one row per day. "date" holds datetime.date objects (for a
    # series without days NumPy makes it an empty float64 array).
    date: npt.NDArray[np.object_]
    f10_7_obs: npt.NDArray[np.float64]
    f10_7_adj: npt.NDArray[np.float64]
    f10_7_jb: npt.NDArray[np.float64]
    f10_7_jb_81c: npt.NDArray[np.float64]
    ap_daily: npt.NDArray[np.float64]
    s10_7: npt.NDArray[np.float64]
    m10_7: npt.NDArray[np.float64]
    y10_7: npt.NDArray[np.float64]
    dtc: npt.NDArray[np.float64]
    ap_3hr: npt.NDArray[np.float64]
    kp_3hr: npt.NDArray[np.float64]

@final
class SpaceWeather:
    """Daily space-weather indices, one record per day, sorted by date.

    Made only by the three file constructors; merge series of different files
    to get one record per day with all their values. Values are as published
    (Kp in tenths); an absent value is None, or NaN in to_numpy(). The
    constructors read and parse without holding the GIL, so threads can load
    several files at once.
    """

    # Calling the class raises TypeError: objects come only from the three
    # constructors. A parameter no value can have makes checkers say so.
    def __new__(cls, use_a_from_constructor: Never, /) -> Self: ...
    @staticmethod
    def from_celestrak_csv(path: str) -> SpaceWeather:
        """Read a CelesTrak space-weather CSV (SW-All.csv, SW-Last5Years.csv).

        Fills f10_7_obs, f10_7_adj, ap_daily, ap_3hr and kp_3hr. Raises
        ValueError for a file that cannot be read or is malformed.
        """
    @staticmethod
    def from_set_solfsmy(path: str) -> SpaceWeather:
        """Read a SET SOLFSMY file: f10_7_jb, f10_7_jb_81c, s10_7, m10_7, y10_7.

        Its last rows may be forecasts. Raises ValueError for a file that
        cannot be read or is malformed.
        """
    @staticmethod
    def from_set_dtcfile(path: str) -> SpaceWeather:
        """Read a SET DTCFILE; dtc is the mean of each day's 24 hourly values.

        Raises ValueError for a file that cannot be read or is malformed.
        """
    def get(self, date: _DateLike) -> _Record | None:
        """The record of the day with date's year, month and day, or None."""
    def get_range(self, start: _DateLike, end: _DateLike) -> list[_Record]:
        """The records from start to end inclusive, ascending; [] if none."""
    def merge(self, other: SpaceWeather) -> None:
        """Move other's days into this series, leaving other empty.

        On a day both hold, this series keeps every field it has and takes
        from other only the fields it lacks.
        """
    def len(self) -> int:
        """The number of days held."""
    def date_range(self) -> tuple[datetime.date, datetime.date] | None:
        """The first and last day held, or None when empty."""
    def to_numpy(self) -> _Columns:
        """Twelve new NumPy arrays keyed by field name, one row per day.

        "date" holds datetime.date objects; the nine scalar fields are float64
        of shape (n,); ap_3hr and kp_3hr are float64 of shape (n, 8), (0, 0)
        when empty. Absent values are NaN. Needs NumPy.
        """
    def __len__(self) -> int:
        """The number of days held."""
