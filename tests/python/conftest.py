"""Fixtures shared by the Python tests: small files and objects built from them."""

import platform
from pathlib import Path

import pytest

import tarnwick
from builders import CSV_HEADER

SpaceWeather = tarnwick.SpaceWeather


def readers_kernel():
    """The structural kernel the readers run on this machine, deduced as the
    module chooses it: AVX2 on x86-64 CPUs whose flags list it (Linux lists
    it only when it saves the registers too), the portable one elsewhere."""
    if platform.machine() != "x86_64":
        return "portable"
    try:
        cpuinfo = Path("/proc/cpuinfo").read_text(encoding="ascii", errors="replace")
    except OSError:
        return "unknown (no /proc/cpuinfo)"
    flags = next((line.split() for line in cpuinfo.splitlines() if line.startswith("flags")), [])
    return "avx2" if "avx2" in flags else "portable"


KERNEL_LINE = f"tarnwick on {platform.machine()}: the readers ran the {readers_kernel()} kernel"


def pytest_report_header(config):
    return KERNEL_LINE


def pytest_terminal_summary(terminalreporter):
    # Also under -q, which leaves out the header.
    terminalreporter.write_line(KERNEL_LINE)


@pytest.fixture(scope="session", autouse=True)
def kernel_in_junit_xml(record_testsuite_property):
    record_testsuite_property("tarnwick_kernel", readers_kernel())

DATA_DIR = Path(__file__).resolve().parent.parent / "data"
# Excerpts of the published files, shipped for the demo and the examples.
EXAMPLE_DATA_DIR = Path(__file__).resolve().parents[2] / "examples" / "data"


@pytest.fixture
def data_dir():
    return DATA_DIR


@pytest.fixture
def example_data_dir():
    return EXAMPLE_DATA_DIR


@pytest.fixture
def write_file(tmp_path):
    """write_file(content, name="f") -> str path; content is bytes or text (written as UTF-8)."""
    def write(content, name="f"):
        path = tmp_path / name
        if isinstance(content, str):
            content = content.encode()
        path.write_bytes(content)
        return str(path)
    return write


@pytest.fixture
def make_csv(write_file):
    """make_csv(*lines) -> SpaceWeather from a CSV with CSV_HEADER and the given data lines."""
    def make(*lines, name="sw.csv"):
        return SpaceWeather.from_celestrak_csv(write_file("\n".join([CSV_HEADER, *lines]) + "\n", name))
    return make


@pytest.fixture
def make_solfsmy(write_file):
    def make(*lines, name="solfsmy.txt"):
        return SpaceWeather.from_set_solfsmy(write_file("".join(line + "\n" for line in lines), name))
    return make


@pytest.fixture
def make_dtcfile(write_file):
    def make(*lines, name="dtcfile.txt"):
        return SpaceWeather.from_set_dtcfile(write_file("".join(line + "\n" for line in lines), name))
    return make


@pytest.fixture
def csv_sw(data_dir):
    """Six days from 1957-10-01 to 2041-10-01 (tests/data/sw_excerpt_lf.csv)."""
    return SpaceWeather.from_celestrak_csv(str(data_dir / "sw_excerpt_lf.csv"))


@pytest.fixture
def solfsmy_sw(data_dir):
    """1997-01-01, 1997-01-02 and 2011-03-07 (tests/data/solfsmy_excerpt.txt)."""
    return SpaceWeather.from_set_solfsmy(str(data_dir / "solfsmy_excerpt.txt"))


@pytest.fixture
def dtcfile_sw(data_dir):
    """The same three days as solfsmy_sw (tests/data/dtcfile_excerpt.txt)."""
    return SpaceWeather.from_set_dtcfile(str(data_dir / "dtcfile_excerpt.txt"))


@pytest.fixture
def empty_sw(write_file):
    return SpaceWeather.from_set_dtcfile(write_file(b"", "empty.txt"))
