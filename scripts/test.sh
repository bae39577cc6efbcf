#!/usr/bin/env bash
# Builds everything and runs every test: the C++ unit tests, then, on each
# supported Python (3.12 and 3.13, or those in TARNWICK_TEST_PYTHONS), the
# installed wheel's pytest suite and a stub check.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

echo "== C++ unit tests"
cmake -S . -B build/cpp -DTARNWICK_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/cpp --parallel 2
ctest --test-dir build/cpp --output-on-failure --parallel 2

for version in ${TARNWICK_TEST_PYTHONS:-3.12 3.13}; do
    echo "== Python $version"
    py=$(make_venv "$version")
    "$py" -m pip install -q -r requirements-test.txt
    "$py" -m pip install -q --force-reinstall --no-deps \
        --config-settings=cmake.define.TARNWICK_WERROR=ON .
    "$py" -m pytest -q tests/python
    "$py" -m mypy.stubtest tarnwick
done
