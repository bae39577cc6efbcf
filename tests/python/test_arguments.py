"""Argument unpacking and typed-parameter conversion, the same for every method."""

import datetime
import pathlib

import pytest

from tarnwick import SpaceWeather

D = datetime.date(2011, 3, 7)


@pytest.fixture
def sw(csv_sw):
    return csv_sw


# (method, args, kwargs, expected TypeError text); `P` stands for a valid path,
# `O` for another SpaceWeather.
P, O = object(), object()
CASES = [
    # one parameter, static
    ("from_celestrak_csv", (), {},
     "SpaceWeather.from_celestrak_csv() missing 1 required positional argument: 'path'"),
    ("from_set_solfsmy", (P, P), {},
     "SpaceWeather.from_set_solfsmy() takes 1 positional arguments but 2 were given"),
    ("from_set_dtcfile", (), {"file": P},
     "SpaceWeather.from_set_dtcfile() got an unexpected keyword argument 'file'"),
    ("from_set_dtcfile", (P,), {"path": P},
     "SpaceWeather.from_set_dtcfile() got multiple values for argument 'path'"),
    # one parameter, instance
    ("get", (), {}, "SpaceWeather.get() missing 1 required positional argument: 'date'"),
    ("get", (D, D), {}, "SpaceWeather.get() takes 1 positional arguments but 2 were given"),
    ("get", (D, D, D), {}, "SpaceWeather.get() takes 1 positional arguments but 3 were given"),
    ("get", (), {"day": D}, "SpaceWeather.get() got an unexpected keyword argument 'day'"),
    ("get", (D,), {"date": D}, "SpaceWeather.get() got multiple values for argument 'date'"),
    ("merge", (), {}, "SpaceWeather.merge() missing 1 required positional argument: 'other'"),
    ("merge", (O, O), {}, "SpaceWeather.merge() takes 1 positional arguments but 2 were given"),
    ("merge", (O,), {"other": O}, "SpaceWeather.merge() got multiple values for argument 'other'"),
    ("merge", (), {"Other": O}, "SpaceWeather.merge() got an unexpected keyword argument 'Other'"),
    # two parameters
    ("get_range", (), {},
     "SpaceWeather.get_range() missing 2 required positional arguments: 'start' and 'end'"),
    ("get_range", (D,), {}, "SpaceWeather.get_range() missing 1 required positional argument: 'end'"),
    ("get_range", (), {"end": D},
     "SpaceWeather.get_range() missing 1 required positional argument: 'start'"),
    ("get_range", (D, D, D), {}, "SpaceWeather.get_range() takes 2 positional arguments but 3 were given"),
    ("get_range", (D,), {"start": D}, "SpaceWeather.get_range() got multiple values for argument 'start'"),
    ("get_range", (D, D), {"end": D}, "SpaceWeather.get_range() got multiple values for argument 'end'"),
    ("get_range", (D,), {"stop": D}, "SpaceWeather.get_range() got an unexpected keyword argument 'stop'"),
    # too many positional arguments wins over keyword trouble, keyword trouble over missing ones
    ("get_range", (D, D, D), {"bogus": D},
     "SpaceWeather.get_range() takes 2 positional arguments but 3 were given"),
    ("get_range", (), {"bogus": D}, "SpaceWeather.get_range() got an unexpected keyword argument 'bogus'"),
]


@pytest.mark.parametrize("name, args, kwargs, message", CASES)
def test_argument_errors(sw, data_dir, name, args, kwargs, message):
    other = SpaceWeather.from_set_dtcfile(str(data_dir / "dtcfile_excerpt.txt"))
    path = str(data_dir / "dtcfile_excerpt.txt")
    subst = {id(P): path, id(O): other}
    args = tuple(subst.get(id(a), a) for a in args)
    kwargs = {k: subst.get(id(v), v) for k, v in kwargs.items()}
    before = (len(sw), len(other))
    with pytest.raises(TypeError) as info:
        getattr(sw, name)(*args, **kwargs)
    assert str(info.value) == message
    assert (len(sw), len(other)) == before


@pytest.mark.parametrize("name", ["len", "date_range", "to_numpy"])
def test_no_argument_methods_refuse_arguments(sw, name):
    with pytest.raises(TypeError):
        getattr(sw, name)(1)
    with pytest.raises(TypeError):
        getattr(sw, name)(x=1)


def test_keywords_match_positions(sw):
    a, b = datetime.date(1957, 10, 2), datetime.date(2026, 8, 6)
    expected = sw.get_range(a, b)
    assert [r["date"] for r in expected] == [a, datetime.date(2011, 3, 7), b]
    assert sw.get_range(end=b, start=a) == expected
    assert sw.get_range(a, end=b) == expected
    assert sw.get(date=a) == sw.get(a) == expected[0]


def test_keyword_built_at_run_time(sw):
    # A keyword that is not the interned object: matched by its text.
    name = "".join(["da", "te"])
    assert sw.get(**{name: D}) == sw.get(D)


class NamedStr(str):
    pass


class Outer:
    class Inner:
        pass


@pytest.mark.parametrize("value, message", [
    (42, "argument 'path': 'int' object cannot be converted to 'PyString'"),
    (b"/tmp/x", "argument 'path': 'bytes' object cannot be converted to 'PyString'"),
    (None, "argument 'path': 'NoneType' object cannot be converted to 'PyString'"),
    (pathlib.Path("/tmp/x"), "argument 'path': 'PosixPath' object cannot be converted to 'PyString'"),
    (Outer.Inner(), "argument 'path': 'Outer.Inner' object cannot be converted to 'PyString'"),
])
@pytest.mark.parametrize("constructor", ["from_celestrak_csv", "from_set_solfsmy", "from_set_dtcfile"])
def test_path_must_be_str(constructor, value, message):
    with pytest.raises(TypeError) as info:
        getattr(SpaceWeather, constructor)(value)
    assert str(info.value) == message
    assert info.value.__cause__ is None
    with pytest.raises(TypeError) as info:
        getattr(SpaceWeather, constructor)(path=value)
    assert str(info.value) == message


def test_str_subclass_and_keyword_path(data_dir):
    path = str(data_dir / "dtcfile_excerpt.txt")
    by_position = SpaceWeather.from_set_dtcfile(path)
    by_keyword = SpaceWeather.from_set_dtcfile(path=NamedStr(path))
    assert by_keyword.get_range(datetime.date.min, datetime.date.max) == \
        by_position.get_range(datetime.date.min, datetime.date.max)


@pytest.mark.parametrize("value, message", [
    (42, "argument 'other': 'int' object cannot be converted to 'SpaceWeather'"),
    ("x", "argument 'other': 'str' object cannot be converted to 'SpaceWeather'"),
    (SpaceWeather, "argument 'other': 'type' object cannot be converted to 'SpaceWeather'"),
])
def test_other_must_be_space_weather(sw, value, message):
    before = sw.get_range(datetime.date.min, datetime.date.max)
    for call in (lambda: sw.merge(value), lambda: sw.merge(other=value)):
        with pytest.raises(TypeError) as info:
            call()
        assert str(info.value) == message
        assert info.value.__cause__ is None
    assert sw.get_range(datetime.date.min, datetime.date.max) == before


def test_receiver_must_be_space_weather():
    with pytest.raises(TypeError):
        SpaceWeather.get(42, D)
    with pytest.raises(TypeError):
        SpaceWeather.len(42)
