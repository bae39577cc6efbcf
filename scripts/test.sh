#!/usr/bin/env bash
# Builds everything and runs every test:
#   1. the C++ unit tests;
#   2. on each supported Python (3.12 and 3.13, or those in
#      TARNWICK_TEST_PYTHONS), the installed wheel's pytest suite and a check
#      of the type stubs against the built module;
#   3. the NumPy export against NumPy 1.26 (the wheel is built with NumPy 2);
#      then the sdist and the manylinux wheels, checked and tested without a
#      compiler (scripts/dist.sh);
#   4. the C++ tests and the pytest suite under AddressSanitizer and
#      UndefinedBehaviorSanitizer;
#   5. a short run of each fuzz target (TARNWICK_FUZZ_SECONDS, default 15).
# TARNWICK_QUICK=1 stops after step 2.
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

[ "${TARNWICK_QUICK:-0}" = 1 ] && exit 0

echo "== NumPy 1.26"
bash scripts/check_numpy1.sh
echo "== Release files"
bash scripts/dist.sh
bash scripts/sanitize.sh 3.12
echo "== Fuzzing"
bash scripts/fuzz.sh "${TARNWICK_FUZZ_SECONDS:-15}"
