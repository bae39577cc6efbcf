#include "space_weather.hpp"

#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "../parsers/celestrak/celestrak.hpp"
#include "../parsers/set/set.hpp"
#include "args.hpp"
#include "convert.hpp"
#include "errors.hpp"
#include "load_file.hpp"
#include "numpy_export.hpp"
#include "pyref.hpp"

namespace tarnwick::python {

namespace {

using store::SpaceWeatherStore;

PyTypeObject* cached_type = nullptr;

SpaceWeatherObject* as_sw(PyObject* self) noexcept {
    return reinterpret_cast<SpaceWeatherObject*>(self);
}

// The receiver's store, read under a shared borrow until the end of the
// call. When the borrow is refused, held() is false and the error is set.
class SharedStore {
public:
    explicit SharedStore(PyObject* self) noexcept : sw_(as_sw(self)), borrow_(sw_->borrow) {}
    [[nodiscard]] bool held() const noexcept { return borrow_.held(); }
    const SpaceWeatherStore* operator->() const noexcept { return &sw_->store; }
    const SpaceWeatherStore& operator*() const noexcept { return sw_->store; }

private:
    SpaceWeatherObject* sw_;
    SharedBorrow borrow_;
};

// A new instance owning `store`; nullptr with the error set (the store is
// then destroyed by the caller).
PyObject* wrap_store(SpaceWeatherStore&& store) noexcept {
    PyTypeObject* type = space_weather_type();
    if (!type) return nullptr;
    PyObject* self = type->tp_alloc(type, 0);
    if (!self) return nullptr;
    SpaceWeatherObject* sw = as_sw(self);
    new (&sw->store) SpaceWeatherStore(std::move(store));
    new (&sw->borrow) BorrowState(0);
    return self;
}

// ---- file constructors

Parameters<1> from_celestrak_csv_params{"SpaceWeather.from_celestrak_csv()", {InternedName("path")}};
Parameters<1> from_set_solfsmy_params{"SpaceWeather.from_set_solfsmy()", {InternedName("path")}};
Parameters<1> from_set_dtcfile_params{"SpaceWeather.from_set_dtcfile()", {InternedName("path")}};

PyObject* construct_impl(std::string_view path, Reader reader) {
    std::optional<Result<std::vector<SpaceWeatherRecord>>> records = read_file(path, reader);
    if (!records) return nullptr;
    if (!*records) return parse_err(std::move(*records).error());
    return wrap_store(SpaceWeatherStore::from_records(std::move(*records).value()));
}

PyObject* construct(Parameters<1>& params, Reader reader, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames) noexcept {
    return boundary<PyObject*>(nullptr, [&]() -> PyObject* {
        const auto unpacked = unpack_args(params, args, nargs, kwnames);
        if (!unpacked) return nullptr;
        PyObject* path = (*unpacked)[0];
        if (!PyUnicode_Check(path)) {
            set_conversion_error(path, "PyString");
            prefix_argument_error("path");
            return nullptr;
        }
        Py_ssize_t size = 0;
        const char* utf8 = PyUnicode_AsUTF8AndSize(path, &size);
        if (!utf8) return nullptr;
        return construct_impl(std::string_view(utf8, static_cast<std::size_t>(size)), reader);
    });
}

PyObject* sw_from_celestrak_csv(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return construct(from_celestrak_csv_params, parsers::celestrak::parse, args, nargs, kwnames);
}

PyObject* sw_from_set_solfsmy(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return construct(from_set_solfsmy_params, parsers::set::parse_solfsmy, args, nargs, kwnames);
}

PyObject* sw_from_set_dtcfile(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return construct(from_set_dtcfile_params, parsers::set::parse_dtcfile, args, nargs, kwnames);
}

// ---- queries

Parameters<1> get_params{"SpaceWeather.get()", {InternedName("date")}};
Parameters<2> get_range_params{"SpaceWeather.get_range()", {InternedName("start"), InternedName("end")}};

PyObject* get_impl(const SpaceWeatherStore& store, Date date) {
    const SpaceWeatherRecord* record = store.get(date);
    if (!record) Py_RETURN_NONE;
    return record_to_dict(*record).release();
}

PyObject* sw_get(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return boundary<PyObject*>(nullptr, [&]() -> PyObject* {
        const auto unpacked = unpack_args(get_params, args, nargs, kwnames);
        if (!unpacked) return nullptr;
        const SharedStore store(self);
        if (!store.held()) return nullptr;
        const std::optional<Date> date = py_to_date((*unpacked)[0]);
        if (!date) return nullptr;
        return get_impl(*store, *date);
    });
}

PyObject* get_range_impl(const SpaceWeatherStore& store, Date start, Date end) {
    return dict_list(store.get_range(start, end)).release();
}

PyObject* sw_get_range(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return boundary<PyObject*>(nullptr, [&]() -> PyObject* {
        const auto unpacked = unpack_args(get_range_params, args, nargs, kwnames);
        if (!unpacked) return nullptr;
        const SharedStore store(self);
        if (!store.held()) return nullptr;
        const std::optional<Date> start = py_to_date((*unpacked)[0]);
        if (!start) return nullptr;
        const std::optional<Date> end = py_to_date((*unpacked)[1]);
        if (!end) return nullptr;
        return get_range_impl(*store, *start, *end);
    });
}

PyObject* sw_len(PyObject* self, PyObject*) noexcept {
    const SharedStore store(self);
    if (!store.held()) return nullptr;
    return PyLong_FromSize_t(store->len());
}

Py_ssize_t sw_length(PyObject* self) noexcept {
    const SharedStore store(self);
    if (!store.held()) return -1;
    // A vector never holds more than PY_SSIZE_T_MAX records.
    return static_cast<Py_ssize_t>(store->len());
}

PyObject* date_range_impl(const SpaceWeatherStore& store) {
    const std::optional<std::pair<Date, Date>> range = store.date_range();
    if (!range) Py_RETURN_NONE;
    const PyRef first = date_to_py(range->first);
    if (!first) return nullptr;
    const PyRef last = date_to_py(range->second);
    if (!last) return nullptr;
    return PyTuple_Pack(2, first.get(), last.get());
}

PyObject* sw_date_range(PyObject* self, PyObject*) noexcept {
    return boundary<PyObject*>(nullptr, [&]() -> PyObject* {
        const SharedStore store(self);
        if (!store.held()) return nullptr;
        return date_range_impl(*store);
    });
}

PyObject* sw_to_numpy(PyObject* self, PyObject*) noexcept {
    return boundary<PyObject*>(nullptr, [&]() -> PyObject* {
        const SharedStore store(self);
        if (!store.held()) return nullptr;
        return export_numpy(*store).release();
    });
}

// ---- merge

Parameters<1> merge_params{"SpaceWeather.merge()", {InternedName("other")}};

PyObject* sw_merge(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return boundary<PyObject*>(nullptr, [&]() -> PyObject* {
        const auto unpacked = unpack_args(merge_params, args, nargs, kwnames);
        if (!unpacked) return nullptr;
        SpaceWeatherObject* target = as_sw(self);
        const ExclusiveBorrow mine(target->borrow);
        if (!mine.held()) return nullptr;
        PyObject* other = (*unpacked)[0];
        if (!PyObject_TypeCheck(other, cached_type)) {
            set_conversion_error(other, "SpaceWeather");
            prefix_argument_error("other");
            return nullptr;
        }
        SpaceWeatherObject* source = as_sw(other);
        // Refused for `a.merge(a)`: the receiver is already held.
        const ExclusiveBorrow theirs(source->borrow);
        if (!theirs.held()) return nullptr;
        target->store.merge(std::move(source->store));  // leaves the source empty
        Py_RETURN_NONE;
    });
}

// ---- type slots

PyObject* sw_new(PyTypeObject* type, PyObject*, PyObject*) noexcept {
    const PyRef name = PyRef::steal(PyType_GetName(type));
    if (name) PyErr_Format(PyExc_TypeError, "No constructor defined for %U", name.get());
    return nullptr;
}

void sw_dealloc(PyObject* self) noexcept {
    // Instances of a heap type hold a reference to it, dropped last.
    const PyRef type = PyRef::steal(reinterpret_cast<PyObject*>(Py_TYPE(self)));
    as_sw(self)->store.~SpaceWeatherStore();
    Py_TYPE(self)->tp_free(self);
}

template <class Fn>
PyCFunction as_method(Fn fn) noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(fn));
}

constexpr int fastcall = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef methods[] = {
    {"from_celestrak_csv", as_method(sw_from_celestrak_csv), fastcall | METH_STATIC,
     "from_celestrak_csv(path)\n--\n\n"},
    {"from_set_solfsmy", as_method(sw_from_set_solfsmy), fastcall | METH_STATIC, "from_set_solfsmy(path)\n--\n\n"},
    {"from_set_dtcfile", as_method(sw_from_set_dtcfile), fastcall | METH_STATIC, "from_set_dtcfile(path)\n--\n\n"},
    {"get", as_method(sw_get), fastcall, "get($self, date)\n--\n\n"},
    {"get_range", as_method(sw_get_range), fastcall, "get_range($self, start, end)\n--\n\n"},
    {"merge", as_method(sw_merge), fastcall, "merge($self, other)\n--\n\n"},
    {"len", as_method(sw_len), METH_NOARGS, "len($self)\n--\n\n"},
    {"date_range", as_method(sw_date_range), METH_NOARGS, "date_range($self)\n--\n\n"},
    {"to_numpy", as_method(sw_to_numpy), METH_NOARGS, "to_numpy($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(sw_dealloc)},
    {Py_tp_new, reinterpret_cast<void*>(sw_new)},
    {Py_mp_length, reinterpret_cast<void*>(sw_length)},
    {Py_tp_methods, methods},
    {0, nullptr},
};

// No base-type flag (the class is final) and no GC flag (instances hold no
// Python references). Immutable, so that no assignment to __new__ can hand
// out an instance whose store was never constructed: the file constructors
// stay the only way in. The "builtins." prefix makes __module__ "builtins".
PyType_Spec type_spec{"builtins.SpaceWeather", sizeof(SpaceWeatherObject), 0,
                      Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, slots};

}  // namespace

PyTypeObject* space_weather_type() noexcept {
    if (!cached_type) cached_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&type_spec));
    return cached_type;
}

}  // namespace tarnwick::python
