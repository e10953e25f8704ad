// A collection's description as a Python dict, in the shape `from_results` reads back.
#pragma once

#include "plan/json_value.h"
#include "protocol/collection_schema.h"
#include "python/py_ref.h"

namespace zorv::python {

// {"status", "points_count", "indexed_vectors_count"?, "segments_count", "schema"}; keys in that
// order, unset settings left out. Null with the Python error set on failure.
PyRef collection_info_to_dict(const protocol::CollectionSchema& info);

// A JSON object as a dict, keys in ascending order.
PyRef string_map_to_dict(const plan::JsonObject& map);

}  // namespace zorv::python
