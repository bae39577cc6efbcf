#include "errors.hpp"

#include <string>

#include "pyref.hpp"

namespace tarnwick::python {

PyObject* parse_err(SpaceWeatherError error) {
    const std::string text = error.display();
    PyRef message = PyRef::steal(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
    if (message) PyErr_SetObject(PyExc_ValueError, message.get());
    return nullptr;
}

}  // namespace tarnwick::python
