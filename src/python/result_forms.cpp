#include "python/result_forms.h"

#include <cmath>
#include <string>
#include <utility>

#include "core/overloaded.h"
#include "python/collection_info.h"
#include "python/compile.h"

namespace zorv::python {
namespace {

InternedKey kId{"id"};
InternedKey kScore{"score"};
InternedKey kPayload{"payload"};
InternedKey kCollection{"collection"};
InternedKey kVector{"vector"};
InternedKey kIndices{"indices"};
InternedKey kValues{"values"};
InternedKey kModel{"model"};
InternedKey kOptions{"options"};
InternedKey kOk{"ok"};
InternedKey kOperation{"operation"};
InternedKey kMessage{"message"};
InternedKey kData{"data"};
InternedKey kTelemetry{"telemetry"};
InternedKey kCount{"count"};

PyRef none() { return PyRef::borrow(Py_None); }
PyRef py_bool(bool b) { return PyRef::borrow(b ? Py_True : Py_False); }
PyRef py_u64(std::uint64_t n) { return PyRef::steal(PyLong_FromUnsignedLongLong(n)); }
PyRef py_i64(std::int64_t n) { return PyRef::steal(PyLong_FromLongLong(n)); }
PyRef py_f64(double x) { return PyRef::steal(PyFloat_FromDouble(x)); }
PyRef new_dict() { return PyRef::steal(PyDict_New()); }

bool put_named(PyObject* dict, const char* key, PyRef value) {
    return value && PyDict_SetItemString(dict, key, value.get()) == 0;
}

PyRef unbound_placeholder(const core::Placeholder& p) {
    const std::string message =
        p.is_named() ? "invariant violation: unbound parameter :" + p.name + " reached value serialization"
                     : "invariant violation: unbound positional parameter ?" + std::to_string(p.index) +
                           " reached value serialization";
    PyErr_SetString(PyExc_RuntimeError, message.c_str());
    return {};
}

// Fills a new list of `size` items from `make(i)`; the first failure drops the list.
template <class Make>
PyRef build_list(std::size_t size, Make&& make) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(size)));
    if (!list) return {};
    for (std::size_t i = 0; i < size; ++i) {
        PyRef item = make(i);
        if (!item) return {};
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());
    }
    return list;
}

PyRef inference_options_to_py(const core::LiteralDict& options) {
    PyRef dict = new_dict();
    if (!dict) return {};
    for (const auto& [key, value] : options) {
        if (!put_item(dict.get(), py_str(key).get(), plan_value_to_py(value))) return {};
    }
    return dict;
}

PyRef inference_object_to_py(const char* key, PyRef input, const std::optional<std::string>& model,
                             const core::LiteralDict& options) {
    PyRef dict = new_dict();
    if (!dict) return {};
    PyRef key_obj = PyRef::steal(PyUnicode_FromString(key));
    if (!key_obj || !put_item(dict.get(), key_obj.get(), std::move(input))) return {};
    if (!put_item(dict.get(), kModel, py_str(model.value_or(std::string())))) return {};
    if (!options.empty() && !put_item(dict.get(), kOptions, inference_options_to_py(options))) return {};
    return dict;
}

PyRef hardware_to_dict(const protocol::HardwareUsage& hw) {
    PyRef dict = new_dict();
    const std::pair<const char*, std::uint64_t> counters[] = {
        {"cpu", hw.cpu},
        {"payload_io_read", hw.payload_io_read},
        {"payload_io_write", hw.payload_io_write},
        {"payload_index_io_read", hw.payload_index_io_read},
        {"payload_index_io_write", hw.payload_index_io_write},
        {"vector_io_read", hw.vector_io_read},
        {"vector_io_write", hw.vector_io_write},
    };
    if (!dict) return {};
    for (const auto& [key, value] : counters) {
        if (!put_named(dict.get(), key, py_u64(value))) return {};
    }
    return dict;
}

PyRef inference_usage_to_dict(const protocol::InferenceUsage& inference) {
    PyRef models = new_dict();
    if (!models) return {};
    for (const auto& [name, usage] : inference.models) {
        PyRef entry = new_dict();
        if (!entry || !put_named(entry.get(), "tokens", py_u64(usage.tokens))) return {};
        if (!put_item(models.get(), py_str(name).get(), std::move(entry))) return {};
    }
    PyRef dict = new_dict();
    if (!dict || !put_named(dict.get(), "models", std::move(models))) return {};
    return dict;
}

PyRef count_dict(std::uint64_t n) {
    PyRef dict = new_dict();
    if (!dict || !put_item(dict.get(), kCount, py_u64(n))) return {};
    return dict;
}

PyRef keyed_list(const char* key, PyRef list) {
    PyRef dict = new_dict();
    if (!dict || !list || !put_named(dict.get(), key, std::move(list))) return {};
    return dict;
}

PyRef groups_data(const protocol::ExecData::Groups& groups) {
    PyRef list = build_list(groups.groups.size(), [&](std::size_t i) {
        const auto& group = groups.groups[i];
        PyRef entry = new_dict();
        if (!entry || !put_item(entry.get(), kId, group_id_to_py(group.id))) return PyRef();
        if (!put_named(entry.get(), "hits", hits_to_dicts(group.hits))) return PyRef();
        return entry;
    });
    return keyed_list("groups", std::move(list));
}

PyRef facet_data(const protocol::ExecData::Facet& facet) {
    return build_list(facet.hits.size(), [&](std::size_t i) {
        PyRef entry = new_dict();
        if (!entry || !put_named(entry.get(), "value", facet_value_to_py(facet.hits[i].value)) ||
            !put_item(entry.get(), kCount, py_u64(facet.hits[i].count))) {
            return PyRef();
        }
        return entry;
    });
}

PyRef str_list(const std::vector<std::string>& names) {
    return build_list(names.size(), [&](std::size_t i) { return py_str(names[i]); });
}

PyRef data_to_py(const protocol::ExecData& data) {
    using protocol::ExecData;
    return std::visit(core::Overloaded{
                          [](const ExecData::Hits& hits) { return hits_to_dicts(hits.points); },
                          [](const ExecData::Groups& groups) { return groups_data(groups); },
                          [](const ExecData::Count& count) { return count_dict(count.count); },
                          [](const ExecData::Facet& facet) { return facet_data(facet); },
                          [](const ExecData::Mutation& m) { return m.count ? count_dict(*m.count) : none(); },
                          [](const ExecData::Collections& c) { return keyed_list("collections", str_list(c.names)); },
                          [](const ExecData::Collection& c) { return collection_info_to_dict(c.schema); },
                          [](const ExecData::ShardKeys& keys) {
                              PyRef list = build_list(keys.keys.size(),
                                                      [&](std::size_t i) { return point_id_to_py(keys.keys[i]); });
                              return keyed_list("shard_keys", std::move(list));
                          },
                          [](const ExecData::Quotas& q) { return quota_config_to_dict(q.config); },
                      },
                      data.value);
}

}  // namespace

PyObject* InternedKey::get() {
    if (object_ == nullptr) {
        object_ = PyUnicode_InternFromString(text_);
    }
    return object_;
}

bool put_item(PyObject* dict, PyObject* key, PyRef value) {
    return key != nullptr && value && PyDict_SetItem(dict, key, value.get()) == 0;
}

bool put_item(PyObject* dict, InternedKey& key, PyRef value) { return put_item(dict, key.get(), std::move(value)); }

PyRef plan_value_to_py(const core::Literal& value) {
    return std::visit(core::Overloaded{
                          [](const std::string& s) { return py_str(s); },
                          [](std::int64_t n) { return py_i64(n); },
                          [](std::uint64_t n) { return py_u64(n); },
                          [](double x) { return std::isfinite(x) ? py_f64(x) : none(); },
                          [](bool b) { return py_bool(b); },
                          [](core::NullValue) { return none(); },
                          [](const core::LiteralDict& entries) {
                              PyRef dict = new_dict();
                              if (!dict) return PyRef();
                              for (const auto& [key, item] : entries) {
                                  if (!put_item(dict.get(), py_str(key).get(), plan_value_to_py(item))) return PyRef();
                              }
                              return dict;
                          },
                          [](const core::LiteralList& items) {
                              return build_list(items.size(),
                                                [&](std::size_t i) { return plan_value_to_py(items[i]); });
                          },
                          [](const core::F32Array& items) {
                              return build_list(items.size(), [&](std::size_t i) {
                                  const auto x = static_cast<double>(items[i]);
                                  return std::isfinite(x) ? py_f64(x) : none();
                              });
                          },
                          [](const core::Placeholder& p) { return unbound_placeholder(p); },
                      },
                      value.value);
}

PyRef f32_slice_to_py(const std::vector<float>& values) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(values.size())));
    if (!list) return {};
    for (std::size_t i = 0; i < values.size(); ++i) {
        PyObject* item = PyFloat_FromDouble(static_cast<double>(values[i]));
        if (item == nullptr) return {};
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list;
}

PyRef vector_to_py(const core::VectorValue& vector) {
    using V = core::VectorValue;
    return std::visit(core::Overloaded{
                          [](const V::Dense& dense) { return f32_slice_to_py(dense.values); },
                          [](const V::Sparse& sparse) {
                              PyRef dict = new_dict();
                              if (!dict) return PyRef();
                              PyRef indices = build_list(sparse.indices.size(), [&](std::size_t i) {
                                  return py_u64(std::uint64_t{sparse.indices[i]});
                              });
                              if (!put_item(dict.get(), kIndices, std::move(indices)) ||
                                  !put_item(dict.get(), kValues, f32_slice_to_py(sparse.values))) {
                                  return PyRef();
                              }
                              return dict;
                          },
                          [](const V::MultiDense& multi) {
                              return build_list(multi.rows.size(),
                                                [&](std::size_t i) { return f32_slice_to_py(multi.rows[i]); });
                          },
                          [](const V::Document& doc) {
                              return inference_object_to_py("text", py_str(doc.text), doc.model, doc.options);
                          },
                          [](const V::Image& image) {
                              return inference_object_to_py("image", py_str(image.source), image.model, image.options);
                          },
                          [](const V::Object& object) {
                              return inference_object_to_py("object", plan_value_to_py(*object.object), object.model,
                                                            object.options);
                          },
                          [](const core::Placeholder& p) { return py_str(p.text()); },
                      },
                      vector.value);
}

PyRef hit_vector_to_py(const protocol::HitVectors& vectors) {
    if (const auto* single = std::get_if<core::VectorValue>(&vectors)) return vector_to_py(*single);
    PyRef dict = new_dict();
    if (!dict) return {};
    for (const auto& [name, vector] : std::get<protocol::NamedHitVectors>(vectors)) {
        if (!put_item(dict.get(), py_str(name).get(), vector_to_py(vector))) return {};
    }
    return dict;
}

PyRef payload_to_py(const protocol::HitPayload& payload) {
    PyRef dict = new_dict();
    if (!dict) return {};
    for (const auto& [key, value] : payload) {
        if (!put_item(dict.get(), py_str(key).get(), PyRef::steal(json_value_to_py(value)))) return {};
    }
    return dict;
}

PyRef point_id_to_py(const plan::PlanPointId& id) {
    return std::visit(core::Overloaded{[](std::uint64_t n) { return py_u64(n); },
                                       [](const std::string& s) { return py_str(s); }},
                      id);
}

PyRef group_id_to_py(const protocol::GroupId& id) {
    return std::visit(core::Overloaded{[](const std::string& s) { return py_str(s); },
                                       [](std::uint64_t n) { return py_u64(n); },
                                       [](std::int64_t n) { return py_i64(n); }},
                      id);
}

PyRef facet_value_to_py(const protocol::FacetValue& value) {
    return std::visit(core::Overloaded{[](const std::string& s) { return py_str(s); },
                                       [](std::int64_t n) { return py_i64(n); }, [](bool b) { return py_bool(b); }},
                      value);
}

PyRef hit_to_dict(const protocol::ScoredPoint& hit) {
    PyRef dict = new_dict();
    if (!dict) return {};
    if (!put_item(dict.get(), kId, point_id_to_py(hit.id)) || !put_item(dict.get(), kScore, py_f64(hit.score)) ||
        !put_item(dict.get(), kPayload, hit.payload ? payload_to_py(*hit.payload) : none())) {
        return {};
    }
    if (hit.collection && !put_item(dict.get(), kCollection, py_str(*hit.collection))) return {};
    if (hit.vector && !put_item(dict.get(), kVector, hit_vector_to_py(*hit.vector))) return {};
    return dict;
}

PyRef hits_to_dicts(const std::vector<protocol::ScoredPoint>& hits) {
    return build_list(hits.size(), [&](std::size_t i) { return hit_to_dict(hits[i]); });
}

PyRef telemetry_to_dict(const protocol::Telemetry& telemetry) {
    PyRef dict = new_dict();
    if (!dict) return {};
    if (telemetry.time_s && !put_named(dict.get(), "time_s", py_f64(*telemetry.time_s))) {
        return {};
    }
    if (!telemetry.usage) return dict;
    PyRef usage = new_dict();
    if (!usage) return {};
    const auto& hardware = telemetry.usage->hardware;
    if (hardware && !put_named(usage.get(), "hardware", hardware_to_dict(*hardware))) return {};
    const auto& inference = telemetry.usage->inference;
    if (inference && !put_named(usage.get(), "inference", inference_usage_to_dict(*inference))) {
        return {};
    }
    if (!put_named(dict.get(), "usage", std::move(usage))) return {};
    return dict;
}

PyRef quota_config_to_dict(const protocol::QuotaConfig& config) {
    PyRef dict = new_dict();
    if (!dict) return {};
    if (config.enabled && !put_named(dict.get(), "enabled", py_bool(*config.enabled))) return {};
    const std::pair<const char*, const std::optional<std::uint64_t>*> percents[] = {
        {"max_resident_memory_percent", &config.max_resident_memory_percent},
        {"max_disk_usage_percent", &config.max_disk_usage_percent},
        {"release_margin_percent", &config.release_margin_percent},
    };
    for (const auto& [key, value] : percents) {
        if (*value && !put_named(dict.get(), key, py_u64(**value))) return {};
    }
    return dict;
}

PyRef report_result_to_dict(const protocol::StatementResult& result) {
    PyRef dict = new_dict();
    if (!dict) return {};
    if (!put_item(dict.get(), kOk, py_bool(result.ok)) || !put_item(dict.get(), kOperation, py_str(result.operation)) ||
        !put_item(dict.get(), kMessage, py_str(result.message)) ||
        !put_item(dict.get(), kData, result.data ? data_to_py(*result.data) : none())) {
        return {};
    }
    if (result.telemetry && !put_item(dict.get(), kTelemetry, telemetry_to_dict(*result.telemetry))) return {};
    return dict;
}

PyRef report_results_to_list(const std::vector<protocol::StatementResult>& results) {
    return build_list(results.size(), [&](std::size_t i) { return report_result_to_dict(results[i]); });
}

}  // namespace zorv::python
