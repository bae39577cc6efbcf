# Right and wrong uses of tarnwick and tarnwick_tools, for the type checkers.
# A line ending in "# wrong" must be flagged, and no other line.
import datetime as dt

import numpy as np
import numpy.typing as npt

from tarnwick import SpaceWeather
from tarnwick_tools import msis_inputs, to_pandas, to_polars

sw = SpaceWeather.from_celestrak_csv("SW-All.csv")
sw.merge(SpaceWeather.from_set_solfsmy("SOLFSMY.TXT"))
SpaceWeather()  # wrong
SpaceWeather.from_set_dtcfile(42)  # wrong

cols = sw.to_numpy()
flux: npt.NDArray[np.float64] = cols["f10_7_obs"]
kp: npt.NDArray[np.float64] = cols["kp_3hr"] / 10
days: npt.NDArray[np.object_] = cols["date"]
cols["f10_7"]  # wrong
cols["f10_7_obs"].no_such_method()  # wrong
name: str = cols["ap_daily"]  # wrong

day = sw.get(dt.date(2024, 5, 10))
ap_daily: float | None = day["ap_daily"] if day else None
if day is not None:
    first: dt.date = day["date"]
    values: list[float] | None = day["kp_3hr"]
    day["kp"]  # wrong
    level: float = day["ap_daily"]  # wrong
for record in sw.get_range(dt.date(2024, 5, 9), dt.datetime(2024, 5, 12, 6)):
    obs: float | None = record["f10_7_obs"]
sw.get("2024-05-10")  # wrong
sw.merge(cols)  # wrong

epochs = np.array(["2024-05-10T18:30"], dtype="datetime64[m]")
f107, f107a, ap = msis_inputs(sw, epochs, flare_limit=400)
inputs = msis_inputs(cols, epochs)
gap: npt.NDArray[np.float64] = inputs.ap[:, 0] - inputs.f107
msis_inputs(sw, epochs, flare_limit="400")  # wrong
f107.no_such_method()  # wrong
to_pandas(sw).loc["2024-05-10"]
to_polars(sw).filter(date=dt.date(2024, 5, 10))
to_pandas(cols)  # wrong
