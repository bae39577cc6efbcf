"""NRLMSISE-00 inputs (F10.7, F10.7A and the ap array) from a CelesTrak series.

    python examples/msis_inputs.py [SW.csv] [EPOCH ...]

``tarnwick_tools.msis_inputs(sw, epochs)`` takes a series holding CelesTrak's
CSV (or its ``to_numpy()`` dict) and UTC epochs as NumPy datetime64, and
returns ``(f107, f107a, ap)``: the observed F10.7 of the day before, its
81-day centred mean on the epoch's day, and the seven-value ap array. A value
whose inputs are not all in the series is NaN.
"""

import sys
from pathlib import Path

import numpy as np

from tarnwick import SpaceWeather
from tarnwick_tools import msis_inputs

path = sys.argv[1] if len(sys.argv) > 1 else str(Path(__file__).resolve().parent / "data" / "SW-Last5Years.csv")
epochs = np.array(sys.argv[2:] or ["2024-05-10T18:30", "2024-05-11T02:00"], dtype="datetime64[m]")
f107, f107a, ap = msis_inputs(SpaceWeather.from_celestrak_csv(path), epochs, flare_limit=400)
for epoch, a, b, c in zip(epochs, f107, f107a, ap):
    print(f"{epoch}  f107 {a:6.1f}  f107a {b:6.1f}  ap {' '.join(f'{x:6.2f}' for x in c)}")
