// Struct-shaped dicts read key by key: each key is matched exactly against the record's field
// names, unknown keys are skipped unread, a field given twice or a required field left out fails.
#pragma once

#include <functional>
#include <initializer_list>
#include <string_view>

#include "python/py_read.h"

namespace zorv::python {

struct RecordField {
    const char* name;
    bool required;
};

// Reads the field at its position in `fields`; a reason on failure.
using FieldReader = std::function<PyRead<void>(std::size_t field, PyObject* value)>;

// 1 for a dict or a collections.abc.Mapping, 0 otherwise, -1 with the error set.
int is_mapping(PyObject* obj);

// `obj` must be a dict or another mapping; its keys must be str ("dict keys must have type str").
PyRead<void> read_record(PyObject* obj, std::initializer_list<RecordField> fields, const FieldReader& read);

// The items of a list, tuple or other sequence (a str included), or of a set, each read in order.
PyRead<void> read_list(PyObject* obj, const std::function<PyRead<void>(PyObject* item)>& read);

// Value kinds of the records.
PyRead<std::string> read_text(PyObject* obj);
PyRead<bool> read_flag(PyObject* obj);
PyRead<double> read_float(PyObject* obj);

}  // namespace zorv::python
