#include "runtime/executor/prepare_query.h"

#include <string>
#include <utility>
#include <vector>

#include "embed/embedding_cursor.h"
#include "embed/query_embedding.h"
#include "embed/query_vector_kinds.h"
#include "runtime/executor/schema_cache.h"

namespace zorv::runtime {

AsyncResult<void> prepare_query(Executor& executor, core::Query& query) {
    auto named = co_await resolve_query_names(executor, query);
    if (!named) co_return named;
    if (!executor.embedder) co_return core::Result<void>{};
    co_return co_await embed_query_inputs(executor.embedder, query);
}

AsyncResult<void> resolve_query_names(Executor& executor, core::Query& query) {
    // A settled query costs no schema lookup.
    if (!query.collection.name || !embed::query_needs_client_embedding(query)) co_return core::Result<void>{};
    std::string collection = *query.collection.name;
    auto names = co_await cache_schema(executor, collection);
    if (!names) co_return std::unexpected(std::move(names).error());
    co_return embed::resolve_query_vector_names(query, collection, **names);
}

AsyncResult<void> embed_query_inputs(std::shared_ptr<const embed::Embedder> embedder, core::Query& query) {
    std::vector<embed::EmbeddingJob> jobs;
    if (auto checked = embed::check_query_vector_kinds(query, jobs, 0); !checked) co_return checked;
    auto outputs = co_await embed::resolve_query_embeddings(std::move(embedder), jobs);
    if (!outputs) co_return std::unexpected(std::move(outputs).error());
    embed::EmbeddingCursor cursor{std::move(jobs), std::move(*outputs), 0};
    if (auto written = embed::start_query_write_back(query, cursor); !written) co_return written;
    co_return embed::finish_embedding_cursor(std::move(cursor));
}

}  // namespace zorv::runtime
