#include "runtime/backend.h"

#include "core/diagnostics.h"

namespace zorv::runtime {

AsyncResult<void> Backend::close() const { co_return core::Result<void>{}; }

AsyncResult<void> Backend::optimize() const {
    co_return core::fail(core::Diag::BackendOptimize, "optimize is not supported by this backend");
}

}  // namespace zorv::runtime
