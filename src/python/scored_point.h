// The ScoredPoint class: one hit of a search or retrieval result.
#pragma once

#include "protocol/response.h"
#include "python/py_ref.h"

namespace zorv::python {

struct ScoredPointObject {
    PyObject_HEAD protocol::ScoredPoint hit;
};

// The one ScoredPoint class of the process (a borrowed reference that lives for the process),
// or null with the error of a failed creation.
PyObject* scored_point_type_object();

// A new ScoredPoint owning `hit`, or null with the allocation error set.
PyObject* create_scored_point_object(protocol::ScoredPoint hit);

// The text of payload["text"] when it is a string.
const std::string* payload_text(const std::optional<protocol::HitPayload>& payload);

}  // namespace zorv::python
