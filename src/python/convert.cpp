#include "convert.hpp"

// Only the table's layout and the field macros are used; the header's own
// per-file PyDateTimeAPI pointer stays unused (the table is found below).
#include <datetime.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#include "interned.hpp"

namespace tarnwick::python {

namespace {

InternedName datetime_name{"datetime"};
InternedName date_class_name{"date"};
InternedName year_name{"year"};
InternedName month_name{"month"};
InternedName day_name{"day"};

// ---- Python dates to Date

// Attribute `name` of `obj` as an Int, through the interpreter's C long
// conversion (int or __index__) and then a range check against Int.
template <class Int>
std::optional<Int> int_attribute(PyObject* obj, InternedName& name) {
    PyObject* key = name.get();
    if (!key) return std::nullopt;
    const PyRef value = PyRef::steal(PyObject_GetAttr(obj, key));
    if (!value) return std::nullopt;
    const long wide = PyLong_AsLong(value.get());
    if (wide == -1 && PyErr_Occurred()) return std::nullopt;
    if (!std::in_range<Int>(wide)) {
        PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
        return std::nullopt;
    }
    return static_cast<Int>(wide);
}

// ---- Date to datetime.date

// datetime's C API table, from the capsule of its C module "_datetime",
// looked up the first time a date class that calls itself "datetime.date"
// is met, and kept for the life of the process. When it cannot be had (a
// Python without the C module), dates are always made by calling the class.
const PyDateTime_CAPI* datetime_api = nullptr;
bool datetime_api_tried = false;

void bind_datetime_api() noexcept {
    datetime_api_tried = true;  // set first: the import may come back here
    const PyRef module = PyRef::steal(PyImport_ImportModule("_datetime"));
    const PyRef capsule = module ? PyRef::steal(PyObject_GetAttrString(module.get(), "datetime_CAPI")) : PyRef();
    if (capsule)
        datetime_api =
            static_cast<const PyDateTime_CAPI*>(PyCapsule_GetPointer(capsule.get(), PyDateTime_CAPSULE_NAME));
    if (!datetime_api) PyErr_Clear();  // only the fast path is lost
}

// The `date` class of the datetime module of the moment, and how to call it.
class DateMaker {
public:
    // Looks the class up now: sys.modules["datetime"], imported through the
    // import machinery only when absent (or None) there, so a module replaced
    // in sys.modules, or a class replaced in the module, is used at once.
    // nullopt with the Python error set.
    static std::optional<DateMaker> find() {
        PyObject* name = datetime_name.get();
        PyObject* class_name = date_class_name.get();
        if (!name || !class_name) return std::nullopt;
        // The module met last time, met again: it was whole then and stays
        // so, and only its class is looked up afresh. A get(date) then finds
        // the class in 360 instructions instead of 980 through
        // PyImport_GetModule, which asks every module's __spec__ whether it
        // is still being initialised.
        if (last_module) {
            PyObject* modules = PyImport_GetModuleDict();              // borrowed
            PyObject* found = PyDict_GetItemWithError(modules, name);  // borrowed
            if (!found && PyErr_Occurred()) return std::nullopt;
            if (found == last_module) {
                PyRef cls = class_of(found, class_name);
                if (!cls) return std::nullopt;
                return DateMaker(std::move(cls));
            }
        }
        // PyImport_GetModule waits, as import does, for a module that
        // another thread is still initialising.
        PyRef module = PyRef::steal(PyImport_GetModule(name));
        if (!module && PyErr_Occurred()) return std::nullopt;
        if (!module || module.get() == Py_None) {
            module = PyRef::steal(PyImport_ImportModuleLevelObject(name, nullptr, nullptr, nullptr, 0));
        }
        if (!module) return std::nullopt;
        PyRef cls = class_of(module.get(), class_name);
        if (!cls) return std::nullopt;
        // Kept until another module takes its place, so that its address
        // can name no other object meanwhile.
        const PyRef previous = PyRef::steal(last_module);
        last_module = module.release();
        return DateMaker(std::move(cls));
    }

    // A new date, or an empty handle with the class's exception set.
    [[nodiscard]] PyRef make(Date date) const {
        if (api_) {
            // datetime's own class: its C constructor, which the class's
            // __new__ calls after parsing three ints, with the same range
            // checks and errors. With the lookups above, a date takes 530
            // instructions instead of 2,900 through the import function and
            // a call of the class.
            return PyRef::steal(api_->Date_FromDate(date.year, date.month, date.day, api_->DateType));
        }
        const PyRef year = PyRef::steal(PyLong_FromLong(date.year));
        const PyRef month = PyRef::steal(PyLong_FromLong(date.month));
        const PyRef day = PyRef::steal(PyLong_FromLong(date.day));
        if (!year || !month || !day) return {};
        PyObject* const args[] = {year.get(), month.get(), day.get()};
        return PyRef::steal(PyObject_Vectorcall(cls_.get(), args, 3, nullptr));
    }

    // True when making a date runs no Python code (datetime's own class),
    // so that, with the collector paused, nothing can replace the module
    // between the items of one batch.
    [[nodiscard]] bool runs_no_python() const noexcept { return api_ != nullptr; }

private:
    // Attribute `name` of `module`. A plain module's attribute is the entry
    // of its dict, which is read directly when it is there (100
    // instructions instead of 300 for the generic lookup); anything else
    // goes through the attribute protocol, which also raises its errors.
    static PyRef class_of(PyObject* module, PyObject* name) {
        if (PyModule_CheckExact(module)) {
            PyObject* found = PyDict_GetItemWithError(PyModule_GetDict(module), name);  // borrowed
            if (found) return PyRef::incref(found);
            if (PyErr_Occurred()) return {};
        }
        return PyRef::steal(PyObject_GetAttr(module, name));
    }

    explicit DateMaker(PyRef cls) noexcept : cls_(std::move(cls)) {
        PyObject* c = cls_.get();
        if (!datetime_api_tried && PyType_Check(c) &&
            std::strcmp(reinterpret_cast<PyTypeObject*>(c)->tp_name, "datetime.date") == 0) {
            bind_datetime_api();
        }
        if (datetime_api && c == reinterpret_cast<PyObject*>(datetime_api->DateType)) api_ = datetime_api;
    }

    static inline PyObject* last_module = nullptr;  // owned

    PyRef cls_;
    const PyDateTime_CAPI* api_ = nullptr;
};

// ---- records to dicts

struct DictKey {
    Field field;
    InternedName name;
};

InternedName date_key{"date"};

// The record dict's keys after "date", in insertion order.
std::array<DictKey, field_count> field_keys{{
    {Field::f10_7_obs, InternedName("f10_7_obs")},
    {Field::f10_7_adj, InternedName("f10_7_adj")},
    {Field::f10_7_jb, InternedName("f10_7_jb")},
    {Field::f10_7_jb_81c, InternedName("f10_7_jb_81c")},
    {Field::ap_daily, InternedName("ap_daily")},
    {Field::ap_3hr, InternedName("ap_3hr")},
    {Field::kp_3hr, InternedName("kp_3hr")},
    {Field::s10_7, InternedName("s10_7")},
    {Field::m10_7, InternedName("m10_7")},
    {Field::y10_7, InternedName("y10_7")},
    {Field::dtc, InternedName("dtc")},
}};

// The twelve keys in order, every value None; made once and never released,
// like the interned names. Copying it clones its key table in one block,
// setting a key it holds never resizes, and an absent value is not set at
// all: a SW-All.csv record's dict, its date aside, takes 4,500 instructions
// instead of the 6,800 of inserting twelve keys into a new dict.
PyObject* record_template = nullptr;

PyObject* template_dict() {
    if (record_template) return record_template;
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict) return nullptr;
    PyObject* key = date_key.get();
    if (!key || PyDict_SetItem(dict.get(), key, Py_None) < 0) return nullptr;
    for (DictKey& k : field_keys) {
        key = k.name.get();
        if (!key || PyDict_SetItem(dict.get(), key, Py_None) < 0) return nullptr;
    }
    record_template = dict.release();
    return record_template;
}

// A float for `value`. The whole numbers 0 to 511, which are every ap and
// Kp value as published and most daily ones, come from a table of floats
// made on first use and kept for the life of the process, like the
// interned names: a float is immutable, so equal values may share one.
// get(date) on SW-All.csv, a turn of the caller's loop included: 6,010
// instructions a call instead of 6,940, and 0.71-0.77 of the time (six
// rounds taken in turns on a noisy host).
constexpr std::size_t shared_floats = 512;
std::array<PyObject*, shared_floats> float_table{};

PyObject* new_float(double value) noexcept {
    if (!(value >= 0.0 && value < static_cast<double>(shared_floats))) return PyFloat_FromDouble(value);
    const auto whole = static_cast<std::size_t>(value);
    if (static_cast<double>(whole) != value || std::signbit(value)) return PyFloat_FromDouble(value);
    PyObject*& shared = float_table[whole];
    if (!shared) shared = PyFloat_FromDouble(value);
    return shared ? Py_NewRef(shared) : nullptr;
}

PyRef float_list(const Array8& values) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(values.size())));
    if (!list) return {};
    for (std::size_t i = 0; i < values.size(); ++i) {
        PyObject* item = new_float(values[i]);
        if (!item) return {};
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);  // steals item
    }
    return list;
}

// The value of a present field.
PyRef field_value(const SpaceWeatherRecord& record, Field field) {
    if (is_array_field(field)) return float_list(*record.get_array(field));
    return PyRef::steal(new_float(*record.get(field)));
}

PyRef record_dict(const SpaceWeatherRecord& record, const DateMaker& maker) {
    PyObject* templ = template_dict();
    if (!templ) return {};
    PyRef dict = PyRef::steal(PyDict_Copy(templ));
    if (!dict) return {};
    const PyRef date = maker.make(record.date);
    if (!date || PyDict_SetItem(dict.get(), date_key.get(), date.get()) < 0) return {};
    for (DictKey& key : field_keys) {
        if (!record.has(key.field)) continue;  // the template's None stays
        const PyRef value = field_value(record, key.field);
        if (!value || PyDict_SetItem(dict.get(), key.name.get(), value.get()) < 0) return {};
    }
    return dict;
}

// Holds the cyclic garbage collector off for its lifetime when `pause` is
// true and the collector is on; turns it back on at the end.
class CollectorPaused {
public:
    explicit CollectorPaused(bool pause) noexcept : resume_(pause && PyGC_Disable() != 0) {}
    CollectorPaused(const CollectorPaused&) = delete;
    CollectorPaused& operator=(const CollectorPaused&) = delete;
    ~CollectorPaused() {
        if (resume_) PyGC_Enable();
    }

private:
    bool resume_;
};

// A new list of make(record, maker) for each of `records`, in order; an
// empty handle with the Python error set at the first failure. The date
// class is looked up once, and again before each item only when making one
// may run Python code (a class other than datetime's own), which may
// replace it.
//
// With datetime's own class, no Python code runs while the items are made,
// and no collection could free any of them: they hold only floats, lists of
// floats, None and dates, and no cycle. The collector waits meanwhile
// (garbage from before the call waits for its next pass); it would
// otherwise pass over each new dict and list two or three times as the
// young generations fill. get_range on SW-All.csv: 8,800 instructions a
// record instead of 11,100, and 0.61-0.66 of the time. Otherwise the
// collector stays as the caller left it.
template <class Make>
PyRef list_of(std::span<const RecordRef> records, Make make) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(records.size())));
    if (!list || records.empty()) return list;
    std::optional<DateMaker> maker = DateMaker::find();
    if (!maker) return {};
    const CollectorPaused paused(maker->runs_no_python());
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (i > 0 && !maker->runs_no_python()) {
            maker = DateMaker::find();
            if (!maker) return {};
        }
        PyRef item = make(records[i].get(), *maker);
        if (!item) return {};
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());  // the list takes the item
    }
    return list;
}

}  // namespace

std::optional<Date> py_to_date(PyObject* obj) {
    if (datetime_api && (Py_IS_TYPE(obj, datetime_api->DateType) || Py_IS_TYPE(obj, datetime_api->DateTimeType))) {
        // Exactly datetime's own date or datetime, whose year, month and day
        // are read-only fields within range that no Python code can
        // intercept: read them directly. get(date) then converts its
        // argument in 30 instructions instead of 1,000.
        return Date{PyDateTime_GET_YEAR(obj), static_cast<std::uint8_t>(PyDateTime_GET_MONTH(obj)),
                    static_cast<std::uint8_t>(PyDateTime_GET_DAY(obj))};
    }
    const std::optional<std::int32_t> year = int_attribute<std::int32_t>(obj, year_name);
    if (!year) return std::nullopt;
    const std::optional<std::uint8_t> month = int_attribute<std::uint8_t>(obj, month_name);
    if (!month) return std::nullopt;
    const std::optional<std::uint8_t> day = int_attribute<std::uint8_t>(obj, day_name);
    if (!day) return std::nullopt;
    return Date{*year, *month, *day};
}

PyRef date_to_py(Date date) {
    const std::optional<DateMaker> maker = DateMaker::find();
    if (!maker) return {};
    return maker->make(date);
}

PyRef date_list(std::span<const RecordRef> records) {
    return list_of(records,
                   [](const SpaceWeatherRecord& record, const DateMaker& maker) { return maker.make(record.date); });
}

PyRef record_to_dict(const SpaceWeatherRecord& record) {
    const std::optional<DateMaker> maker = DateMaker::find();
    if (!maker) return {};
    return record_dict(record, *maker);
}

PyRef dict_list(std::span<const RecordRef> records) {
    return list_of(records, record_dict);
}

}  // namespace tarnwick::python
