"""What users of tarnwick do next, as calls: DataFrames and NRLMSISE-00 inputs.

- ``to_pandas(sw)`` and ``to_polars(sw)``: the series as a DataFrame, one row
  per day;
- ``msis_inputs(source, epochs, flare_limit=None)``: F10.7, F10.7A and the ap
  array for NRLMSISE-00 at each epoch;
- ``python -m tarnwick_tools FILE...``: which format each file is and what it
  holds.

NumPy, pandas and polars are imported only by the functions that need them.
"""

from tarnwick_tools._frames import SCALARS, to_pandas, to_polars
from tarnwick_tools._msis import MsisInputs, msis_inputs

__all__ = ["SCALARS", "MsisInputs", "msis_inputs", "to_pandas", "to_polars"]
