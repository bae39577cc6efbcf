// Argument unpacking shared by every METH_FASTCALL | METH_KEYWORDS method,
// so that argument errors are worded the same everywhere.
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <optional>
#include <span>

#include "interned.hpp"

namespace tarnwick::python {

// The parameters of one method: all required, each given by position or by
// keyword. `function` is the name used in messages, "SpaceWeather.get()".
template <std::size_t N>
struct Parameters {
    const char* function;
    std::array<InternedName, N> names;
};

// Matches the vectorcall arguments to `names`, writing one borrowed
// reference per parameter into `out`. Returns false with TypeError set for
// too many positional arguments, an unknown or doubled keyword, or a
// missing argument (checked in that order).
[[nodiscard]] bool unpack_args(const char* function, std::span<InternedName> names, PyObject* const* args,
                               Py_ssize_t nargs, PyObject* kwnames, std::span<PyObject*> out);

template <std::size_t N>
[[nodiscard]] std::optional<std::array<PyObject*, N>> unpack_args(Parameters<N>& params, PyObject* const* args,
                                                                  Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, N> out{};
    if (!unpack_args(params.function, params.names, args, nargs, kwnames, out)) return std::nullopt;
    return out;
}

// Sets TypeError "'<qualified type name of obj>' object cannot be converted
// to '<target>'".
void set_conversion_error(PyObject* obj, const char* target) noexcept;

// For a typed parameter whose conversion failed: a pending TypeError becomes
// "argument '<name>': <its message>", keeping its __cause__; any other
// pending exception is left as it is.
void prefix_argument_error(const char* name) noexcept;

}  // namespace tarnwick::python
