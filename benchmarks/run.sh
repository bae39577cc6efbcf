#!/usr/bin/env bash
# Runs the Python benchmark in its own environment, .venv/bench: the module
# built from this tree next to pandas, polars and NumPy. Arguments go to
# bench.py (for instance --scales 1 for a quick run, --readme to update the
# results in benchmarks/README.md). TARNWICK_BENCH_PYTHON picks the Python
# version (default 3.12).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

if [ ! -x .venv/bench/bin/python ]; then
    "$(find_python "${TARNWICK_BENCH_PYTHON:-3.12}")" -m venv .venv/bench
    .venv/bench/bin/python -m pip install -q --upgrade pip
fi
py=.venv/bench/bin/python
"$py" -m pip install -q numpy pandas polars
"$py" -m pip install -q --force-reinstall --no-deps .
exec "$py" benchmarks/bench.py "$@"
