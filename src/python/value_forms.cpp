#include "python/value_forms.h"

#include <utility>
#include <vector>

#include "python/values.h"

namespace zorv::python {
namespace {

constexpr const char* kWireMismatch = "data did not match any variant of untagged enum Wire";
constexpr const char* kGroupIdMismatch = "data did not match any variant of untagged enum PlanGroupId";
constexpr const char* kFacetMismatch = "data did not match any variant of untagged enum PlanFacetValue";
constexpr const char* kValueWireMismatch = "data did not match any variant of untagged enum ValueWire";

bool is_sequence(PyObject* obj) { return PyList_Check(obj) || PyTuple_Check(obj); }

// The converter takes None, bool, int, float, str, bytes, sequences, sets and dicts; any other
// type, at any depth, is refused before the forms are tried.
std::optional<std::string> unsupported_type(PyObject* obj, int depth) {
    if (obj == Py_None || PyBool_Check(obj) || PyLong_Check(obj) || PyFloat_Check(obj) || PyUnicode_Check(obj) ||
        PyBytes_Check(obj)) {
        return std::nullopt;
    }
    if (depth >= kMaxValueDepth) return std::string("value nests deeper than 128 levels");
    if (is_sequence(obj) || PyAnySet_Check(obj)) {
        // A tuple copy holds every item while the walk may run Python code (a list subclass's __iter__).
        PyRef items = PyRef::steal(PySequence_Tuple(obj));
        if (!items) return take_python_error_text();
        for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(items.get()); ++i) {
            if (auto reason = unsupported_type(PyTuple_GET_ITEM(items.get(), i), depth + 1)) return reason;
        }
        return std::nullopt;
    }
    if (PyDict_Check(obj)) {
        Py_ssize_t pos = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(obj, &pos, &key, &value)) {
            const PyRef held_key = PyRef::borrow(key);
            const PyRef held_value = PyRef::borrow(value);
            if (auto reason = unsupported_type(key, depth + 1)) return reason;
            if (auto reason = unsupported_type(value, depth + 1)) return reason;
        }
        return std::nullopt;
    }
    return std::string("unsupported type ") + Py_TYPE(obj)->tp_name;
}

// A number that is not a bool, as the nearest 32-bit float.
std::optional<float> number_f32(PyObject* obj) {
    if (PyFloat_Check(obj)) return static_cast<float>(PyFloat_AS_DOUBLE(obj));
    if (!PyLong_Check(obj) || PyBool_Check(obj)) return std::nullopt;
    const double x = PyLong_AsDouble(obj);
    if (x == -1.0 && PyErr_Occurred()) {
        PyErr_Clear();
        return std::nullopt;
    }
    return static_cast<float>(x);
}

std::optional<std::vector<float>> dense_of(PyObject* obj) {
    if (!is_sequence(obj)) return std::nullopt;
    const Py_ssize_t size = PySequence_Fast_GET_SIZE(obj);
    std::vector<float> out;
    out.reserve(static_cast<std::size_t>(size));
    for (Py_ssize_t i = 0; i < size; ++i) {
        auto x = number_f32(PySequence_Fast_GET_ITEM(obj, i));
        if (!x) return std::nullopt;
        out.push_back(*x);
    }
    return out;
}

std::optional<std::vector<std::vector<float>>> multi_of(PyObject* obj) {
    if (!is_sequence(obj)) return std::nullopt;
    const Py_ssize_t size = PySequence_Fast_GET_SIZE(obj);
    std::vector<std::vector<float>> rows;
    rows.reserve(static_cast<std::size_t>(size));
    for (Py_ssize_t i = 0; i < size; ++i) {
        auto row = dense_of(PySequence_Fast_GET_ITEM(obj, i));
        if (!row) return std::nullopt;
        rows.push_back(std::move(*row));
    }
    return rows;
}

std::optional<core::VectorValue::Sparse> sparse_of(PyObject* obj) {
    if (!PyDict_Check(obj)) return std::nullopt;
    const PyRef indices_ref = PyRef::borrow(PyDict_GetItemString(obj, "indices"));
    const PyRef values_ref = PyRef::borrow(PyDict_GetItemString(obj, "values"));
    PyObject* indices = indices_ref.get();
    PyObject* values = values_ref.get();
    if (indices == nullptr || values == nullptr || !is_sequence(indices)) return std::nullopt;
    core::VectorValue::Sparse out;
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(indices); ++i) {
        auto index = exact_u64(PySequence_Fast_GET_ITEM(indices, i));
        if (!index || *index > 0xFFFFFFFFULL) return std::nullopt;
        out.indices.push_back(static_cast<std::uint32_t>(*index));
    }
    auto numbers = dense_of(values);
    if (!numbers) return std::nullopt;
    out.values = std::move(*numbers);
    return out;
}

// A dense vector, a multivector or a sparse vector, in that order.
std::optional<core::VectorValue> single_vector_of(PyObject* obj) {
    using V = core::VectorValue;
    if (auto dense = dense_of(obj)) return V{V::Dense{std::move(*dense)}};
    if (auto multi = multi_of(obj)) return V{V::MultiDense{std::move(*multi)}};
    if (auto sparse = sparse_of(obj)) return V{std::move(*sparse)};
    return std::nullopt;
}

std::optional<protocol::NamedHitVectors> named_of(PyObject* obj) {
    if (!PyDict_Check(obj)) return std::nullopt;
    protocol::NamedHitVectors out;
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(obj, &pos, &key, &value)) {
        auto name = text_of(key);
        if (!name) return std::nullopt;
        auto vector = single_vector_of(value);
        if (!vector) return std::nullopt;
        out.insert_or_assign(std::move(*name), std::move(*vector));
    }
    return out;
}

}  // namespace

PyRead<plan::PlanPointId> read_wire(PyObject* obj) {
    if (auto reason = unsupported_type(obj, 0)) return read_failure(std::move(*reason));
    if (auto n = exact_u64(obj)) return plan::PlanPointId(*n);
    if (auto text = text_of(obj)) return plan::PlanPointId(std::move(*text));
    return read_failure(kWireMismatch);
}

PyRead<protocol::GroupId> read_group_id(PyObject* obj) {
    if (auto reason = unsupported_type(obj, 0)) return read_failure(std::move(*reason));
    if (auto text = text_of(obj)) return protocol::GroupId(std::move(*text));
    if (auto n = exact_u64(obj)) return protocol::GroupId(*n);
    if (auto n = exact_i64(obj)) return protocol::GroupId(*n);
    return read_failure(kGroupIdMismatch);
}

PyRead<protocol::FacetValue> read_facet_value(PyObject* obj) {
    if (auto reason = unsupported_type(obj, 0)) return read_failure(std::move(*reason));
    if (auto text = text_of(obj)) return protocol::FacetValue(std::move(*text));
    if (auto n = exact_i64(obj)) return protocol::FacetValue(*n);
    if (PyBool_Check(obj)) return protocol::FacetValue(obj == Py_True);
    return read_failure(kFacetMismatch);
}

PyRead<protocol::HitVectors> read_value_wire(PyObject* obj) {
    if (auto reason = unsupported_type(obj, 0)) return read_failure(std::move(*reason));
    if (auto vector = single_vector_of(obj)) return protocol::HitVectors(std::move(*vector));
    if (auto named = named_of(obj)) return protocol::HitVectors(std::move(*named));
    return read_failure(kValueWireMismatch);
}

PyRead<protocol::HitPayload> read_hit_payload(PyObject* obj) {
    if (!PyDict_Check(obj)) {
        return read_failure("unexpected type: " + type_phrase(obj) + " cannot be converted to 'dict'");
    }
    protocol::HitPayload out;
    out.reserve(static_cast<std::size_t>(PyDict_GET_SIZE(obj)));
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(obj, &pos, &key, &value)) {
        if (!PyUnicode_Check(key)) {
            return read_failure("unexpected type: " + type_phrase(key) + " cannot be converted to 'str'");
        }
        auto name = text_of(key);
        if (!name) return read_failure("unexpected type: " + type_phrase(key) + " cannot be converted to 'str'");
        PyRef held = PyRef::borrow(value);
        auto item = json_value_from_py(held.get(), 1);
        if (!item) return std::unexpected(std::move(item).error());
        out.emplace_back(std::move(*name), std::move(*item));
    }
    return out;
}

}  // namespace zorv::python
