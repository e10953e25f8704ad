// The value forms `from_results` reads, each tried alternative by alternative: point ids and
// shard keys, group ids, facet values, returned vectors, and hit payloads.
#pragma once

#include "plan/plan_op.h"
#include "protocol/response.h"
#include "python/py_read.h"

namespace zorv::python {

// An int in 0..2^64-1, then a text.
PyRead<plan::PlanPointId> read_wire(PyObject* obj);
// A text, an int in 0..2^64-1, then an int in -2^63..-1.
PyRead<protocol::GroupId> read_group_id(PyObject* obj);
// A text, an int in the signed 64-bit range, then a bool.
PyRead<protocol::FacetValue> read_facet_value(PyObject* obj);
// A dense vector, a multivector, a sparse vector, then named vectors.
PyRead<protocol::HitVectors> read_value_wire(PyObject* obj);
// A dict of str keys to JSON values, kept in the dict's order.
PyRead<protocol::HitPayload> read_hit_payload(PyObject* obj);

}  // namespace zorv::python
