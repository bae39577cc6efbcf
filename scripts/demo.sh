#!/usr/bin/env bash
# Builds the module into a Python 3.12 virtual environment (with matplotlib
# for the plot) and runs the demo on the sample files shipped in examples/data.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
py=$(make_venv "${TARNWICK_DEMO_PYTHON:-3.12}")
"$py" -m pip install -q numpy matplotlib
"$py" -m pip install -q --force-reinstall --no-deps .
"$py" examples/demo.py
