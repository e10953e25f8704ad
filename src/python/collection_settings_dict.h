// The "hnsw", "optimizers" and "quantization" entries of a collection dict.
#pragma once

#include "protocol/settings_records.h"
#include "python/py_ref.h"

namespace zorv::python {

// Each adds its key to `schema`, with only the set fields, in declared order; false with the
// Python error set on failure.
bool hnsw_config_to_dict(PyObject* schema, const protocol::HnswConfig& config);
bool optimizers_config_to_dict(PyObject* schema, const protocol::OptimizersConfig& config);
bool quantization_config_to_dict(PyObject* schema, const protocol::QuantizationConfig& config);

}  // namespace zorv::python
