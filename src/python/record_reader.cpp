#include "python/record_reader.h"

#include <string>
#include <utility>
#include <vector>

namespace zorv::python {
// A dict, or an instance of collections.abc.Mapping (a class with __getitem__ is not enough:
// lists have one too). -1 with the error set when the check itself fails.
int is_mapping(PyObject* obj) {
    if (PyDict_Check(obj)) return 1;
    static PyObject* mapping_class = nullptr;  // kept for the process; only touched with the GIL held
    if (mapping_class == nullptr) {
        PyRef abc = PyRef::steal(PyImport_ImportModule("collections.abc"));
        if (!abc) return -1;
        mapping_class = PyObject_GetAttrString(abc.get(), "Mapping");
        if (mapping_class == nullptr) return -1;
    }
    return PyObject_IsInstance(obj, mapping_class);
}

namespace {

// The (key, value) pairs of a mapping as one list of 2-tuples, or of a dict as it stands.
PyRead<PyRef> mapping_items(PyObject* obj) {
    if (PyDict_Check(obj)) {
        PyRef items = PyRef::steal(PyDict_Items(obj));
        if (!items) return read_failure(take_python_error_text());
        return items;
    }
    PyRef items = PyRef::steal(PyMapping_Items(obj));
    if (!items) return read_failure(take_python_error_text());
    return items;
}

}  // namespace

PyRead<void> read_record(PyObject* obj, std::initializer_list<RecordField> fields, const FieldReader& read) {
    const int mapping = is_mapping(obj);
    if (mapping < 0) return read_failure(take_python_error_text());
    if (mapping == 0) return read_failure("invalid type: " + type_phrase(obj) + ", expected a mapping");
    auto items = mapping_items(obj);
    if (!items) return std::unexpected(std::move(items).error());
    std::vector<bool> seen(fields.size(), false);
    const Py_ssize_t size = PyList_GET_SIZE(items->get());
    for (Py_ssize_t i = 0; i < size; ++i) {
        PyObject* pair = PyList_GET_ITEM(items->get(), i);
        if (!PyTuple_Check(pair) || PyTuple_GET_SIZE(pair) != 2) {
            return read_failure("invalid type: " + type_phrase(pair) + ", expected a (key, value) pair");
        }
        PyObject* key = PyTuple_GET_ITEM(pair, 0);
        if (!PyUnicode_Check(key)) return read_failure("dict keys must have type str");
        auto name = text_of(key);
        if (!name) return read_failure("dict keys must have type str");
        std::size_t index = 0;
        for (const RecordField& field : fields) {
            if (*name == field.name) break;
            ++index;
        }
        if (index == fields.size()) continue;
        if (seen[index]) return read_failure("duplicate field `" + *name + "`");
        seen[index] = true;
        auto done = read(index, PyTuple_GET_ITEM(pair, 1));
        if (!done) return done;
    }
    std::size_t index = 0;
    for (const RecordField& field : fields) {
        if (field.required && !seen[index]) return read_failure(std::string("missing field `") + field.name + "`");
        ++index;
    }
    return {};
}

PyRead<void> read_list(PyObject* obj, const std::function<PyRead<void>(PyObject* item)>& read) {
    if (!PySequence_Check(obj) && !PyAnySet_Check(obj)) {
        return read_failure("invalid type: " + type_phrase(obj) + ", expected a sequence");
    }
    // A tuple copy: reading an item may run Python code that changes a list under the walk.
    PyRef items = PyRef::steal(PySequence_Tuple(obj));
    if (!items) return read_failure(take_python_error_text());
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(items.get()); ++i) {
        auto done = read(PyTuple_GET_ITEM(items.get(), i));
        if (!done) return done;
    }
    return {};
}

PyRead<std::string> read_text(PyObject* obj) {
    if (!PyUnicode_Check(obj)) return read_failure("invalid type: " + type_phrase(obj) + ", expected a str");
    auto text = text_of(obj);
    if (!text) return read_failure("invalid type: " + type_phrase(obj) + ", expected a str");
    return std::move(*text);
}

PyRead<bool> read_flag(PyObject* obj) {
    const int truth = PyObject_IsTrue(obj);
    if (truth < 0) return read_failure(take_python_error_text());
    return truth != 0;
}

PyRead<double> read_float(PyObject* obj) {
    const double x = PyFloat_AsDouble(obj);
    if (x == -1.0 && PyErr_Occurred()) return read_failure(take_python_error_text());
    return x;
}

}  // namespace zorv::python
