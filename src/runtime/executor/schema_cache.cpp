#include "runtime/executor/schema_cache.h"

#include <utility>

namespace zorv::runtime {

// Placeholder until the cache keeps vector names and evicts after DDL.

std::shared_ptr<const protocol::CollectionSchema> cached_schema(const Executor& executor, std::string_view collection) {
    auto entry = executor.schema_cache.find(collection);
    if (!entry) return nullptr;
    return entry->schema;
}

AsyncResult<std::shared_ptr<const protocol::CollectionSchema>> refresh_schema(Executor& executor,
                                                                              std::string collection) {
    if (auto schema = cached_schema(executor, collection)) co_return schema;
    auto fetched = co_await executor.backend->collection_info(collection);
    if (!fetched) co_return std::unexpected(std::move(fetched).error());
    auto schema = std::make_shared<const protocol::CollectionSchema>(std::move(*fetched));
    executor.schema_cache.insert(std::move(collection), SchemaCacheEntry{schema});
    co_return schema;
}

AsyncResult<std::shared_ptr<const embed::VectorNameLists>> cache_schema(Executor& executor, std::string collection) {
    auto schema = co_await refresh_schema(executor, std::move(collection));
    if (!schema) co_return std::unexpected(std::move(schema).error());
    co_return std::make_shared<const embed::VectorNameLists>(embed::schema_vector_names(**schema));
}

AsyncResult<protocol::BackendReply> schema_for_dispatch(Executor& executor, plan::PlanOp op) {
    co_return co_await executor.backend->execute(std::move(op));
}

}  // namespace zorv::runtime
