// Initialisation of the extension module `tarnwick`.
#include <Python.h>

#include "pyref.hpp"
#include "space_weather.hpp"

// Set by the build when the target interpreter is a debug build. Without
// Py_DEBUG here, the module would still load there, but the interpreter's
// reference-count bookkeeping would not see the module's own increments.
#if defined(TARNWICK_DEBUG_INTERPRETER) && !defined(Py_DEBUG)
#error "building for a debug interpreter, but Python.h was read without Py_DEBUG"
#endif

namespace tarnwick::python {

namespace {

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "tarnwick", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

// The module's one object. Class and interned names are process-wide, so
// only the main interpreter gets the module: any other is refused before
// anything is created or recorded, and a refusal leaves no trace.
PyObject* module_object = nullptr;

// Appends `name` to the module's __all__ (created when missing) and sets
// the attribute.
bool add_public(PyObject* module, const char* name, PyObject* value) noexcept {
    PyObject* dict = PyModule_GetDict(module);              // borrowed
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
    if (PyInterpreterState_Get() != PyInterpreterState_Main()) {
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

PyMODINIT_FUNC PyInit_tarnwick() noexcept {
    return tarnwick::python::init_module();
}
