#include "convert.hpp"

#include <array>
#include <cstdint>
#include <utility>

#include "interned.hpp"

namespace tarnwick::python {

namespace {

InternedName datetime_name{"datetime"};
InternedName date_class_name{"date"};
InternedName year_name{"year"};
InternedName month_name{"month"};
InternedName day_name{"day"};

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

PyRef float_list(const Array8& values) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(values.size())));
    if (!list) return {};
    for (std::size_t i = 0; i < values.size(); ++i) {
        PyObject* item = PyFloat_FromDouble(values[i]);
        if (!item) return {};
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);  // steals item
    }
    return list;
}

PyRef field_value(const SpaceWeatherRecord& record, Field field) {
    if (is_array_field(field)) {
        const Array8* values = record.get_array(field);
        return values ? float_list(*values) : PyRef::incref(Py_None);
    }
    const std::optional<double> value = record.get(field);
    return value ? PyRef::steal(PyFloat_FromDouble(*value)) : PyRef::incref(Py_None);
}

bool set_item(PyObject* dict, InternedName& key, const PyRef& value) {
    PyObject* name = key.get();
    return value && name && PyDict_SetItem(dict, name, value.get()) == 0;
}

}  // namespace

std::optional<Date> py_to_date(PyObject* obj) {
    const std::optional<std::int32_t> year = int_attribute<std::int32_t>(obj, year_name);
    if (!year) return std::nullopt;
    const std::optional<std::uint8_t> month = int_attribute<std::uint8_t>(obj, month_name);
    if (!month) return std::nullopt;
    const std::optional<std::uint8_t> day = int_attribute<std::uint8_t>(obj, day_name);
    if (!day) return std::nullopt;
    return Date{*year, *month, *day};
}

PyRef date_to_py(Date date) {
    // The import goes through the interpreter's import machinery on every
    // call, so a module replaced in sys.modules is seen at once; after the
    // first import it is a lookup there. Interned names keep the lookup
    // cheap: this runs once per record returned.
    PyObject* module_name = datetime_name.get();
    PyObject* class_name = date_class_name.get();
    if (!module_name || !class_name) return {};
    const PyRef datetime = PyRef::steal(PyImport_ImportModuleLevelObject(module_name, nullptr, nullptr, nullptr, 0));
    if (!datetime) return {};
    const PyRef date_class = PyRef::steal(PyObject_GetAttr(datetime.get(), class_name));
    if (!date_class) return {};
    const PyRef year = PyRef::steal(PyLong_FromLong(date.year));
    const PyRef month = PyRef::steal(PyLong_FromLong(date.month));
    const PyRef day = PyRef::steal(PyLong_FromLong(date.day));
    if (!year || !month || !day) return {};
    PyObject* const args[] = {year.get(), month.get(), day.get()};
    return PyRef::steal(PyObject_Vectorcall(date_class.get(), args, 3, nullptr));
}

PyRef record_to_dict(const SpaceWeatherRecord& record) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict) return {};
    if (!set_item(dict.get(), date_key, date_to_py(record.date))) return {};
    for (DictKey& key : field_keys) {
        if (!set_item(dict.get(), key.name, field_value(record, key.field))) return {};
    }
    return dict;
}

}  // namespace tarnwick::python
