// Conversions between the library's values and Python objects.
#pragma once

#include <Python.h>

#include "../date.hpp"
#include "../record.hpp"
#include "pyref.hpp"

namespace tarnwick::python {

// A new datetime.date for `date`, importing "datetime" afresh on every call;
// an empty handle with the Python error set on failure (for instance
// datetime's ValueError for a day that does not exist).
[[nodiscard]] PyRef date_to_py(Date date);

}  // namespace tarnwick::python
