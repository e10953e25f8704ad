// The HttpEmbedder class: the embedding service and BM25 settings a Client builds its embedder
// from. A settings object only: it opens no connection.
#pragma once

#include "embed/http_embedder.h"
#include "python/py_ref.h"

namespace zorv::python {

// The one HttpEmbedder class of the process, created on first use (borrowed, lives for the
// process), or nullptr with the Python error set.
PyObject* http_embedder_type_object();

// The settings held by `obj` when it is an HttpEmbedder; nullptr (no error set) otherwise.
const embed::HttpEmbedderConfig* http_embedder_config(PyObject* obj);

}  // namespace zorv::python
