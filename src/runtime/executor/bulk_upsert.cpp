#include "runtime/executor/bulk_upsert.h"

#include "core/diagnostics.h"

namespace zorv::runtime {

// Placeholder until chunked upserts are built.
AsyncResult<protocol::ExecutionReport> upsert_many(Executor& executor, std::string collection,
                                                   std::vector<core::Literal> rows, std::uint64_t batch_size,
                                                   bool continue_on_error) {
    (void)executor;
    (void)collection;
    (void)rows;
    (void)batch_size;
    (void)continue_on_error;
    co_return core::fail(core::Diag::ValidationUpsertBatch, "upsert_many is not built yet");
}

}  // namespace zorv::runtime
