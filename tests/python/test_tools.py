"""tarnwick_tools: its import, the NRLMSISE-00 inputs and the DataFrames."""

from __future__ import annotations

import csv
import datetime as dt
import subprocess
import sys
from pathlib import Path

import pytest

from tarnwick import SpaceWeather
from tarnwick_tools import SCALARS, msis_inputs, to_pandas, to_polars

np = pytest.importorskip("numpy")

ROOT = Path(__file__).resolve().parents[2]
EXAMPLE_DATA = ROOT / "examples" / "data"
CSV = EXAMPLE_DATA / "SW-Last5Years.csv"
NAN = float("nan")


def test_importing_it_imports_no_numpy_pandas_or_polars():
    code = "import sys, tarnwick_tools; print(sorted({'numpy', 'pandas', 'polars'} & set(sys.modules)))"
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60)
    assert run.stdout == "[]\n", run.stderr
    installed = Path(sys.modules["tarnwick_tools"].__file__).parent
    assert (installed / "py.typed").is_file()


# Hand computation from the CSV lines (DATE, ..., AP1..AP8, AP_AVG, ..., F10.7_OBS, ..., F10.7_OBS_CENTER81):
#   2021-01-01  AP 0,2,3,2,2,5,3,3       Ap 2    obs 80.4
#   2021-01-02  AP 2,0,0,2,0,0,0,0       Ap 0    obs 81.5
#   2024-05-08  AP 4,6,6,6,6,7,3,4       Ap 5    obs 227.1
#   2024-05-09  AP 3,5,3,5,4,4,9,7       Ap 5    obs 233.2  center81 175.5
#   2024-05-10  AP 12,12,9,7,22,179,300,300  Ap 105  obs 223.4  center81 176.2
#   2024-05-11  AP 400,236,236,400,300,236,179,179  Ap 271  obs 213.7  center81 177.1
#   2024-07-30  obs 400.7  center81 221.6
#   2026-06-29 and 2026-06-30 (PRD)  AP 5 x 8  Ap 5  obs 108.4, 113.2; no rows for July; 2026-08-01 is PRM
# f107a is NaN within 40 days of the series' start and wherever the window meets the July gap.
HAND = [
    # the last instant of a day: slot 8 of 2024-05-10; 12-33 h: 7+9+12+12+7+9+4+4; 36-57 h: 5+3+5+3+4+3+7+6
    ("2024-05-10T23:59:59.999", None, 233.2, 176.2, [105, 300, 300, 179, 22, 64 / 8, 36 / 8]),
    # a day later by one millisecond: the previous day and all windows move
    ("2024-05-11T00:00:00.000", None, 223.4, 177.1, [271, 400, 300, 300, 179, 82 / 8, 34 / 8]),
    # a 3-hour boundary: 03:00 is slot 2 of 2024-05-11; 179+22+7+9+12+12+7+9; 4+4+5+3+5+3+4+3
    ("2024-05-11T03:00:00.000", None, 223.4, 177.1, [271, 236, 400, 300, 300, 257 / 8, 31 / 8]),
    # the start of the series: no day before, no 81-day window, nothing 36 h back
    ("2021-01-02T10:00:00.000", None, 80.4, NAN, [0, 2, 0, 0, 2, 20 / 8, NAN]),
    ("2021-01-01T00:00:00.000", None, NAN, NAN, [2, 0, NAN, NAN, NAN, NAN, NAN]),
    # the day after the daily forecast has no row; 2026-08-01 is a monthly prediction without ap
    ("2026-07-01T01:30:00.000", None, 113.2, NAN, [NAN, NAN, 5, 5, 5, 5, 5]),
    ("2026-08-01T12:00:00.000", None, NAN, NAN, [NAN] * 7),
    # a flare reading on the day before, replaced by that day's centred mean
    ("2024-07-31T06:00:00.000", None, 400.7, None, None),
    ("2024-07-31T06:00:00.000", 400.0, 221.6, None, None),
    # outside the series: NaN, not an error
    ("2020-12-30T12:00:00.000", None, NAN, NAN, [NAN] * 7),
    ("2041-10-03T12:00:00.000", None, NAN, NAN, [NAN] * 7),
]


@pytest.mark.parametrize("epoch, limit, f107, f107a, ap", HAND)
def test_msis_inputs_by_hand(epoch, limit, f107, f107a, ap):
    got = msis_inputs(SpaceWeather.from_celestrak_csv(str(CSV)), np.array([epoch], dtype="datetime64[ms]"), limit)
    assert got[0].shape == (1,) and got[1].shape == (1,) and got[2].shape == (1, 7)
    np.testing.assert_allclose(got[0], [f107], rtol=0, atol=1e-12)
    if f107a is not None:
        np.testing.assert_allclose(got[1], [f107a], rtol=0, atol=1e-12)
    if ap is not None:
        np.testing.assert_allclose(got[2][0], ap, rtol=0, atol=1e-12)


def test_msis_inputs_centred_mean_is_celestraks_and_units_agree():
    sw = SpaceWeather.from_celestrak_csv(str(CSV))
    columns = sw.to_numpy()
    with CSV.open(newline="") as f:
        published = {r["DATE"]: float(r["F10.7_OBS_CENTER81"]) for r in csv.DictReader(f)}
    days = columns["date"].astype("datetime64[D]")
    _, f107a, _ = msis_inputs(columns, days)
    full = ~np.isnan(f107a)
    assert full.sum() > 1800
    assert f107a[full].tolist() == [published[str(d)] for d in days[full]]

    # One instant in five units, and NaT, give the same rows / NaN rows.
    instant = np.datetime64("2024-05-11T04:30:00", "s")
    epochs = [instant.astype(f"datetime64[{u}]") for u in ("h", "m", "s", "ms", "ns")]
    rows = [np.concatenate([r.f107, r.f107a, r.ap[0]]) for r in (msis_inputs(columns, [e]) for e in epochs)]
    assert all(np.array_equal(rows[0], r) for r in rows)
    # The object and its to_numpy() dict give the same arrays.
    assert all(np.array_equal(a, b, equal_nan=True) for a, b in zip(msis_inputs(sw, days), msis_inputs(columns, days)))
    f107, f107a, ap = msis_inputs(columns, np.array(["NaT", instant], dtype="datetime64[s]"))
    assert np.isnan(f107[0]) and np.isnan(f107a[0]) and np.isnan(ap[0]).all() and not np.isnan(ap[1]).any()


def test_msis_inputs_refuses_epochs_that_are_not_datetime64():
    with pytest.raises(TypeError, match="epochs must be numpy datetime64, not <U10"):
        msis_inputs(SpaceWeather.from_celestrak_csv(str(CSV)), ["2024-05-10"])


def test_dataframe_recipes_match_the_object():
    pd = pytest.importorskip("pandas")
    pl = pytest.importorskip("polars")
    sw = SpaceWeather.from_celestrak_csv(str(CSV))
    sw.merge(SpaceWeather.from_set_solfsmy(str(EXAMPLE_DATA / "SOLFSMY_2021-2024.TXT")))
    record = sw.get(dt.date(2024, 5, 10))
    names = list(SCALARS) + [f"ap{k}" for k in range(1, 9)] + [f"kp{k}" for k in range(1, 9)]

    df = to_pandas(sw)
    assert isinstance(df.index, pd.DatetimeIndex) and df.index.is_monotonic_increasing
    assert list(df.columns) == names and len(df) == len(sw)
    row = df.loc["2024-05-10"]
    assert [row[f"ap{k}"] for k in range(1, 9)] == record["ap_3hr"]
    assert [row[f"kp{k}"] for k in range(1, 9)] == record["kp_3hr"]
    assert row["f10_7_jb"] == record["f10_7_jb"] and np.isnan(row["dtc"])

    frame = to_polars(sw)
    assert frame.columns == ["date"] + names and frame.schema["date"] == pl.Date
    got = frame.filter(pl.col("date") == dt.date(2024, 5, 10)).row(0, named=True)
    assert [got[f"kp{k}"] for k in range(1, 9)] == record["kp_3hr"]
    assert got["dtc"] is None  # absent becomes null, not NaN

    empty = SpaceWeather.from_celestrak_csv(str(CSV))
    sw.merge(empty)  # leaves `empty` with no days
    assert to_pandas(empty).shape == (0, len(names)) and to_polars(empty).shape == (0, len(names) + 1)
