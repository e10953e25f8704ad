#include "python/from_results.h"

#include <string>
#include <utility>
#include <vector>

#include "python/result_readers.h"
#include "python/value_forms.h"

namespace zorv::python {
namespace {

using protocol::ExecData;

// A spec value looked up by key: absent (also for None), present, or a failed lookup. The value
// is held, since reading other values may run Python code that changes the dict.
struct Lookup {
    PyRef held;
    PyObject* value = nullptr;
    bool failed = false;
};

Lookup found(PyObject* value) {
    Lookup lookup;
    lookup.held = PyRef::borrow(value);
    lookup.value = value;
    return lookup;
}

Lookup py_dict_get_optional(PyObject* dict, const char* key) {
    PyObject* value = PyDict_GetItemString(dict, key);
    if (value == nullptr || value == Py_None) return {};
    return found(value);
}

// A missing key raises KeyError(key); None comes back as a value.
Lookup py_dict_get_required(PyObject* dict, const char* key) {
    PyObject* value = PyDict_GetItemString(dict, key);
    if (value == nullptr) {
        PyRef name = PyRef::steal(PyUnicode_FromString(key));
        if (name) PyErr_SetObject(PyExc_KeyError, name.get());
        Lookup failed;
        failed.failed = true;
        return failed;
    }
    return found(value);
}

std::optional<std::string> str_value(const char* what, PyObject* obj) {
    if (!PyUnicode_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "'%.200s' object cannot be converted to 'str' (%s)", Py_TYPE(obj)->tp_name, what);
        return std::nullopt;
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(obj, &size);
    if (data == nullptr) return std::nullopt;
    return std::string(data, static_cast<std::size_t>(size));
}

// The integer conversion of counts: OverflowError for negative or too large ints, TypeError
// for anything that is not an integer.
std::optional<std::uint64_t> u64_value(PyObject* obj) {
    PyRef index = PyRef::steal(PyNumber_Index(obj));
    if (!index) return std::nullopt;
    const unsigned long long n = PyLong_AsUnsignedLongLong(index.get());
    if (n == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return std::nullopt;
    return n;
}

template <class T>
std::optional<T> labelled(PyRead<T> read, const char* label) {
    if (read) return std::move(*read);
    raise_value_error(label, read.error());
    return std::nullopt;
}

// Walks an iterable, handing each item to `read`; false with the error set on any failure.
template <class Read>
bool for_each_item(PyObject* iterable, Read&& read) {
    PyRef iterator = PyRef::steal(PyObject_GetIter(iterable));
    if (!iterator) return false;
    while (PyRef item = PyRef::steal(PyIter_Next(iterator.get()))) {
        if (!read(item.get())) return false;
    }
    return !PyErr_Occurred();
}

std::optional<protocol::ScoredPoint> read_hit(PyObject* item) {
    if (!PyDict_Check(item)) {
        PyErr_SetString(PyExc_TypeError, "each hit must be a dict");
        return std::nullopt;
    }
    protocol::ScoredPoint hit;
    const Lookup id = py_dict_get_required(item, "id");
    if (id.failed) return std::nullopt;
    auto wire = labelled(read_wire(id.value), "hit id");
    if (!wire) return std::nullopt;
    hit.id = std::move(*wire);
    if (const Lookup score = py_dict_get_optional(item, "score"); score.value != nullptr) {
        hit.score = PyFloat_AsDouble(score.value);
        if (hit.score == -1.0 && PyErr_Occurred()) return std::nullopt;
    }
    if (const Lookup payload = py_dict_get_optional(item, "payload"); payload.value != nullptr) {
        auto read = labelled(read_hit_payload(payload.value), "hit payload");
        if (!read) return std::nullopt;
        hit.payload = std::move(*read);
    }
    if (const Lookup collection = py_dict_get_optional(item, "collection"); collection.value != nullptr) {
        hit.collection = str_value("collection", collection.value);
        if (!hit.collection) return std::nullopt;
    }
    if (const Lookup vector = py_dict_get_optional(item, "vector"); vector.value != nullptr) {
        auto read = labelled(read_value_wire(vector.value), "hit vector");
        if (!read) return std::nullopt;
        hit.vector = std::move(*read);
    }
    return hit;
}

std::optional<std::vector<protocol::ScoredPoint>> read_hits(PyObject* iterable) {
    std::vector<protocol::ScoredPoint> hits;
    const bool ok = for_each_item(iterable, [&](PyObject* item) {
        auto hit = read_hit(item);
        if (!hit) return false;
        hits.push_back(std::move(*hit));
        return true;
    });
    if (!ok) return std::nullopt;
    return hits;
}

std::optional<ExecData> read_groups(PyObject* iterable) {
    ExecData::Groups groups;
    const bool ok = for_each_item(iterable, [&](PyObject* item) {
        if (!PyDict_Check(item)) {
            PyErr_SetString(PyExc_TypeError, "each group must be a dict");
            return false;
        }
        const Lookup id = py_dict_get_required(item, "id");
        if (id.failed) return false;
        auto group_id = labelled(read_group_id(id.value), "group id");
        if (!group_id) return false;
        protocol::HitGroup group{std::move(*group_id), {}};
        if (const Lookup hits = py_dict_get_optional(item, "hits"); hits.value != nullptr) {
            auto read = read_hits(hits.value);
            if (!read) return false;
            group.hits = std::move(*read);
        }
        groups.groups.push_back(std::move(group));
        return true;
    });
    if (!ok) return std::nullopt;
    return ExecData{std::move(groups)};
}

std::optional<ExecData> read_facet(PyObject* iterable) {
    ExecData::Facet facet;
    const bool ok = for_each_item(iterable, [&](PyObject* item) {
        if (!PyDict_Check(item)) {
            PyErr_SetString(PyExc_TypeError, "each facet entry must be a dict");
            return false;
        }
        const Lookup value = py_dict_get_required(item, "value");
        if (value.failed) return false;
        auto facet_value = labelled(read_facet_value(value.value), "facet value");
        if (!facet_value) return false;
        const Lookup count = py_dict_get_required(item, "count");
        if (count.failed) return false;
        auto n = u64_value(count.value);
        if (!n) return false;
        facet.hits.push_back(protocol::FacetHit{std::move(*facet_value), *n});
        return true;
    });
    if (!ok) return std::nullopt;
    return ExecData{std::move(facet)};
}

std::optional<ExecData> read_collections(PyObject* value) {
    if (PyUnicode_Check(value)) {
        PyErr_SetString(PyExc_TypeError, "'str' object cannot be read as a list of collection names");
        return std::nullopt;
    }
    if (!PySequence_Check(value)) {
        PyErr_Format(PyExc_TypeError, "'%.200s' object cannot be converted to 'Sequence'", Py_TYPE(value)->tp_name);
        return std::nullopt;
    }
    PyRef items = PyRef::steal(PySequence_Tuple(value));
    if (!items) return std::nullopt;
    ExecData::Collections names;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(items.get()); ++i) {
        auto name = str_value("collections", PyTuple_GET_ITEM(items.get(), i));
        if (!name) return std::nullopt;
        names.names.push_back(std::move(*name));
    }
    return ExecData{std::move(names)};
}

// The payload of an ok spec: the first payload key present with a value other than None.
// nullopt with no error set means no payload.
std::optional<ExecData> read_payload(PyObject* spec, const std::string& operation, bool& failed) {
    failed = true;
    std::optional<ExecData> data;
    if (Lookup v = py_dict_get_optional(spec, "hits"); v.value != nullptr) {
        auto hits = read_hits(v.value);
        if (hits) data = ExecData{ExecData::Hits{std::move(*hits)}};
    } else if (v = py_dict_get_optional(spec, "groups"); v.value != nullptr) {
        data = read_groups(v.value);
    } else if (v = py_dict_get_optional(spec, "count"); v.value != nullptr) {
        if (auto n = u64_value(v.value)) {
            data = operation == "COUNT" ? ExecData{ExecData::Count{*n}} : ExecData{ExecData::Mutation{*n}};
        }
    } else if (v = py_dict_get_optional(spec, "facet"); v.value != nullptr) {
        data = read_facet(v.value);
    } else if (v = py_dict_get_optional(spec, "collections"); v.value != nullptr) {
        data = read_collections(v.value);
    } else if (v = py_dict_get_optional(spec, "collection"); v.value != nullptr) {
        if (auto info = read_collection_info(v.value)) data = ExecData{ExecData::Collection{std::move(*info)}};
    } else if (v = py_dict_get_optional(spec, "shard_keys"); v.value != nullptr) {
        if (auto keys = read_shard_keys(v.value)) data = ExecData{ExecData::ShardKeys{std::move(*keys)}};
    } else if (v = py_dict_get_optional(spec, "quotas"); v.value != nullptr) {
        if (auto config = read_quota_config(v.value)) data = ExecData{ExecData::Quotas{*config}};
    } else {
        failed = false;
        return std::nullopt;
    }
    failed = !data.has_value();
    return data;
}

std::optional<protocol::StatementResult> read_spec(PyObject* spec) {
    if (!PyDict_Check(spec)) {
        PyErr_SetString(PyExc_TypeError, "each result spec must be a dict");
        return std::nullopt;
    }
    protocol::StatementResult result;
    const Lookup operation = py_dict_get_required(spec, "operation");
    if (operation.failed) return std::nullopt;
    auto name = str_value("operation", operation.value);
    if (!name) return std::nullopt;
    result.operation = std::move(*name);
    if (const Lookup ok = py_dict_get_optional(spec, "ok"); ok.value != nullptr) {
        if (!PyBool_Check(ok.value)) {
            PyErr_Format(PyExc_TypeError, "'%.200s' object cannot be converted to 'bool' (ok)",
                         Py_TYPE(ok.value)->tp_name);
            return std::nullopt;
        }
        result.ok = ok.value == Py_True;
    }
    if (const Lookup message = py_dict_get_optional(spec, "message"); message.value != nullptr) {
        auto text = str_value("message", message.value);
        if (!text) return std::nullopt;
        result.message = std::move(*text);
    } else {
        result.message = result.operation + (result.ok ? " ok" : " failed");
    }
    if (!result.ok) return result;
    bool failed = false;
    result.data = read_payload(spec, result.operation, failed);
    if (failed) return std::nullopt;
    return result;
}

}  // namespace

std::optional<protocol::ExecutionReport> report_from_results(PyObject* results) {
    std::vector<protocol::StatementResult> statements;
    const bool ok = for_each_item(results, [&](PyObject* spec) {
        auto result = read_spec(spec);
        if (!result) return false;
        statements.push_back(std::move(*result));
        return true;
    });
    if (!ok) return std::nullopt;
    return protocol::summarize_results(std::move(statements));
}

}  // namespace zorv::python
