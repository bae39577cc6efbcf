// Columnar export of a series to NumPy arrays.
#pragma once

#include <Python.h>

#include "../store/store.hpp"
#include "pyref.hpp"

namespace tarnwick::python {

// The dict of twelve arrays of the whole series, or an empty handle with
// the Python error set. The caller holds a shared borrow of the object
// owning `store` for the whole call; nothing returned points into it.
[[nodiscard]] PyRef export_numpy(const store::SpaceWeatherStore& store);

}  // namespace tarnwick::python
