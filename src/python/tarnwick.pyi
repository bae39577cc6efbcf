import datetime
from typing import Any, Protocol, SupportsIndex, TypedDict, final

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

@final
class SpaceWeather:
    @staticmethod
    def from_celestrak_csv(path: str) -> SpaceWeather: ...
    @staticmethod
    def from_set_solfsmy(path: str) -> SpaceWeather: ...
    @staticmethod
    def from_set_dtcfile(path: str) -> SpaceWeather: ...
    def get(self, date: _DateLike) -> _Record | None: ...
    def get_range(self, start: _DateLike, end: _DateLike) -> list[_Record]: ...
    def merge(self, other: SpaceWeather) -> None: ...
    def len(self) -> int: ...
    def date_range(self) -> tuple[datetime.date, datetime.date] | None: ...
    # Twelve NumPy arrays keyed by field name; see the README for shapes.
    def to_numpy(self) -> dict[str, Any]: ...
    def __len__(self) -> int: ...
