#!/usr/bin/env bash
# Runs the NumPy export tests against NumPy 1.26: the wheel is built against
# NumPy 2 headers as usual and must still work with the older runtime.
# pytest's JUnit XML goes to $TARNWICK_JUNIT_DIR/numpy1.xml (default build/junit).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

dir=.venv/numpy1
if [ ! -x "$dir/bin/python" ]; then
    "$(find_python 3.12)" -m venv "$dir"
    "$dir/bin/python" -m pip install -q --upgrade pip >/dev/null
fi
py=$dir/bin/python
junit=$(junit_dir)
"$py" -m pip install -q pytest "numpy==1.26.*" pandas  # pandas for the published-file check
"$py" -m pip install -q --force-reinstall --no-deps --config-settings=build-dir=build/numpy1 .
"$py" -c 'import numpy; assert numpy.__version__.startswith("1.26."), numpy.__version__; print("== NumPy", numpy.__version__)'
"$py" -m pytest -q -rs --junitxml="$junit/numpy1.xml" tests/python/test_numpy.py
