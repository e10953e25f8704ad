// Results as plain Python objects: hits, vectors, payloads, telemetry, quotas and result dicts.
// Every builder returns a new reference, or null with the Python error set (exhausted memory, or
// a placeholder that reached a value conversion).
#pragma once

#include <vector>

#include "core/ast/literal.h"
#include "core/ast/vector.h"
#include "protocol/response.h"
#include "python/py_ref.h"

namespace zorv::python {

// A str made once and kept for the process: the fixed keys of result dicts. Only touched with
// the GIL held.
class InternedKey {
public:
    explicit constexpr InternedKey(const char* text) : text_(text) {}
    PyObject* get();

private:
    const char* text_;
    PyObject* object_ = nullptr;
};

// Sets `dict[key] = value`, taking `value`; false with the error set when either is null or the
// store fails.
bool put_item(PyObject* dict, PyObject* key, PyRef value);
bool put_item(PyObject* dict, InternedKey& key, PyRef value);

PyRef plan_value_to_py(const core::Literal& value);
PyRef f32_slice_to_py(const std::vector<float>& values);
PyRef vector_to_py(const core::VectorValue& vector);
PyRef hit_vector_to_py(const protocol::HitVectors& vectors);
PyRef payload_to_py(const protocol::HitPayload& payload);
PyRef point_id_to_py(const plan::PlanPointId& id);
PyRef group_id_to_py(const protocol::GroupId& id);
PyRef facet_value_to_py(const protocol::FacetValue& value);

// {"id", "score", "payload", "collection"?, "vector"?}.
PyRef hit_to_dict(const protocol::ScoredPoint& hit);
PyRef hits_to_dicts(const std::vector<protocol::ScoredPoint>& hits);

// {"time_s"?, "usage"?: {"hardware"?, "inference"?}}.
PyRef telemetry_to_dict(const protocol::Telemetry& telemetry);
// The set fields of "enabled", "max_resident_memory_percent", "max_disk_usage_percent" and
// "release_margin_percent", in that order.
PyRef quota_config_to_dict(const protocol::QuotaConfig& config);

// {"ok", "operation", "message", "data", "telemetry"?} per statement.
PyRef report_result_to_dict(const protocol::StatementResult& result);
PyRef report_results_to_list(const std::vector<protocol::StatementResult>& results);

}  // namespace zorv::python
