"""The installed distribution as packaging tools see it."""

import importlib.metadata
import tomllib
from pathlib import Path

import pytest

PYPROJECT = Path(__file__).resolve().parents[2] / "pyproject.toml"


def test_installed_metadata_carries_the_project_version():
    # pyproject.toml is the only place the version is written; the module
    # itself has no __version__, so this is what users and tools read.
    if not PYPROJECT.is_file():
        pytest.skip("not run from a source tree")
    project = tomllib.loads(PYPROJECT.read_text(encoding="utf-8"))["project"]
    assert importlib.metadata.version("tarnwick") == project["version"]
    assert importlib.metadata.metadata("tarnwick")["License-Expression"] == project["license"]
