// The REST transport behind the executor's Backend interface: every operation is one or more
// requests through the transport of runtime/rest/transport.h, decoded by the reply readers beside it.
#pragma once

#include <memory>

#include "runtime/backend.h"
#include "runtime/rest/transport.h"

namespace zorv::runtime::rest {

std::unique_ptr<Backend> make_rest_backend(RestBackend backend);

}  // namespace zorv::runtime::rest
