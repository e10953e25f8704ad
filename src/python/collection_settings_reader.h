// The index, optimizer and quantization settings of a collection-info dict.
#pragma once

#include "protocol/collection_schema.h"
#include "python/py_read.h"

namespace zorv::python {

// Reads "hnsw" (0), "optimizers" (1) or "quantization" (2) into `settings`; None leaves the
// setting unset.
PyRead<void> read_collection_setting(protocol::CollectionSettings& settings, std::size_t which, PyObject* value);

}  // namespace zorv::python
