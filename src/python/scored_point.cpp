#include "python/scored_point.h"

#include <array>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "python/args.h"
#include "python/compile.h"
#include "python/repr_text.h"
#include "python/result_forms.h"

namespace zorv::python {
namespace {

constexpr const char* kClassDoc = "A scored hit returned from a search or retrieval query.";

ScoredPointObject* as_point(PyObject* self) { return reinterpret_cast<ScoredPointObject*>(self); }
const protocol::ScoredPoint& hit_of(PyObject* self) { return as_point(self)->hit; }

void scored_point_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    std::destroy_at(&as_point(self)->hit);
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* find_payload_value(const protocol::ScoredPoint& hit, std::string_view key) {
    if (!hit.payload) return nullptr;
    for (const auto& [name, value] : *hit.payload) {
        if (name == key) return json_value_to_py(value);
    }
    return nullptr;
}

enum class Field : std::uint8_t { Id, Score, Text, Vector, Payload, Collection, Other };

Field field_of(std::string_view name) {
    if (name == "id") return Field::Id;
    if (name == "score") return Field::Score;
    if (name == "text") return Field::Text;
    if (name == "vector") return Field::Vector;
    if (name == "payload") return Field::Payload;
    if (name == "collection") return Field::Collection;
    return Field::Other;
}

// The value of one of the six named fields; None for an unset one.
PyRef field_value(const protocol::ScoredPoint& hit, Field field) {
    switch (field) {
        case Field::Id: return point_id_to_py(hit.id);
        case Field::Score: return PyRef::steal(PyFloat_FromDouble(hit.score));
        case Field::Text: {
            const std::string* text = payload_text(hit.payload);
            return text ? py_str(*text) : PyRef::borrow(Py_None);
        }
        case Field::Vector: return hit.vector ? hit_vector_to_py(*hit.vector) : PyRef::borrow(Py_None);
        case Field::Payload: return hit.payload ? payload_to_py(*hit.payload) : PyRef::borrow(Py_None);
        case Field::Collection: return hit.collection ? py_str(*hit.collection) : PyRef::borrow(Py_None);
        case Field::Other: break;
    }
    return PyRef::borrow(Py_None);
}

template <Field F>
PyObject* getter(PyObject* self, void*) {
    return field_value(hit_of(self), F).release();
}

PyObject* scored_point_get(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr std::array<ArgSpec, 2> specs{{{"key", true, false}, {"default", false, false}}};
    std::array<PyObject*, 2> out{};
    if (!extract_args("get", specs, args, nargs, kwnames, out)) return nullptr;
    auto key = str_arg("get", "key", out[0]);
    if (!key) return nullptr;
    PyObject* fallback = out[1] != nullptr ? out[1] : Py_None;
    const protocol::ScoredPoint& hit = hit_of(self);
    const Field field = field_of(*key);
    if (field == Field::Other) {
        if (PyObject* value = find_payload_value(hit, *key)) return value;
        if (PyErr_Occurred()) return nullptr;
        return Py_NewRef(fallback);
    }
    PyRef value = field_value(hit, field);
    if (!value) return nullptr;
    if (value.get() == Py_None && field != Field::Id && field != Field::Score) return Py_NewRef(fallback);
    return value.release();
}

PyObject* scored_point_subscript(PyObject* self, PyObject* key_obj) {
    auto key = str_arg("__getitem__", "key", key_obj);
    if (!key) return nullptr;
    const protocol::ScoredPoint& hit = hit_of(self);
    const Field field = field_of(*key);
    if (field != Field::Other) return field_value(hit, field).release();
    if (PyObject* value = find_payload_value(hit, *key)) return value;
    if (!PyErr_Occurred()) PyErr_SetObject(PyExc_KeyError, key_obj);
    return nullptr;
}

PyObject* scored_point_without_payload(PyObject* self, PyObject*) {
    protocol::ScoredPoint copy = hit_of(self);
    copy.payload.reset();
    return create_scored_point_object(std::move(copy));
}

PyObject* scored_point_repr(PyObject* self) {
    const protocol::ScoredPoint& hit = hit_of(self);
    std::string text = "ScoredPoint(id=";
    text += std::holds_alternative<std::uint64_t>(hit.id) ? std::to_string(std::get<std::uint64_t>(hit.id))
                                                          : std::get<std::string>(hit.id);
    text += ", score=";
    text += shortest_float_text(hit.score);
    text += ", text=";
    const std::string* payload = payload_text(hit.payload);
    text += payload ? "Some(" + debug_quoted(*payload) + ")" : std::string("None");
    text += ", collection=";
    text += hit.collection ? "Some(" + debug_quoted(*hit.collection) + ")" : std::string("None");
    text += ')';
    return py_str(text).release();
}

PyGetSetDef scored_point_getset[] = {
    {"id", getter<Field::Id>, nullptr, "Point id (`int` or `str`).", nullptr},
    {"score", getter<Field::Score>, nullptr,
     "Similarity or rerank score (converted once when the hit was read and stored as the\n"
     "shortest 64-bit float that reads back to the same decimal text).",
     nullptr},
    {"payload", getter<Field::Payload>, nullptr, "Point payload, or `None` when not requested.", nullptr},
    {"text", getter<Field::Text>, nullptr,
     "Extracted payload text (`payload[\"text\"]` when it is a string), or\n`None`.", nullptr},
    {"collection", getter<Field::Collection>, nullptr, "Source collection for cross-collection operations, or `None`.",
     nullptr},
    {"vector", getter<Field::Vector>, nullptr, "Vector(s) returned via `WITH VECTOR`, or `None`.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef scored_point_methods[] = {
    {"get", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(scored_point_get)),
     METH_FASTCALL | METH_KEYWORDS,
     "get($self, key, default=None)\n--\n\n`dict`-style `get`: attribute fields (falling back to `default` when\n"
     "unset), then payload keys, then `default`."},
    {"without_payload", scored_point_without_payload, METH_NOARGS,
     "without_payload($self)\n--\n\nReturn a copy with `payload` stripped (`scroll_cursor(with_payload=False)`)."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot scored_point_slots[] = {
    {Py_tp_doc, const_cast<char*>(kClassDoc)},
    {Py_tp_dealloc, reinterpret_cast<void*>(scored_point_dealloc)},
    {Py_tp_getset, scored_point_getset},
    {Py_tp_methods, scored_point_methods},
    {Py_mp_subscript, reinterpret_cast<void*>(scored_point_subscript)},
    {Py_tp_repr, reinterpret_cast<void*>(scored_point_repr)},
    {0, nullptr},
};

// No constructor and no subclassing: hits come only from the library. Created under the
// package's name so the class records its __module__; the bare name is set back afterwards.
PyType_Spec scored_point_spec = {
    "pyzorv.ScoredPoint",
    static_cast<int>(sizeof(ScoredPointObject)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    scored_point_slots,
};

PyObject* scored_point_type_cell = nullptr;

}  // namespace

const std::string* payload_text(const std::optional<protocol::HitPayload>& payload) {
    if (!payload) return nullptr;
    for (const auto& [name, value] : *payload) {
        if (name == "text") return value.is(plan::JsonValue::Kind::String) ? &value.as_string() : nullptr;
    }
    return nullptr;
}

PyObject* scored_point_type_object() {
    if (scored_point_type_cell != nullptr) return scored_point_type_cell;
    PyObject* type = PyType_FromSpec(&scored_point_spec);
    if (type == nullptr) return nullptr;
    // Creating the class may run Python code; another thread may have filled the cell meanwhile.
    if (scored_point_type_cell != nullptr) {
        Py_DECREF(type);
        return scored_point_type_cell;
    }
    reinterpret_cast<PyTypeObject*>(type)->tp_name = "ScoredPoint";
    scored_point_type_cell = type;
    return scored_point_type_cell;
}

PyObject* create_scored_point_object(protocol::ScoredPoint hit) {
    auto* type = reinterpret_cast<PyTypeObject*>(scored_point_type_object());
    if (type == nullptr) return nullptr;
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) return nullptr;
    new (&as_point(self)->hit) protocol::ScoredPoint(std::move(hit));
    return self;
}

}  // namespace zorv::python
