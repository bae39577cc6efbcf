"""The three file constructors: reading files, reader errors, what they build."""

import datetime
import os
import signal
import subprocess
import sys

import pytest

from tarnwick import SpaceWeather

CONSTRUCTORS = ["from_celestrak_csv", "from_set_solfsmy", "from_set_dtcfile"]
ALL_DAYS = (datetime.date.min, datetime.date.max)


def build(constructor, path):
    return getattr(SpaceWeather, constructor)(path)


def raises_value_error(constructor, path):
    with pytest.raises(ValueError) as info:
        build(constructor, path)
    assert type(info.value) is ValueError
    assert len(info.value.args) == 1
    return str(info.value)


@pytest.mark.parametrize("constructor", CONSTRUCTORS)
def test_missing_file(constructor, tmp_path):
    assert raises_value_error(constructor, str(tmp_path / "absent.csv")) == \
        "No such file or directory (os error 2)"


@pytest.mark.parametrize("constructor", CONSTRUCTORS)
def test_directory(constructor, tmp_path):
    assert raises_value_error(constructor, str(tmp_path)) == "Is a directory (os error 21)"


@pytest.mark.parametrize("constructor", CONSTRUCTORS)
@pytest.mark.parametrize("path", ["a\0b", "\0", "/tmp/\0"])
def test_nul_in_path(constructor, path):
    assert raises_value_error(constructor, path) == "file name contained an unexpected NUL byte"


@pytest.mark.parametrize("constructor", CONSTRUCTORS)
def test_lone_surrogate_in_path(constructor):
    with pytest.raises(UnicodeEncodeError):
        build(constructor, "/tmp/\udcff")


def test_non_ascii_path(tmp_path, data_dir):
    path = tmp_path / "Ω données.txt"
    path.write_bytes((data_dir / "dtcfile_excerpt.txt").read_bytes())
    assert len(SpaceWeather.from_set_dtcfile(str(path))) == 3


def test_relative_path(data_dir, monkeypatch):
    monkeypatch.chdir(data_dir)
    assert len(SpaceWeather.from_set_solfsmy("solfsmy_excerpt.txt")) == 3


@pytest.mark.parametrize("constructor, content, message", [
    ("from_celestrak_csv", b"", "invalid or missing CSV header"),
    ("from_celestrak_csv", b"DATE,F10.7\n", "invalid or missing CSV header"),
    ("from_celestrak_csv", b"\xff", "invalid or missing CSV header"),
    ("from_set_dtcfile", b"\xff", "parse error at row 0: invalid utf-8"),
    ("from_set_solfsmy", b"# ok\n\xc0\x80\n", "parse error at row 0: invalid utf-8"),
    ("from_set_dtcfile", b"#\n\nDTC 1997\n", "parse error at row 3: line too short"),
    ("from_set_solfsmy", b"  1997 367" + b" " * 60 + b"\n", "parse error at row 1: invalid day-of-year"),
    ("from_celestrak_csv", b"DATE,F10.7,F10.7A,AP," + b",".join(b"AP%d,KP%d" % (k, k) for k in range(1, 9))
     + b"\n\n2011-13-07\n", "parse error at row 3: invalid date"),
])
def test_reader_errors(write_file, constructor, content, message):
    assert raises_value_error(constructor, write_file(content)) == message


@pytest.mark.parametrize("constructor", ["from_set_solfsmy", "from_set_dtcfile"])
@pytest.mark.parametrize("content", [b"", b"\n\n", b"# only a comment\n"])
def test_set_file_without_data_is_empty(write_file, constructor, content):
    sw = build(constructor, write_file(content))
    assert len(sw) == 0
    assert not sw
    assert sw.date_range() is None


def test_csv_excerpt(csv_sw):
    assert len(csv_sw) == 6
    assert csv_sw.date_range() == (datetime.date(1957, 10, 1), datetime.date(2041, 10, 1))
    flare = csv_sw.get(datetime.date(2011, 3, 7))
    assert flare["f10_7_obs"] == 938.6
    assert flare["f10_7_adj"] == 924.4
    assert flare["ap_daily"] == 10.0
    assert flare["ap_3hr"] == [7.0, 7.0, 4.0, 6.0, 9.0, 6.0, 22.0, 15.0]
    assert flare["kp_3hr"] == [20.0, 20.0, 10.0, 17.0, 23.0, 17.0, 37.0, 30.0]
    assert flare["dtc"] is None and flare["s10_7"] is None
    last = csv_sw.get(datetime.date(2041, 10, 1))
    assert last["ap_3hr"] is None and last["kp_3hr"] is None and last["ap_daily"] is None


def test_solfsmy_excerpt(solfsmy_sw):
    assert solfsmy_sw.date_range() == (datetime.date(1997, 1, 1), datetime.date(2011, 3, 7))
    day = solfsmy_sw.get(datetime.date(2011, 3, 7))
    assert [day[k] for k in ("f10_7_jb", "f10_7_jb_81c", "s10_7", "m10_7", "y10_7")] == \
        [160.5, 105.5, 118.4, 104.7, 134.2]
    assert day["f10_7_obs"] is None and day["ap_3hr"] is None and day["dtc"] is None


def test_dtcfile_excerpt(dtcfile_sw):
    hourly = [50, 44, 44, 44, 85, 85, 85, 50, 50, 50, 50, 50, 50, 31, 31, 31, 44, 44, 44, 60, 60, 60, 44, 44]
    day = dtcfile_sw.get(datetime.date(2011, 3, 7))
    assert day["dtc"] == sum(hourly) / 24
    assert [k for k, v in day.items() if v is not None] == ["date", "dtc"]


def test_records_are_sorted_and_combined(make_csv):
    sw = make_csv("2020-01-03,3,,,",
                  "2020-01-01,1,,,",
                  "2020-01-03,30,33,,",
                  "2020-01-02,2,,,")
    days = sw.get_range(*ALL_DAYS)
    assert [d["date"].day for d in days] == [1, 2, 3]
    # Same day twice: the first line wins each field it has, the second fills gaps.
    assert (days[2]["f10_7_obs"], days[2]["f10_7_adj"]) == (3.0, 33.0)


@pytest.mark.parametrize("constructor", CONSTRUCTORS)
def test_constructor_on_an_instance_makes_a_new_object(csv_sw, data_dir, constructor):
    files = {"from_celestrak_csv": "sw_excerpt_lf.csv", "from_set_solfsmy": "solfsmy_excerpt.txt",
             "from_set_dtcfile": "dtcfile_excerpt.txt"}
    before = csv_sw.get_range(*ALL_DAYS)
    made = getattr(csv_sw, constructor)(str(data_dir / files[constructor]))
    assert made is not csv_sw
    assert type(made) is SpaceWeather
    made.merge(SpaceWeather.from_set_dtcfile(str(data_dir / "dtcfile_excerpt.txt")))
    assert csv_sw.get_range(*ALL_DAYS) == before


def test_objects_from_one_file_are_independent(data_dir, dtcfile_sw):
    a = SpaceWeather.from_celestrak_csv(str(data_dir / "sw_excerpt_lf.csv"))
    b = SpaceWeather.from_celestrak_csv(str(data_dir / "sw_excerpt_lf.csv"))
    a.merge(dtcfile_sw)
    assert len(a) == 8 and len(b) == 6  # 2011-03-07 is in both


def test_large_file_is_read_whole(write_file):
    # Well past any read(2) chunk size, and the size hint is exact.
    lines = [f"DTC {1997 + i // 365:4d}{i % 365 + 1:5d}" + "   1" * 24 for i in range(20000)]
    sw = SpaceWeather.from_set_dtcfile(write_file("\n".join(lines)))
    assert len(sw) == 20000


def test_fifo_without_size_hint(tmp_path, data_dir):
    # A pipe reports size 0: the whole content comes from reading to the end.
    fifo = tmp_path / "pipe"
    os.mkfifo(fifo)
    writer = subprocess.Popen(["sh", "-c", 'cat "$0" > "$1"', str(data_dir / "dtcfile_excerpt.txt"), str(fifo)])
    try:
        sw = SpaceWeather.from_set_dtcfile(str(fifo))
    finally:
        writer.wait()
    assert len(sw) == 3


@pytest.mark.parametrize("writer", ["none", "silent"])
def test_blocked_on_a_fifo_ends_with_keyboard_interrupt(tmp_path, writer):
    # Without a writer, open(2) blocks; with a silent one, read(2) does.
    fifo = tmp_path / "pipe"
    os.mkfifo(fifo)
    held = os.open(fifo, os.O_RDWR | os.O_NONBLOCK) if writer == "silent" else None
    # A child started with SIGINT ignored (a background job of a script) keeps
    # it ignored: the handler is set in the child itself.
    code = ("import signal, sys, tarnwick; signal.signal(signal.SIGINT, signal.default_int_handler); "
            "print('ready', flush=True); tarnwick.SpaceWeather.from_celestrak_csv(sys.argv[1])")
    child = subprocess.Popen([sys.executable, "-c", code, str(fifo)],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline() == "ready\n"
        # A signal that lands before the call blocks is only noted by the
        # interpreter, so it is sent again until the child ends (a hang guard
        # of half a minute otherwise).
        for _ in range(60):
            child.send_signal(signal.SIGINT)
            try:
                child.wait(timeout=0.5)
                break
            except subprocess.TimeoutExpired:
                pass
    finally:
        if child.poll() is None:
            child.kill()
        _, stderr = child.communicate()
        if held is not None:
            os.close(held)
    assert stderr.rstrip().endswith("KeyboardInterrupt"), stderr


REAL_FILES = [
    ("from_celestrak_csv", "SW-Last5Years.csv", 2190, (datetime.date(2021, 1, 1), datetime.date(2041, 10, 1))),
    ("from_set_solfsmy", "SOLFSMY_2021-2024.TXT", 1461, (datetime.date(2021, 1, 1), datetime.date(2024, 12, 31))),
    ("from_set_dtcfile", "DTCFILE_2021-2024.TXT", 1388, (datetime.date(2021, 1, 1), datetime.date(2024, 10, 19))),
]


@pytest.mark.parametrize("constructor, name, length, span", REAL_FILES)
def test_published_files(example_data_dir, constructor, name, length, span):
    sw = build(constructor, str(example_data_dir / name))
    assert (len(sw), sw.date_range()) == (length, span)


def test_published_files_merge(example_data_dir):
    sw = SpaceWeather.from_celestrak_csv(str(example_data_dir / "SW-Last5Years.csv"))
    solfsmy = SpaceWeather.from_set_solfsmy(str(example_data_dir / "SOLFSMY_2021-2024.TXT"))
    dtc = SpaceWeather.from_set_dtcfile(str(example_data_dir / "DTCFILE_2021-2024.TXT"))
    n = len(sw)
    sw.merge(solfsmy)
    sw.merge(dtc)
    assert len(sw) == n  # SET days all lie inside the CSV's span of daily lines
    assert len(solfsmy) == len(dtc) == 0
    day = sw.get(datetime.date(2021, 6, 1))
    # CelesTrak's observed flux, SET's JB2008 flux and the mean of the day's 24 DTC values
    assert (day["f10_7_obs"], day["f10_7_jb"], day["s10_7"], day["dtc"]) == (75.2, 75.0, 63.5, 13.0)
