// The Python class SpaceWeather: one daily series per object.
#pragma once

#include <Python.h>

#include "../store/store.hpp"
#include "borrow.hpp"

namespace tarnwick::python {

// An instance. The store and borrow state are constructed in place by the
// file constructors (the only way to make an instance) and the store is
// destroyed in tp_dealloc.
struct SpaceWeatherObject {
    PyObject_HEAD store::SpaceWeatherStore store;
    BorrowState borrow;
};

// The class, created on the first call and kept for the life of the process.
// Borrowed; nullptr with the Python error set if type creation failed.
[[nodiscard]] PyTypeObject* space_weather_type() noexcept;

}  // namespace tarnwick::python
