// Columnar export of a series to NumPy arrays.
#include "numpy_export.hpp"

// This is the only file that talks to NumPy's C API. Without
// PY_ARRAY_UNIQUE_SYMBOL the headers give this translation unit a private
// PyArray_API table; it stays null until bind_numpy_api() fills it at the
// first export, so `import tarnwick` never loads NumPy and import_array()
// is never called. The module is built against NumPy 2 headers; targeting
// the 1.25 C API keeps the same binary working with NumPy 1.26.
#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#define NPY_TARGET_VERSION NPY_1_25_API_VERSION
#include <numpy/arrayobject.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "../index.hpp"
#include "../record.hpp"
#include "convert.hpp"

namespace tarnwick::python {
namespace {

// The quiet NaN with a clear sign and an empty payload. A present value is
// copied bit for bit, so a stored NaN may carry another pattern.
constexpr double absent = std::bit_cast<double>(std::uint64_t{0x7FF8000000000000});

constexpr std::size_t values_per_day = 8;  // ap_3hr and kp_3hr

struct ScalarColumn {
    const char* key;
    Field field;
};

// Keys in the order of the result dict; "ap_3hr" and "kp_3hr" follow them.
// Unlike a record's own order, the two eight-value fields come last.
constexpr std::array<ScalarColumn, 9> scalar_columns{{
    {"f10_7_obs", Field::f10_7_obs},
    {"f10_7_adj", Field::f10_7_adj},
    {"f10_7_jb", Field::f10_7_jb},
    {"f10_7_jb_81c", Field::f10_7_jb_81c},
    {"ap_daily", Field::ap_daily},
    {"s10_7", Field::s10_7},
    {"m10_7", Field::m10_7},
    {"y10_7", Field::y10_7},
    {"dtc", Field::dtc},
}};

// Finds NumPy's C API table through the "_ARRAY_API" capsule the first time
// it is needed and keeps it for the life of the process (NumPy never
// unloads its extension). A failed lookup is not remembered: the next call
// tries again. False with the Python error set on failure.
bool bind_numpy_api() {
    if (PyArray_API != nullptr) return true;

    PyRef multiarray = PyRef::steal(PyImport_ImportModule("numpy._core.multiarray"));
    if (!multiarray && PyErr_ExceptionMatches(PyExc_ModuleNotFoundError)) {
        // NumPy releases before 1.26 have no numpy._core.
        PyErr_Clear();
        multiarray = PyRef::steal(PyImport_ImportModule("numpy.core.multiarray"));
    }
    if (!multiarray) return false;
    PyRef capsule = PyRef::steal(PyObject_GetAttrString(multiarray.get(), "_ARRAY_API"));
    if (!capsule) return false;
    if (!PyCapsule_CheckExact(capsule.get())) {
        PyErr_SetString(PyExc_RuntimeError, "numpy's _ARRAY_API is not a capsule");
        return false;
    }
    void* table = PyCapsule_GetPointer(capsule.get(), nullptr);
    if (table == nullptr) return false;

    // The version queries go through the table itself, so it is installed
    // first and withdrawn again if this NumPy is too old for the headers.
    PyArray_API = static_cast<void**>(table);
    const unsigned abi = PyArray_GetNDArrayCVersion();
    const unsigned feature = PyArray_GetNDArrayCFeatureVersion();
    if (NPY_VERSION < abi || NPY_FEATURE_VERSION > feature) {
        PyArray_API = nullptr;
        PyErr_Format(PyExc_RuntimeError,
                     "the installed NumPy has C API 0x%x (ABI 0x%x); tarnwick needs C API 0x%x or later "
                     "and ABI 0x%x or earlier",
                     feature, abi, static_cast<unsigned>(NPY_FEATURE_VERSION), static_cast<unsigned>(NPY_VERSION));
        return false;
    }
    PyArray_RUNTIME_VERSION = static_cast<int>(feature);
    return true;
}

// The float64 descriptor, as the reference that array creation steals.
PyRef float64_descr() {
    return PyRef::steal(reinterpret_cast<PyObject*>(PyArray_DescrFromType(NPY_DOUBLE)));
}

struct FreeDeleter {
    void operator()(double* p) const noexcept { std::free(p); }
};
// malloc'd, since the owner capsule of an array frees it with std::free.
using ColumnBuffer = std::unique_ptr<double[], FreeDeleter>;

// `n` absent values. At least one element is allocated so the address is
// never null: a capsule can't hold a null pointer.
ColumnBuffer absent_column(std::size_t n) {
    const std::size_t count = std::max<std::size_t>(n, 1);
    ColumnBuffer buffer(static_cast<double*>(std::malloc(count * sizeof(double))));
    if (buffer) std::fill_n(buffer.get(), count, absent);
    return buffer;
}

constexpr const char* column_owner_name = "tarnwick.column";

// Runs when NumPy drops the last reference to the owner, that is when the
// array and every view of it are gone.
void free_column(PyObject* owner) noexcept {
    std::free(PyCapsule_GetPointer(owner, column_owner_name));
}

// A 1-D float64 array of `n` elements over `buffer`, without a copy. The
// buffer passes to a capsule that becomes the array's base and frees it
// exactly once, on every path.
PyRef column_array(ColumnBuffer buffer, std::size_t n) {
    PyRef owner = PyRef::steal(PyCapsule_New(buffer.get(), column_owner_name, free_column));
    if (!owner) return {};
    double* data = buffer.release();  // owned by the capsule from here on

    PyRef descr = float64_descr();
    if (!descr) return {};
    npy_intp dims[1] = {static_cast<npy_intp>(n)};
    npy_intp strides[1] = {sizeof(double)};
    // An array built over foreign data never frees it; until its base is
    // set, dropping it leaves the buffer to the capsule.
    PyRef array = PyRef::steal(PyArray_NewFromDescr(&PyArray_Type,
                                                    reinterpret_cast<PyArray_Descr*>(descr.release()),  // steals descr
                                                    1, dims, strides, data, NPY_ARRAY_WRITEABLE, nullptr));
    if (!array) return {};
    if (PyArray_SetBaseObject(reinterpret_cast<PyArrayObject*>(array.get()),
                              owner.release()) < 0) {  // steals owner, also when it fails
        return {};
    }
    return array;
}

// An (n, 8) float64 array owning a copy of `values`, record after record;
// (0, 0) for no records.
PyRef rows_array(const std::vector<double>& values, std::size_t n) {
    PyRef descr = float64_descr();
    if (!descr) return {};
    npy_intp dims[2] = {static_cast<npy_intp>(n), n == 0 ? 0 : static_cast<npy_intp>(values_per_day)};
    PyRef array = PyRef::steal(PyArray_NewFromDescr(&PyArray_Type,
                                                    reinterpret_cast<PyArray_Descr*>(descr.release()),  // steals descr
                                                    2, dims, nullptr, nullptr, 0, nullptr));
    if (!array) return {};
    if (!values.empty()) {
        std::memcpy(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array.get())), values.data(),
                    values.size() * sizeof(double));
    }
    return array;
}

void copy_row(const SpaceWeatherRecord& record, Field field, std::vector<double>& rows, std::size_t i) {
    if (const Array8* values = record.get_array(field)) {
        std::copy(values->begin(), values->end(), rows.begin() + static_cast<std::ptrdiff_t>(i * values_per_day));
    }
}

}  // namespace

// Allocation failures of the working vectors propagate as std::bad_alloc
// to the method boundary; every handle and buffer built so far lets go on
// the way.
PyRef export_numpy(const store::SpaceWeatherStore& store) {
    // Imported by name on every call, before the store is read, so a missing
    // NumPy fails the same way whatever the object holds.
    PyRef numpy = PyRef::steal(PyImport_ImportModule("numpy"));
    if (!numpy) return {};
    if (!bind_numpy_api()) return {};

    std::vector<RecordRef> records;
    if (const auto range = store.date_range()) records = store.get_range(range->first, range->second);
    const std::size_t n = records.size();

    PyRef dates = date_list(records);
    if (!dates) return {};

    // Every buffer at its final size before the pass; absent stays NaN.
    std::array<ColumnBuffer, scalar_columns.size()> columns;
    for (ColumnBuffer& column : columns) {
        column = absent_column(n);
        if (!column) {
            PyErr_NoMemory();
            return {};
        }
    }
    std::vector<double> ap_rows(values_per_day * n, absent);
    std::vector<double> kp_rows(values_per_day * n, absent);

    for (std::size_t i = 0; i < n; ++i) {
        const SpaceWeatherRecord& record = records[i];
        for (std::size_t c = 0; c < scalar_columns.size(); ++c) {
            if (const auto value = record.get(scalar_columns[c].field)) columns[c][i] = *value;
        }
        copy_row(record, Field::ap_3hr, ap_rows, i);
        copy_row(record, Field::kp_3hr, kp_rows, i);
    }

    PyRef result = PyRef::steal(PyDict_New());
    if (!result) return {};

    PyRef array_fn = PyRef::steal(PyObject_GetAttrString(numpy.get(), "array"));
    if (!array_fn) return {};
    PyRef date_array = PyRef::steal(PyObject_CallOneArg(array_fn.get(), dates.get()));
    if (!date_array || PyDict_SetItemString(result.get(), "date", date_array.get()) < 0) return {};

    for (std::size_t c = 0; c < scalar_columns.size(); ++c) {
        PyRef array = column_array(std::move(columns[c]), n);
        if (!array || PyDict_SetItemString(result.get(), scalar_columns[c].key, array.get()) < 0) return {};
    }

    PyRef ap_array = rows_array(ap_rows, n);
    if (!ap_array || PyDict_SetItemString(result.get(), "ap_3hr", ap_array.get()) < 0) return {};
    PyRef kp_array = rows_array(kp_rows, n);
    if (!kp_array || PyDict_SetItemString(result.get(), "kp_3hr", kp_array.get()) < 0) return {};
    return result;
}

}  // namespace tarnwick::python
