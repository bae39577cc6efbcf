// Python exceptions made at the method boundary.
#pragma once

#include <Python.h>

#include <exception>
#include <new>
#include <utility>

#include "../error.hpp"

namespace tarnwick::python {

// Sets ValueError with the reader error's display text, consuming the
// error. Returns nullptr so a method can `return parse_err(...)`.
PyObject* parse_err(SpaceWeatherError error);

// Runs the body of a function the interpreter calls. No C++ exception may
// unwind into the interpreter's C frames: std::bad_alloc becomes
// MemoryError, anything else SystemError, and `failed` is returned.
template <class R, class Body>
R boundary(R failed, Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        PyErr_Format(PyExc_SystemError, "internal error: %s", e.what());
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, "internal error");
    }
    return failed;
}

}  // namespace tarnwick::python
