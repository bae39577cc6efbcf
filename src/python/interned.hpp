// Python strings made once and kept for the life of the process.
#pragma once

#include <Python.h>

namespace tarnwick::python {

// An interned str for a fixed ASCII text, created on first use. The module
// refuses sub-interpreters, so one process-wide object is enough; it is
// never released, like the class object.
class InternedName {
public:
    constexpr explicit InternedName(const char* text) noexcept : text_(text) {}
    InternedName(const InternedName&) = delete;
    InternedName& operator=(const InternedName&) = delete;

    // Borrowed; nullptr with the Python error set if it cannot be created.
    [[nodiscard]] PyObject* get() noexcept {
        if (!obj_) obj_ = PyUnicode_InternFromString(text_);
        return obj_;
    }
    [[nodiscard]] const char* text() const noexcept { return text_; }

private:
    const char* text_;
    PyObject* obj_ = nullptr;
};

}  // namespace tarnwick::python
