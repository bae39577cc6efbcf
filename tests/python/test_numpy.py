"""to_numpy: the whole series as a dict of float64 columns, NaN for absent."""

import datetime
import gc
import math
import os
import struct
import subprocess
import sys
import textwrap

import pytest

from builders import CSV_HEADER, csv_line
from tarnwick import SpaceWeather

np = pytest.importorskip("numpy")

KEYS = ["date", "f10_7_obs", "f10_7_adj", "f10_7_jb", "f10_7_jb_81c", "ap_daily",
        "s10_7", "m10_7", "y10_7", "dtc", "ap_3hr", "kp_3hr"]
SCALAR_KEYS = KEYS[1:10]
ROW_KEYS = KEYS[10:]
ABSENT_BITS = 0x7FF8000000000000

AP = ["3", "4", "7", "5", "2", "0", "9", "48"]
KP = ["7", "10", "20", "13", "3", "0", "23", "50"]


def bits(values):
    return np.ascontiguousarray(values, dtype=np.float64).view(np.uint64)


def bits_of(x):
    return struct.unpack("<Q", struct.pack("<d", x))[0]


@pytest.fixture
def sw(make_csv):
    # Out of date order on purpose; the middle day has no ap/kp groups.
    return make_csv(csv_line("2020-01-03", "70.5", "71.5", "6", AP, KP),
                    csv_line("2020-01-01", "68.1", "69.2", "4", AP, KP),
                    csv_line("2020-01-02", "9999.9", "", "5"))


@pytest.fixture
def empty(make_csv):
    return make_csv()


def test_keys_in_export_order(sw, empty):
    assert list(sw.to_numpy()) == KEYS
    assert list(empty.to_numpy()) == KEYS


@pytest.mark.parametrize("rows, n", [((), 0), ((csv_line("2020-01-01"),), 1), (None, 3)])
def test_every_column_has_one_row_per_day(make_csv, sw, rows, n):
    obj = sw if rows is None else make_csv(*rows)
    d = obj.to_numpy()
    for key in ["date", *SCALAR_KEYS]:
        assert d[key].shape == (n,), key
    for key in ROW_KEYS:
        assert d[key].shape == ((n, 8) if n else (0, 0)), key
    if n == 0:
        assert d["date"].dtype == np.float64
    if n == 1:  # a record holding only its date: every cell absent
        for key in KEYS[1:]:
            assert (bits(d[key]) == ABSENT_BITS).all(), key


def test_values_by_day_with_absent_cells_as_canonical_nan(sw):
    d = sw.to_numpy()
    assert d["date"].dtype == object
    assert list(d["date"]) == [datetime.date(2020, 1, k) for k in (1, 2, 3)]
    assert all(type(x) is datetime.date for x in d["date"])
    assert d["f10_7_obs"][[0, 2]].tolist() == [68.1, 70.5]
    assert d["ap_daily"].tolist() == [4.0, 5.0, 6.0]
    # The 9999.9 marker, an empty cell and fields no CSV carries.
    assert bits(d["f10_7_obs"])[1] == ABSENT_BITS
    assert bits(d["f10_7_adj"])[1] == ABSENT_BITS
    for key in ["f10_7_jb", "f10_7_jb_81c", "s10_7", "m10_7", "y10_7", "dtc"]:
        assert (bits(d[key]) == ABSENT_BITS).all(), key
    assert d["ap_3hr"][0].tolist() == [float(v) for v in AP]
    assert d["kp_3hr"][2].tolist() == [float(v) for v in KP]
    assert (bits(d["ap_3hr"][1]) == ABSENT_BITS).all()


def test_ap_present_with_kp_absent(make_csv):
    kp = KP[:7] + ["99999"]  # one unreadable value makes the whole group absent
    d = make_csv(csv_line("2020-01-01", ap=AP, kp=kp)).to_numpy()
    assert d["ap_3hr"].tolist() == [[float(v) for v in AP]]
    assert (bits(d["kp_3hr"]) == ABSENT_BITS).all()


@pytest.mark.parametrize("cell, expected", [
    ("-0", bits_of(-0.0)),
    ("inf", bits_of(math.inf)),
    ("-Infinity", bits_of(-math.inf)),
    ("4.9e-324", 1),  # smallest subnormal
    ("1e999", bits_of(math.inf)),
])
def test_present_values_kept_bit_for_bit(make_csv, cell, expected):
    ap = [cell] * 8
    d = make_csv(csv_line("2020-01-01", cell, ap_daily=cell, ap=ap)).to_numpy()
    assert bits(d["f10_7_obs"])[0] == expected
    assert bits(d["ap_daily"])[0] == expected
    assert (bits(d["ap_3hr"]) == expected).all()


# Published SOLFSMY and DTCFILE lines for the first days of 1997.
SOLFSMY = """\
# YYYY DDD   JulianDay  F10   F81c  S10   S81c  M10   M81c  Y10   Y81c  Ssrc
  1997   1   2450450.0  72.4  78.0  74.0  79.2  65.4  73.8  61.9  70.7  1B11
  1997   2   2450451.0  72.1  77.9  73.8  79.1  66.9  73.7  63.4  70.4  1B11
"""
DTCFILE = """\
DTC 1997   2   31  31  31  31  38  38  38  38  38  38  31  31  31  38  38  38  44  44  44  44  44  44  44  44
DTC 1997   3   44  44  44  44  31  31  31  38  38  38  24  24  24  17  17  17  31  31  31  17  17  17  31  31
"""


def test_each_key_holds_its_own_field(make_csv, write_file):
    sw = make_csv(csv_line("1997-01-01", "1.5", "2.5", "3", AP, KP))
    sw.merge(SpaceWeather.from_set_solfsmy(write_file(SOLFSMY, "solfsmy.txt")))
    sw.merge(SpaceWeather.from_set_dtcfile(write_file(DTCFILE, "dtc.txt")))
    d = sw.to_numpy()
    first = {key: d[key][0] for key in SCALAR_KEYS[:-1]}
    assert first == {"f10_7_obs": 1.5, "f10_7_adj": 2.5, "f10_7_jb": 72.4, "f10_7_jb_81c": 78.0,
                     "ap_daily": 3.0, "s10_7": 74.0, "m10_7": 65.4, "y10_7": 61.9}
    assert bits(d["dtc"]).tolist() == [ABSENT_BITS, bits_of(911 / 24), bits_of(712 / 24)]
    # Every cell agrees with the record of its day.
    for i, day in enumerate(d["date"]):
        record = sw.get(day)
        for key in KEYS[1:]:
            value = d[key][i]
            if record[key] is None:
                assert (bits(value) == ABSENT_BITS).all(), (day, key)
            else:
                assert np.array_equal(value, record[key]), (day, key)


def test_array_flags(sw):
    d = sw.to_numpy()
    # Held by the dict alone: one more reference is getrefcount's argument.
    assert [sys.getrefcount(d[key]) for key in KEYS] == [2] * len(KEYS)
    for key in KEYS[1:]:
        a = d[key]
        assert a.dtype == np.float64 and a.dtype.isnative and a.dtype.num == 12, key
        assert a.flags.c_contiguous and a.flags.writeable and a.flags.aligned, key
    for key in SCALAR_KEYS:
        assert d[key].strides == (8,) and d[key].base is not None, key
        assert not d[key].flags.owndata, key
    for key in ROW_KEYS:
        assert d[key].strides == (64, 8) and d[key].base is None, key
        assert d[key].flags.owndata, key


def test_writing_into_the_result_changes_nothing_else(sw):
    before = sw.get(datetime.date(2020, 1, 1))
    d = sw.to_numpy()
    for key in KEYS[1:]:
        d[key][...] = -1.0
    assert sw.get(datetime.date(2020, 1, 1)) == before
    again = sw.to_numpy()
    assert again["f10_7_obs"][0] == 68.1
    assert again["ap_3hr"][0].tolist() == [float(v) for v in AP]


def test_column_view_outlives_the_dict(sw):
    view = sw.to_numpy()["f10_7_obs"][::2]
    gc.collect()
    churn = [sw.to_numpy() for _ in range(20)]  # reuse any memory freed too early
    del churn
    assert view.tolist() == [68.1, 70.5]


@pytest.mark.parametrize("args, kwargs", [((1,), {}), ((), {"copy": True})])
def test_arguments_are_refused(sw, args, kwargs):
    with pytest.raises(TypeError):
        sw.to_numpy(*args, **kwargs)


def test_a_date_datetime_refuses_fails_the_whole_call(make_csv):
    # The reader accepts February 30; datetime.date does not.
    sw = make_csv(csv_line("2021-02-28", "1"), csv_line("2021-02-30", "2"))
    with pytest.raises(ValueError) as expected:
        datetime.date(2021, 2, 30)
    with pytest.raises(ValueError) as info:
        sw.to_numpy()
    # datetime's own exception, passed through as it was raised.
    assert type(info.value) is type(expected.value)
    assert info.value.args == expected.value.args
    assert sw.len() == 2


def test_works_without_numpy_everywhere_but_to_numpy(write_file):
    paths = [write_file(f"{CSV_HEADER}\n{body}", name)
             for body, name in [(csv_line("2020-01-01", "70"), "a.csv"),
                                (csv_line("2020-01-02", "71"), "b.csv"), ("", "empty.csv")]]
    script = textwrap.dedent(f"""
        import datetime, sys
        import tarnwick
        d = tarnwick.SpaceWeather.from_celestrak_csv
        a, b, empty = (d(path) for path in {paths!r})
        a.merge(b)
        assert len(a) == a.len() == 2 and len(b) == 0
        assert a.get(datetime.date(2020, 1, 2))["f10_7_obs"] == 71.0
        assert len(a.get_range(datetime.date(2020, 1, 1), datetime.date(2020, 1, 2))) == 2
        assert a.date_range() == (datetime.date(2020, 1, 1), datetime.date(2020, 1, 2))
        assert "numpy" not in sys.modules
        sys.modules["numpy"] = None  # any further import of numpy fails
        for obj in (a, empty):
            try:
                obj.to_numpy()
            except ModuleNotFoundError as e:
                assert e.name == "numpy", e
            else:
                raise AssertionError("to_numpy without numpy")
        assert a.get(datetime.date(2020, 1, 1))["f10_7_obs"] == 70.0
        print("ok")
    """)
    out = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert out.returncode == 0, out.stderr
    assert out.stdout == "ok\n"


def rss_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


@pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="needs /proc")
@pytest.mark.parametrize("bad_last_day", [False, True])
def test_repeated_calls_leak_nothing(make_csv, bad_last_day):
    start = datetime.date(1960, 1, 1)
    rows = [csv_line((start + datetime.timedelta(days=i)).isoformat(), "70", "71", "5", AP, KP)
            for i in range(20000)]
    if bad_last_day:  # fails after every buffer is built and every other date converted
        rows.append(csv_line("2100-02-30", "1"))
    sw = make_csv(*rows)

    def call():
        try:
            return len(sw.to_numpy())
        except ValueError:
            return None

    for _ in range(3):
        call()
    gc.collect()
    objects, rss = len(gc.get_objects()), rss_bytes()
    for _ in range(60):  # about 4.5 MB of columns per call
        call()
    gc.collect()
    assert len(gc.get_objects()) - objects < 100
    if "libasan" not in os.environ.get("LD_PRELOAD", ""):  # ASan keeps freed blocks in quarantine
        assert rss_bytes() - rss < 40 * 2**20


def test_published_file_agrees_with_pandas(example_data_dir):
    pd = pytest.importorskip("pandas")
    path = example_data_dir / "SW-Last5Years.csv"
    # Correctly rounded parsing; pandas 3 does that by default and deprecates the option.
    exact = {} if int(pd.__version__.split(".")[0]) >= 3 else {"float_precision": "round_trip"}
    df = pd.read_csv(path, na_values=["9999.9", "99999", "999.9"], **exact)
    df["DATE"] = pd.to_datetime(df["DATE"]).dt.date
    assert df["DATE"].is_unique
    df = df.sort_values("DATE", kind="stable").reset_index(drop=True)
    d = SpaceWeather.from_celestrak_csv(str(path)).to_numpy()

    assert list(d["date"]) == list(df["DATE"])
    for key, col in [("f10_7_obs", "F10.7_OBS"), ("f10_7_adj", "F10.7_ADJ"), ("ap_daily", "AP_AVG")]:
        expected = df[col].to_numpy(dtype=np.float64)
        missing = np.isnan(expected)
        assert (bits(d[key][missing]) == ABSENT_BITS).all(), key
        assert np.array_equal(d[key][~missing], expected[~missing]), key
    for key, prefix in [("ap_3hr", "AP"), ("kp_3hr", "KP")]:
        expected = df[[f"{prefix}{k}" for k in range(1, 9)]].to_numpy(dtype=np.float64)
        missing = np.isnan(expected).any(axis=1)
        assert (bits(d[key][missing]) == ABSENT_BITS).all(), key
        assert np.array_equal(d[key][~missing], expected[~missing]), key
