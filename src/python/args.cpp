#include "args.hpp"

#include <string>

#include "pyref.hpp"

namespace tarnwick::python {

namespace {

// Index of the parameter called `keyword`, names.size() if none, -1 with an
// error set. Keywords written in the call are interned by the compiler, so
// the pointer test almost always decides; equal text is the fallback for
// names built at run time.
Py_ssize_t find_keyword(std::span<InternedName> names, PyObject* keyword) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        PyObject* name = names[i].get();
        if (!name) return -1;
        if (name == keyword) return static_cast<Py_ssize_t>(i);
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (PyUnicode_CompareWithASCIIString(keyword, names[i].text()) == 0) return static_cast<Py_ssize_t>(i);
    }
    return static_cast<Py_ssize_t>(names.size());
}

void set_missing_error(const char* function, std::span<InternedName> names, std::span<PyObject*> out) {
    std::size_t count = 0;
    for (PyObject* arg : out) count += arg ? 0 : 1;
    std::string message = function;
    message += " missing " + std::to_string(count) + " required positional argument";
    if (count != 1) message += 's';
    message += ": ";
    std::size_t listed = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i]) continue;
        if (listed > 0) message += (listed + 1 == count) ? (count > 2 ? ", and " : " and ") : ", ";
        message += '\'';
        message += names[i].text();
        message += '\'';
        ++listed;
    }
    PyErr_SetString(PyExc_TypeError, message.c_str());
}

}  // namespace

bool unpack_args(const char* function, std::span<InternedName> names, PyObject* const* args, Py_ssize_t nargs,
                 PyObject* kwnames, std::span<PyObject*> out) {
    const auto params = static_cast<Py_ssize_t>(names.size());
    if (nargs > params) {
        PyErr_Format(PyExc_TypeError, "%s takes %zd positional arguments but %zd %s given", function, params, nargs,
                     nargs == 1 ? "was" : "were");
        return false;
    }
    for (Py_ssize_t i = 0; i < params; ++i) out[static_cast<std::size_t>(i)] = i < nargs ? args[i] : nullptr;

    const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
        const Py_ssize_t i = find_keyword(names, keyword);
        if (i < 0) return false;
        if (i == params) {
            PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'", function, keyword);
            return false;
        }
        PyObject*& slot = out[static_cast<std::size_t>(i)];
        if (slot) {
            PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'", function,
                         names[static_cast<std::size_t>(i)].text());
            return false;
        }
        slot = args[nargs + k];
    }

    for (PyObject* arg : out) {
        if (!arg) {
            set_missing_error(function, names, out);
            return false;
        }
    }
    return true;
}

void set_conversion_error(PyObject* obj, const char* target) noexcept {
    PyRef qualname = PyRef::steal(PyType_GetQualName(Py_TYPE(obj)));
    if (!qualname) return;
    PyErr_Format(PyExc_TypeError, "'%U' object cannot be converted to '%s'", qualname.get(), target);
}

void prefix_argument_error(const char* name) noexcept {
    PyRef error = PyRef::steal(PyErr_GetRaisedException());
    if (!error || !PyErr_GivenExceptionMatches(error.get(), PyExc_TypeError)) {
        PyErr_SetRaisedException(error.release());
        return;
    }
    PyRef text = PyRef::steal(PyObject_Str(error.get()));
    if (!text) return;
    PyErr_Format(PyExc_TypeError, "argument '%s': %U", name, text.get());
    PyRef cause = PyRef::steal(PyException_GetCause(error.get()));
    if (!cause) return;
    PyRef replacement = PyRef::steal(PyErr_GetRaisedException());
    PyException_SetCause(replacement.get(), cause.release());  // steals the cause
    PyErr_SetRaisedException(replacement.release());
}

}  // namespace tarnwick::python
