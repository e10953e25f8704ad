// The embedder argument of Client: an HttpEmbedder or a dict of its settings.
#pragma once

#include <optional>

#include "embed/http_embedder.h"
#include "python/py_ref.h"

namespace zorv::python {

// None gives no settings; an HttpEmbedder a copy of its own; a dict is read from a copy (the
// camelCase aliases resolved there), so the caller's dict is never changed. False with the Python
// error set.
bool embedder_settings_from_py(PyObject* embedder, std::optional<embed::HttpEmbedderConfig>& out);

}  // namespace zorv::python
