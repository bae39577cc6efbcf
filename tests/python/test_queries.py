"""get, get_range, date_range and len: dates in, dicts and datetime.date out."""

import datetime
import gc
import sys
import types

import pytest

from builders import dtcfile_line

KEYS = ["date", "f10_7_obs", "f10_7_adj", "f10_7_jb", "f10_7_jb_81c", "ap_daily",
        "ap_3hr", "kp_3hr", "s10_7", "m10_7", "y10_7", "dtc"]
FLARE = datetime.date(2011, 3, 7)
ALL_DAYS = (datetime.date.min, datetime.date.max)


class DateLike:
    def __init__(self, year, month, day):
        self.year, self.month, self.day = year, month, day


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class DayBefore(datetime.date):
    """A date subclass whose own `day` attribute wins over the stored one."""

    @property
    def day(self):
        return super().day - 1


class Boom(Exception):
    pass


class BadYear:
    month = day = 1

    @property
    def year(self):
        raise Boom("year")


class BadMonth:
    year, day = 2011, 7

    @property
    def month(self):
        raise Boom("month")


class CountingDate:
    """Records which attributes are read, in order."""

    def __init__(self, year, month, day):
        self.values = {"year": year, "month": month, "day": day}
        self.reads = []

    def __getattr__(self, name):
        self.reads.append(name)
        return self.values[name]


def test_record_dict(csv_sw):
    day = csv_sw.get(FLARE)
    assert list(day) == KEYS
    assert type(day["date"]) is datetime.date and day["date"] == FLARE
    assert all(type(x) is float for x in day["ap_3hr"] + day["kp_3hr"])
    assert len(day["ap_3hr"]) == len(day["kp_3hr"]) == 8
    assert [k for k, v in day.items() if v is None] == \
        ["f10_7_jb", "f10_7_jb_81c", "s10_7", "m10_7", "y10_7", "dtc"]


def test_merged_record_has_every_source(csv_sw, solfsmy_sw, dtcfile_sw):
    csv_sw.merge(solfsmy_sw)
    csv_sw.merge(dtcfile_sw)
    day = csv_sw.get(FLARE)
    assert list(day) == KEYS
    assert [k for k, v in day.items() if v is None] == []


def test_each_call_builds_new_objects(csv_sw):
    a, b = csv_sw.get(FLARE), csv_sw.get(FLARE)
    assert a == b and a is not b
    assert a["ap_3hr"] is not b["ap_3hr"]
    a["ap_3hr"][0] = -1.0
    a["f10_7_obs"] = None
    assert csv_sw.get(FLARE) == b


def test_float_values_are_exact(make_csv):
    sw = make_csv("2020-01-01,-0.0,1e308,nan,inf,-inf,1e-320,5e-324,0.1,2.5,3,4,5,,,,,,,,")
    day = sw.get(datetime.date(2020, 1, 1))
    assert str(day["f10_7_obs"]) == "-0.0"
    assert day["f10_7_adj"] == 1e308
    assert day["ap_daily"] != day["ap_daily"]  # NaN is a present value
    assert day["ap_3hr"] == [float("inf"), float("-inf"), 1e-320, 5e-324, 0.1, 2.5, 3.0, 4.0]
    assert day["kp_3hr"] is None  # one of the eight cells is empty
    # Whole numbers share objects; the sign of zero and the edges of that range stay.
    day = make_csv("2020-01-01,1,2,3,0,-0,511,511.5,512,-1,0.0,7e0,,,,,,,,").get(datetime.date(2020, 1, 1))
    assert [str(v) for v in day["ap_3hr"]] == ["0.0", "-0.0", "511.0", "511.5", "512.0", "-1.0", "0.0", "7.0"]


@pytest.mark.parametrize("date", [
    FLARE,
    datetime.datetime(2011, 3, 7, 15, 30),
    datetime.datetime(2011, 3, 7, 23, 59, tzinfo=datetime.timezone(datetime.timedelta(hours=-5))),
    DateLike(2011, 3, 7),
    DateLike(Index(2011), Index(3), Index(7)),
    DateLike(2011, True * 3, 7),
    DayBefore(2011, 3, 8),
], ids=["date", "datetime", "aware-datetime", "plain-class", "index", "bool-arith", "date-subclass"])
def test_date_likes(csv_sw, date):
    assert csv_sw.get(date) == csv_sw.get(FLARE)
    assert csv_sw.get_range(date, date) == [csv_sw.get(FLARE)]


@pytest.mark.parametrize("date", [
    DateLike(2011, 13, 7), DateLike(2011, 0, 7), DateLike(2011, 2, 30),
    DateLike(-2011, 3, 7), DateLike(2011, 3, 0), DateLike(2011, 3, 255),
    datetime.date(2011, 3, 8),
])
def test_days_not_held(csv_sw, date):
    assert csv_sw.get(date) is None
    assert csv_sw.get_range(date, date) == []


@pytest.mark.parametrize("date, error, message", [
    (DateLike(2011, 256, 7), OverflowError, "out of range integral type conversion attempted"),
    (DateLike(2011, -1, 7), OverflowError, "out of range integral type conversion attempted"),
    (DateLike(2011, 3, 256), OverflowError, "out of range integral type conversion attempted"),
    (DateLike(2 ** 31, 3, 7), OverflowError, "out of range integral type conversion attempted"),
    (DateLike(-2 ** 31 - 1, 3, 7), OverflowError, "out of range integral type conversion attempted"),
    (DateLike(2 ** 63, 3, 7), OverflowError, None),  # beyond a C long: the interpreter's own
    (DateLike(2011.0, 3, 7), TypeError, None),
    (DateLike(2011, "3", 7), TypeError, None),
    (DateLike(2011, 3, None), TypeError, None),
    ("2011-03-07", AttributeError, None),
    (20110307, AttributeError, None),
])
def test_date_conversion_errors(csv_sw, date, error, message):
    for call in (lambda: csv_sw.get(date), lambda: csv_sw.get_range(date, FLARE),
                 lambda: csv_sw.get_range(FLARE, date)):
        with pytest.raises(error) as info:
            call()
        assert type(info.value) is error
        if message is not None:
            assert str(info.value) == message
        assert not str(info.value).startswith("argument")


def test_date_extremes_are_accepted(csv_sw):
    assert csv_sw.get(DateLike(2 ** 31 - 1, 255, 255)) is None
    assert csv_sw.get(DateLike(-2 ** 31, 0, 0)) is None
    assert len(csv_sw.get_range(DateLike(-2 ** 31, 0, 0), DateLike(2 ** 31 - 1, 255, 255))) == 6


@pytest.mark.parametrize("bad", [BadYear(), BadMonth()])
def test_attribute_errors_pass_through(csv_sw, bad, empty_sw):
    for call in (lambda: csv_sw.get(bad), lambda: csv_sw.get_range(FLARE, bad), lambda: empty_sw.get(bad)):
        with pytest.raises(Boom):
            call()


def test_attributes_read_in_order_and_stop_at_first_failure(csv_sw):
    good = CountingDate(2011, 3, 7)
    csv_sw.get(good)
    assert good.reads == ["year", "month", "day"]
    bad = CountingDate(2011, 300, 7)
    with pytest.raises(OverflowError):
        csv_sw.get(bad)
    assert bad.reads == ["year", "month"]
    start, end = CountingDate(2011.5, 1, 1), CountingDate(2011, 1, 1)
    with pytest.raises(TypeError):
        csv_sw.get_range(start, end)
    assert start.reads == ["year"] and end.reads == []


def test_get_on_empty_object_still_converts(empty_sw):
    assert empty_sw.get(FLARE) is None
    with pytest.raises(AttributeError):
        empty_sw.get("2011-03-07")
    assert empty_sw.get_range(*ALL_DAYS) == []


@pytest.mark.parametrize("start, end, days", [
    (FLARE, FLARE, [FLARE]),
    (datetime.date(2011, 3, 8), datetime.date(2011, 3, 8), []),
    (datetime.date(2026, 8, 7), datetime.date(1957, 10, 1), []),  # reversed, though days lie between
    (datetime.date(1957, 10, 2), datetime.date(2026, 8, 6),
     [datetime.date(1957, 10, 2), FLARE, datetime.date(2026, 8, 6)]),
    (datetime.date(1900, 1, 1), datetime.date(1957, 9, 30), []),
    (datetime.date(2041, 10, 2), datetime.date(9999, 1, 1), []),
    (datetime.date(2026, 8, 6), datetime.date(2026, 8, 7), [datetime.date(2026, 8, 6), datetime.date(2026, 8, 7)]),
])
def test_get_range_bounds(csv_sw, start, end, days):
    result = csv_sw.get_range(start, end)
    assert type(result) is list
    assert [r["date"] for r in result] == days
    assert result == [csv_sw.get(d) for d in days]


def test_get_range_all(csv_sw):
    days = [r["date"] for r in csv_sw.get_range(*ALL_DAYS)]
    assert days == sorted(days) and len(days) == 6


def test_get_range_across_year_end(make_dtcfile):
    sw = make_dtcfile(*(dtcfile_line(y, d, [1] * 24) for y, d in [(2000, 2), (1999, 364), (2000, 1), (1999, 365)]))
    days = [r["date"] for r in sw.get_range(datetime.date(1999, 12, 31), datetime.date(2000, 1, 1))]
    assert days == [datetime.date(1999, 12, 31), datetime.date(2000, 1, 1)]


def test_date_range(csv_sw, empty_sw, make_csv):
    first, last = csv_sw.date_range()
    assert (first, last) == (datetime.date(1957, 10, 1), datetime.date(2041, 10, 1))
    assert type(first) is datetime.date
    assert empty_sw.date_range() is None
    one = make_csv("2020-02-29,1,,,")
    a, b = one.date_range()
    assert a == b == datetime.date(2020, 2, 29)
    assert a is not b


def test_len(csv_sw, empty_sw):
    assert len(csv_sw) == csv_sw.len() == 6
    assert type(csv_sw.len()) is int
    assert len(empty_sw) == empty_sw.len() == 0
    assert csv_sw and not empty_sw


def test_day_that_datetime_cannot_hold(make_csv):
    # The CSV reader checks month and day ranges only, so February 30 is held.
    sw = make_csv("2021-02-28,1,,,", "2021-02-30,2,,,")
    assert len(sw) == 2
    with pytest.raises(ValueError):
        sw.get(DateLike(2021, 2, 30))
    with pytest.raises(ValueError):
        sw.get_range(*ALL_DAYS)
    with pytest.raises(ValueError):
        sw.date_range()
    assert sw.get(datetime.date(2021, 2, 28))["f10_7_obs"] == 1.0


def test_datetime_date_is_looked_up_every_call(csv_sw, monkeypatch):
    class MyDate(datetime.date):
        pass
    monkeypatch.setattr(datetime, "date", MyDate)
    assert type(csv_sw.get(FLARE)["date"]) is MyDate
    assert type(csv_sw.date_range()[0]) is MyDate


def test_failing_date_constructor_passes_through(csv_sw, monkeypatch):
    def refuse(*args):
        raise Boom(args)
    monkeypatch.setattr(datetime, "date", refuse)
    for call in (lambda: csv_sw.get(FLARE), lambda: csv_sw.get_range(FLARE, FLARE), csv_sw.date_range):
        with pytest.raises(Boom) as info:
            call()
    assert info.value.args == ((1957, 10, 1),)


@pytest.mark.parametrize("enabled", [True, False])
def test_get_range_leaves_the_collector_as_it_was(csv_sw, monkeypatch, enabled):
    # A date class of the caller's runs with the collector as the caller set it.
    seen = []

    class Watching(datetime.date):
        def __new__(cls, *args):
            seen.append(gc.isenabled())
            return super().__new__(cls, *args)

    (gc.enable if enabled else gc.disable)()
    try:
        assert len(csv_sw.get_range(*ALL_DAYS)) == len(csv_sw)
        assert gc.isenabled() is enabled
        monkeypatch.setattr(datetime, "date", Watching)
        assert len(csv_sw.get_range(*ALL_DAYS)) == len(seen) == len(csv_sw)
        assert set(seen) == {enabled} and gc.isenabled() is enabled
    finally:
        gc.enable()


class OtherDate(datetime.date):
    pass


def date_producers(sw):
    calls = {"get": lambda: [sw.get(FLARE)["date"]],
             "get_range": lambda: [r["date"] for r in sw.get_range(*ALL_DAYS)],
             "date_range": lambda: list(sw.date_range())}
    try:
        import numpy  # noqa: F401
        calls["to_numpy"] = lambda: list(sw.to_numpy()["date"])
    except ImportError:
        pass
    return calls


def test_datetime_module_replaced_in_sys_modules_is_used_at_once(csv_sw, monkeypatch):
    # The first date made installs a second module: every later date of the
    # same call must come from it.
    def first_date(*args):
        monkeypatch.setitem(sys.modules, "datetime", second)
        return datetime.date(*args)
    first = types.ModuleType("datetime")
    first.date = first_date
    second = types.ModuleType("datetime")
    second.date = OtherDate
    for name, call in date_producers(csv_sw).items():
        monkeypatch.setitem(sys.modules, "datetime", first)
        dates = call()
        assert [type(d) for d in dates] == [datetime.date] + [OtherDate] * (len(dates) - 1), name
        assert dates[0] == FLARE or name != "get"


@pytest.mark.parametrize("entry, error", [("missing", None), (None, ModuleNotFoundError)])
def test_datetime_module_absent_from_sys_modules_is_imported(csv_sw, monkeypatch, entry, error):
    for name, call in date_producers(csv_sw).items():
        if entry == "missing":
            monkeypatch.delitem(sys.modules, "datetime")
            assert all(type(d) is datetime.date for d in call()), name
            assert sys.modules["datetime"].date is datetime.date
        else:
            monkeypatch.setitem(sys.modules, "datetime", entry)
            with pytest.raises(error):
                call()
