"""The module object and the class as the interpreter sees them."""

import importlib
import subprocess
import sys
import textwrap

import pytest

import tarnwick
from tarnwick import SpaceWeather


def test_module_exports_only_the_class():
    assert tarnwick.__all__ == ["SpaceWeather"]
    assert "SpaceWeather" in dir(tarnwick)
    assert tarnwick.__doc__ == ""


def test_import_again_gives_the_same_module():
    assert importlib.import_module("tarnwick") is tarnwick
    # Even when the interpreter has forgotten it, initialisation hands back
    # the one module object rather than building a second class.
    del sys.modules["tarnwick"]
    try:
        again = importlib.import_module("tarnwick")
    finally:
        sys.modules["tarnwick"] = tarnwick
    assert again is tarnwick
    assert again.SpaceWeather is SpaceWeather


def test_class_identity():
    assert SpaceWeather.__name__ == "SpaceWeather"
    assert SpaceWeather.__module__ == "builtins"
    assert SpaceWeather.__doc__ is None
    assert SpaceWeather.__bases__ == (object,)


def test_class_cannot_be_called():
    with pytest.raises(TypeError) as info:
        SpaceWeather()
    assert str(info.value) == "No constructor defined for SpaceWeather"
    with pytest.raises(TypeError):
        SpaceWeather.__new__(SpaceWeather)
    with pytest.raises(TypeError):
        object.__new__(SpaceWeather)


def test_no_instance_without_a_constructed_store():
    # Replacing __new__ would otherwise reach object.__new__, which hands
    # out an instance whose store was never built.
    code = textwrap.dedent("""
        from tarnwick import SpaceWeather
        try:
            SpaceWeather.__new__ = staticmethod(lambda c: object.__new__(c))
        except TypeError:
            pass
        for make in (lambda: SpaceWeather(), lambda: SpaceWeather.__new__(SpaceWeather),
                     lambda: object.__new__(SpaceWeather)):
            try:
                print("made", len(make()))
            except TypeError as e:
                print(type(e).__name__)
    """)
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert (out.returncode, out.stdout.split()) == (0, ["TypeError"] * 3), out.stderr


def test_class_cannot_be_subclassed():
    with pytest.raises(TypeError):
        class Sub(SpaceWeather):  # noqa: F841
            pass


def test_instances_take_no_attributes(empty_sw):
    with pytest.raises(AttributeError):
        empty_sw.anything = 1
    with pytest.raises(TypeError):
        import weakref
        weakref.ref(empty_sw)


@pytest.mark.parametrize("name, signature", [
    ("from_celestrak_csv", "(path)"),
    ("from_set_solfsmy", "(path)"),
    ("from_set_dtcfile", "(path)"),
    ("get", "($self, date)"),
    ("get_range", "($self, start, end)"),
    ("merge", "($self, other)"),
    ("len", "($self)"),
    ("date_range", "($self)"),
    ("to_numpy", "($self)"),
])
def test_text_signatures(name, signature):
    method = getattr(SpaceWeather, name)
    assert method.__text_signature__ == signature
    assert method.__doc__ is None  # the docstring body after the signature is empty


def test_method_table_order():
    names = [name for name in vars(SpaceWeather) if not name.startswith("__")]
    assert names == ["from_celestrak_csv", "from_set_solfsmy", "from_set_dtcfile",
                     "get", "get_range", "merge", "len", "date_range", "to_numpy"]


def test_import_does_not_load_numpy():
    code = "import sys, tarnwick; print('numpy' in sys.modules)"
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert out.stdout.strip() == "False"


def test_sub_interpreter_is_refused(tmp_path):
    testcapi = pytest.importorskip("_testcapi")
    if not hasattr(testcapi, "run_in_subinterp"):
        pytest.skip("no legacy sub-interpreters in this build")
    report = tmp_path / "report.txt"
    inner = textwrap.dedent(f"""
        try:
            import tarnwick
            result = "imported"
        except ImportError as e:
            result = "ImportError: " + str(e)
        open({str(report)!r}, "w").write(result)
    """)
    code = f"import tarnwick, _testcapi; _testcapi.run_in_subinterp({inner!r})"
    subprocess.run([sys.executable, "-c", code], check=True)
    assert report.read_text() == "ImportError: tarnwick does not support sub-interpreters"


@pytest.mark.parametrize("config", ["isolated", "legacy"])
def test_refusal_in_a_sub_interpreter_leaves_no_trace(tmp_path, config):
    # The sub-interpreter asks first; the main interpreter must still get the module.
    report = tmp_path / "report.txt"
    inner = textwrap.dedent(f"""
        try:
            import tarnwick
            result = "imported"
        except ImportError:
            result = "refused"
        open({str(report)!r}, "w").write(result)
    """)
    code = textwrap.dedent(f"""
        try:
            import _interpreters
            interp = _interpreters.create({config!r})
        except ImportError:
            import _xxsubinterpreters as _interpreters
            interp = _interpreters.create(isolated={config == "isolated"})
        _interpreters.run_string(interp, {inner!r})
        _interpreters.destroy(interp)
        import tarnwick
        print(tarnwick.SpaceWeather.__name__)
    """)
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert report.read_text() == "refused"
    assert (out.returncode, out.stdout.strip()) == (0, "SpaceWeather"), out.stderr
