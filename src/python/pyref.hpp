// One owning handle for strong references to Python objects.
#pragma once

#include <Python.h>

#include <utility>

namespace tarnwick::python {

// Holds one strong reference, or none, and lets it go in its destructor.
// There is deliberately no implicit conversion to PyObject*: an owned
// object can't be handed to Py_DECREF or to a reference-stealing call by
// accident. Giving the reference away is the explicit `release()`.
class PyRef {
public:
    PyRef() noexcept = default;
    // Takes over a new reference (the result of most C API calls); null allowed.
    [[nodiscard]] static PyRef steal(PyObject* p) noexcept { return PyRef(p); }
    // Adds a reference to a borrowed object.
    [[nodiscard]] static PyRef incref(PyObject* p) noexcept {
        Py_XINCREF(p);
        return PyRef(p);
    }

    PyRef(PyRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    PyRef& operator=(PyRef&& o) noexcept {
        Py_XSETREF(p_, std::exchange(o.p_, nullptr));
        return *this;
    }
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    ~PyRef() { Py_XDECREF(p_); }

    [[nodiscard]] PyObject* get() const noexcept { return p_; }
    // Hands the reference to the caller, who now owns it.
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(p_, nullptr); }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    explicit PyRef(PyObject* p) noexcept : p_(p) {}
    PyObject* p_ = nullptr;
};

}  // namespace tarnwick::python
