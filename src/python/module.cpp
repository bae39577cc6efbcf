// Initialisation of the extension module `tarnwick`.
#include <Python.h>

#include <cstdint>
#include <optional>

#include "pyref.hpp"
#include "space_weather.hpp"

namespace tarnwick::python {

namespace {

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "tarnwick", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

// The module's one object and the interpreter it belongs to. Class and
// interned names are process-wide, so a second interpreter is refused
// rather than handed objects of the first.
PyObject* module_object = nullptr;
std::optional<std::int64_t> owner_interpreter;

// Appends `name` to the module's __all__ (created when missing) and sets
// the attribute.
bool add_public(PyObject* module, const char* name, PyObject* value) noexcept {
    PyObject* dict = PyModule_GetDict(module);  // borrowed
    PyObject* all = PyDict_GetItemString(dict, "__all__");  // borrowed
    PyRef created;
    if (!all) {
        created = PyRef::steal(PyList_New(0));
        if (!created || PyModule_AddObjectRef(module, "__all__", created.get()) < 0) return false;
        all = created.get();
    }
    const PyRef text = PyRef::steal(PyUnicode_FromString(name));
    if (!text || PyList_Append(all, text.get()) < 0) return false;
    return PyModule_AddObjectRef(module, name, value) == 0;
}

PyObject* init_module() noexcept {
    const std::int64_t interpreter = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (interpreter < 0) return nullptr;
    if (!owner_interpreter) owner_interpreter = interpreter;
    if (*owner_interpreter != interpreter) {
        PyErr_SetString(PyExc_ImportError, "tarnwick does not support sub-interpreters");
        return nullptr;
    }
    if (module_object) return Py_NewRef(module_object);

    PyRef module = PyRef::steal(PyModule_Create(&module_def));
    if (!module) return nullptr;
    PyTypeObject* type = space_weather_type();
    if (!type) return nullptr;
    if (!add_public(module.get(), "SpaceWeather", reinterpret_cast<PyObject*>(type))) return nullptr;
    module_object = Py_NewRef(module.get());
    return module.release();
}

}  // namespace

}  // namespace tarnwick::python

PyMODINIT_FUNC PyInit_tarnwick() noexcept { return tarnwick::python::init_module(); }
