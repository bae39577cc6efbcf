"""merge, and the borrow rules that keep a store safe while Python code runs inside a call."""

import datetime

import pytest

from builders import csv_line, dtcfile_line, solfsmy_line
from tarnwick import SpaceWeather

ALL_DAYS = (datetime.date.min, datetime.date.max)
D1, D2, D3 = datetime.date(2020, 1, 1), datetime.date(2020, 1, 2), datetime.date(2020, 1, 3)
AP = [1, 2, 3, 4, 5, 6, 7, 8]


def snapshot(sw):
    return sw.get_range(*ALL_DAYS)


def test_target_wins_and_other_fills(make_csv, make_dtcfile):
    a = make_csv(csv_line("2020-01-01", 100), csv_line("2020-01-02", 101))
    b = make_csv(csv_line("2020-01-02", 200, 201, 5, AP), csv_line("2020-01-03", 300), name="b.csv")
    assert a.merge(b) is None
    days = snapshot(a)
    assert [d["date"] for d in days] == [D1, D2, D3]
    assert (days[1]["f10_7_obs"], days[1]["f10_7_adj"], days[1]["ap_daily"]) == (101.0, 201.0, 5.0)
    assert days[1]["ap_3hr"] == [float(x) for x in AP]
    assert days[2]["f10_7_obs"] == 300.0
    assert len(b) == 0 and not b and b.date_range() is None and snapshot(b) == []


def test_merge_is_not_symmetric(make_csv):
    def pair():
        return (make_csv(csv_line("2020-01-01", 1), name="a.csv"),
                make_csv(csv_line("2020-01-01", 2), name="b.csv"))
    a, b = pair()
    a.merge(b)
    c, d = pair()
    d.merge(c)
    assert a.get(D1)["f10_7_obs"] == 1.0 and d.get(D1)["f10_7_obs"] == 2.0


def test_merge_three_formats(make_csv, make_solfsmy, make_dtcfile):
    sw = make_csv(csv_line("2020-01-01", 70))
    sw.merge(make_solfsmy(solfsmy_line(2020, 1, 71.5, 72.5, 73.5, 74.5, 75.5), solfsmy_line(2020, 2, 1, 2, 3, 4, 5)))
    sw.merge(make_dtcfile(dtcfile_line(2020, 1, [24] * 24)))
    day = sw.get(D1)
    assert [day[k] for k in ("f10_7_obs", "f10_7_jb", "f10_7_jb_81c", "s10_7", "m10_7", "y10_7", "dtc")] == \
        [70.0, 71.5, 72.5, 73.5, 74.5, 75.5, 24.0]
    assert len(sw) == 2


def test_merge_with_empty_objects(csv_sw, empty_sw, make_dtcfile):
    before = snapshot(csv_sw)
    csv_sw.merge(empty_sw)
    assert snapshot(csv_sw) == before
    target = make_dtcfile()
    target.merge(csv_sw)
    assert snapshot(target) == before and len(csv_sw) == 0
    # An emptied object stays usable in both roles.
    csv_sw.merge(target)
    assert snapshot(csv_sw) == before and len(target) == 0


def test_merge_into_itself_is_refused(csv_sw):
    before = snapshot(csv_sw)
    for call in (lambda: csv_sw.merge(csv_sw), lambda: csv_sw.merge(other=csv_sw)):
        with pytest.raises(RuntimeError) as info:
            call()
        assert str(info.value) == "Already borrowed"
    assert snapshot(csv_sw) == before


class Reentrant:
    """A date-like whose `year` runs `action` first, recording what it raised."""

    def __init__(self, action, year=2011):
        self.action, self._year, self.raised = action, year, []
        self.month, self.day = 3, 7

    @property
    def year(self):
        try:
            self.action()
        except Exception as e:  # noqa: BLE001 - the test inspects it
            self.raised.append(e)
        return self._year


def test_merge_during_a_query_is_refused(csv_sw, dtcfile_sw):
    before, other_before = snapshot(csv_sw), snapshot(dtcfile_sw)
    for direction in (lambda: csv_sw.merge(dtcfile_sw), lambda: dtcfile_sw.merge(csv_sw)):
        date = Reentrant(direction)
        assert csv_sw.get(date)["f10_7_obs"] == 938.6
        assert csv_sw.get_range(date, date)[0]["f10_7_obs"] == 938.6
        # get reads `year` once, get_range once per bound
        assert [(type(e), str(e)) for e in date.raised] == [(RuntimeError, "Already borrowed")] * 3
    assert snapshot(csv_sw) == before and snapshot(dtcfile_sw) == other_before
    csv_sw.merge(dtcfile_sw)  # the borrows were all given back
    assert len(dtcfile_sw) == 0


def test_queries_during_a_query_work(csv_sw):
    seen = []
    inner = Reentrant(lambda: seen.append((len(csv_sw), csv_sw.len(), csv_sw.date_range())))
    outer = Reentrant(lambda: seen.append(csv_sw.get(inner)["f10_7_obs"]))
    assert csv_sw.get(outer)["f10_7_obs"] == 938.6
    assert outer.raised == [] and inner.raised == []
    assert seen[0][:2] == (6, 6) and seen[1] == 938.6


def test_failed_merge_touches_nothing(csv_sw, dtcfile_sw):
    before, other_before = snapshot(csv_sw), snapshot(dtcfile_sw)
    with pytest.raises(TypeError):
        csv_sw.merge(dtcfile_sw, dtcfile_sw)
    with pytest.raises(TypeError):
        csv_sw.merge(42)
    assert snapshot(csv_sw) == before and snapshot(dtcfile_sw) == other_before


def test_merge_of_many_overlapping_days(make_dtcfile):
    a = make_dtcfile(*(dtcfile_line(2000, d, [d] * 24) for d in range(1, 367, 2)), name="a.txt")
    b = make_dtcfile(*(dtcfile_line(2000, d, [1000 + d] * 24) for d in range(366, 0, -1)), name="b.txt")
    a.merge(b)
    days = snapshot(a)
    assert len(days) == 366
    assert [d["dtc"] for d in days] == [float(d if d % 2 else 1000 + d) for d in range(1, 367)]
