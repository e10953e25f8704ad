#include "runtime/executor/bulk_upsert.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <utility>

#include "core/diagnostics.h"
#include "core/params/ast.h"
#include "embed/embedding_dimension.h"
#include "embed/embedding_targets.h"
#include "plan/path_names.h"
#include "plan/upsert.h"
#include "runtime/executor/deadline.h"
#include "runtime/executor/dispatch.h"
#include "runtime/executor/schema_cache.h"

namespace zorv::runtime {

namespace {

using SchemaPtr = std::shared_ptr<const protocol::CollectionSchema>;

// UPSERT INTO {collection} VALUES :rows, built directly so the name is taken as given.
core::Statement rows_template(const std::string& collection) {
    core::Upsert upsert;
    upsert.collection = collection;
    upsert.points.push_back(core::UpsertRow{core::Placeholder::named("rows")});
    return core::Statement{core::Box<core::Upsert>(std::move(upsert))};
}

// The schema when the collection exists; a failed lookup only means the full path is taken.
boost::asio::awaitable<SchemaPtr> lookup_schema(Executor& executor, std::string collection) {
    if (SchemaPtr cached = cached_schema(executor, collection)) co_return cached;
    auto exists = co_await executor.backend->collection_exists(collection);
    if (!exists || !*exists) co_return nullptr;
    auto fetched = co_await refresh_schema(executor, std::move(collection));
    if (!fetched) co_return nullptr;
    co_return *fetched;
}

// Plain points into a known collection need neither preparation nor a planning pass.
AsyncResult<protocol::StatementResult> send_direct(Executor& executor, core::Statement statement, SchemaPtr schema) {
    core::Upsert& upsert = *statement.get<core::StatementKind::Upsert>();
    embed::apply_single_vector_name(upsert, *schema);
    if (auto sizes = embed::check_embedding_dimension(upsert, *schema); !sizes) {
        co_return std::unexpected(std::move(sizes).error());
    }
    auto lowered = plan::lower_upsert_points(upsert);
    if (!lowered) co_return std::unexpected(std::move(lowered).error());
    plan::UpsertOp request{.collection = upsert.collection, .wait = false, .request = std::move(*lowered)};
    plan::PlanOp op = plan::make_op<plan::PlanOpKind::Upsert>(std::move(request));
    co_return co_await with_deadline(executor, dispatch_operation(executor, std::move(op)));
}

// A closed client and a passed deadline end the call under either on_error.
bool ends_the_call(const core::ZorvError& error) {
    return error.code == core::diag_code(core::Diag::ClientClosed) ||
           error.code == core::diag_code(core::Diag::Timeout);
}

// Binds one chunk of rows into a copy of the template and sends it as one UPSERT.
AsyncResult<protocol::StatementResult> send_chunk(Executor& executor, const core::Statement& tmpl,
                                                  core::LiteralList rows, SchemaPtr schema) {
    core::RowsSlot slot;
    slot.rows = core::Literal::list(std::move(rows));
    core::Statement statement = tmpl;
    auto bound = core::bind_statement_placeholders(statement, core::rows_param_source(slot));
    if (!bound) co_return std::unexpected(std::move(bound).error());
    if (!executor.embedder && schema) co_return co_await send_direct(executor, std::move(statement), std::move(schema));
    co_return co_await dispatch_with_timeout(executor, std::move(statement));
}

}  // namespace

AsyncResult<protocol::ExecutionReport> upsert_many(Executor& executor, std::string collection,
                                                   std::vector<core::Literal> rows, std::uint64_t batch_size,
                                                   bool continue_on_error) {
    if (auto open = check_open(executor); !open) co_return std::unexpected(std::move(open).error());
    if (batch_size == 0) co_return core::fail(core::Diag::ValidationUpsertBatch, "upsert_many batch_size must be >= 1");
    if (auto name = plan::validate_collection_path_name(collection); !name) {
        co_return std::unexpected(std::move(name).error());
    }
    if (rows.empty()) co_return protocol::summarize_results({});

    const core::Statement tmpl = rows_template(collection);
    if (auto open = check_open(executor); !open) co_return std::unexpected(std::move(open).error());
    SchemaPtr schema = co_await lookup_schema(executor, collection);

    std::vector<protocol::StatementResult> results;
    auto next = rows.begin();
    while (next != rows.end()) {
        // A close stops the chunks not yet sent, whichever path they take.
        if (auto open = check_open(executor); !open) co_return std::unexpected(std::move(open).error());
        const auto step = std::min<std::uint64_t>(batch_size, static_cast<std::uint64_t>(rows.end() - next));
        const auto chunk_end = next + static_cast<std::ptrdiff_t>(step);
        core::LiteralList chunk(std::make_move_iterator(next), std::make_move_iterator(chunk_end));
        next = chunk_end;

        auto result = co_await send_chunk(executor, tmpl, std::move(chunk), schema);
        if (result) {
            results.push_back(std::move(*result));
            continue;
        }
        if (!continue_on_error || ends_the_call(result.error())) {
            co_return std::unexpected(std::move(result).error());
        }
        results.push_back(protocol::failed_statement_result("UPSERT", result.error()));
    }
    co_return protocol::summarize_results(std::move(results));
}

}  // namespace zorv::runtime
