// Conversions between the library's values and Python objects.
#pragma once

#include <Python.h>

#include <optional>
#include <span>

#include "../date.hpp"
#include "../index.hpp"
#include "../record.hpp"
#include "pyref.hpp"

namespace tarnwick::python {

// A new datetime.date for `date`, made by the class `date` of the module
// that sys.modules holds as "datetime" at this moment (imported through the
// import machinery only when absent there); an empty handle with the Python
// error set on failure (for instance datetime's ValueError for a day that
// does not exist, or whatever a replaced class raises).
[[nodiscard]] PyRef date_to_py(Date date);

// A new list of the dates of `records`, in order, each made as by
// date_to_py; an empty handle with the Python error set at the first
// failure.
[[nodiscard]] PyRef date_list(std::span<const RecordRef> records);

// The Date of any object with integer attributes year, month and day
// (datetime.date, datetime.datetime, or a caller's own class), fetched and
// converted in that order. The value is not validated: month 13 is a Date
// that matches nothing. nullopt with the Python error set: the attribute's
// own exception, the interpreter's TypeError or OverflowError from the
// integer conversion, or OverflowError "out of range integral type
// conversion attempted" for a year beyond 32 bits or a month or day beyond
// 0..255.
[[nodiscard]] std::optional<Date> py_to_date(PyObject* obj);

// A new dict of the record: "date" and the eleven quantities in record
// order, None for an absent one, ap_3hr and kp_3hr as lists of 8 floats.
[[nodiscard]] PyRef record_to_dict(const SpaceWeatherRecord& record);

// A new list of the record dicts of `records`, in order, each as by
// record_to_dict; an empty handle with the Python error set at the first
// failure.
[[nodiscard]] PyRef dict_list(std::span<const RecordRef> records);

}  // namespace tarnwick::python
