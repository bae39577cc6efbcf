#!/usr/bin/env bash
# AddressSanitizer and UndefinedBehaviorSanitizer over everything: the C++
# unit tests under ctest, then the extension built with both sanitizers
# under the whole pytest suite. The interpreter itself is not instrumented,
# so gcc's sanitizer runtimes are preloaded into it, Python's own allocator
# is replaced by malloc so ASan sees every block, and leak detection is off
# for that run (the interpreter keeps its objects to the end by design).
# The JUnit XML of both goes to $TARNWICK_JUNIT_DIR (default build/junit):
# sanitize-ctest.xml and sanitize-pytest-<version>.xml.
#
#   bash scripts/sanitize.sh          # Python 3.12
#   bash scripts/sanitize.sh 3.13
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
require_packages libgtest-dev cmake g++

version=${1:-3.12}
build=${TARNWICK_SANITIZE_BUILD:-build/sanitize}
venv=${TARNWICK_SANITIZE_VENV:-.venv/sanitize-$version}
junit=$(junit_dir)

echo "== C++ unit tests, ASan + UBSan"
cmake -S . -B "$build/cpp" -DTARNWICK_TESTS=ON -DTARNWICK_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build/cpp" --parallel 2
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$build/cpp" --output-on-failure --parallel 2 --output-junit "$junit/sanitize-ctest.xml"

echo "== Python $version extension, ASan + UBSan"
if [ ! -x "$venv/bin/python" ]; then
    "$(find_python "$version")" -m venv "$venv"
    "$venv/bin/python" -m pip install -q --upgrade pip >/dev/null
fi
py=$venv/bin/python
"$py" -m pip install -q -r requirements-test.txt
"$py" -m pip install -q --force-reinstall --no-deps \
    --config-settings=cmake.define.TARNWICK_SANITIZE=ON \
    --config-settings=cmake.build-type=RelWithDebInfo \
    --config-settings=build-dir="$build/py-$version" .

runtime="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libubsan.so)"
LD_PRELOAD=$runtime PYTHONMALLOC=malloc PYTHONFAULTHANDLER=1 \
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$py" -m pytest -q -rs -p no:cacheprovider --junitxml="$junit/sanitize-pytest-$version.xml" tests/python
