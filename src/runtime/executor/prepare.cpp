#include "runtime/executor/prepare.h"

#include <utility>

namespace zorv::runtime {

// Placeholder: statements are planned as written.
AsyncResult<core::Statement> prepare_statement(Executor& executor, core::Statement statement) {
    (void)executor;
    co_return std::move(statement);
}

}  // namespace zorv::runtime
