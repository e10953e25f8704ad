#include "runtime/executor/schema_cache.h"

#include <utility>

#include "plan/schema_ddl.h"

namespace zorv::runtime {
namespace {

// A miss: the lock is not held while collection_info is awaited. A concurrent miss of the same
// collection also fetches, and the later insert wins; each caller keeps what it fetched.
AsyncResult<SchemaCacheEntry> fetch_entry(Executor& executor, std::string collection) {
    auto fetched = co_await executor.backend->collection_info(collection);
    if (!fetched) co_return std::unexpected(std::move(fetched).error());
    auto schema = std::make_shared<const protocol::CollectionSchema>(std::move(*fetched));
    auto names = std::make_shared<const embed::VectorNameLists>(embed::schema_vector_names(*schema));
    SchemaCacheEntry entry{std::move(schema), std::move(names)};
    executor.schema_cache.insert(std::move(collection), entry);
    co_return entry;
}

AsyncResult<SchemaCacheEntry> get_or_fetch(Executor& executor, std::string collection) {
    if (auto entry = executor.schema_cache.find(collection)) co_return std::move(*entry);
    co_return co_await fetch_entry(executor, std::move(collection));
}

}  // namespace

std::shared_ptr<const protocol::CollectionSchema> cached_schema(const Executor& executor, std::string_view collection) {
    auto entry = executor.schema_cache.find(collection);
    if (!entry) return nullptr;
    return std::move(entry->schema);
}

AsyncResult<std::shared_ptr<const protocol::CollectionSchema>> refresh_schema(Executor& executor,
                                                                              std::string collection) {
    auto entry = co_await get_or_fetch(executor, std::move(collection));
    if (!entry) co_return std::unexpected(std::move(entry).error());
    co_return std::move(entry->schema);
}

AsyncResult<std::shared_ptr<const embed::VectorNameLists>> cache_schema(Executor& executor, std::string collection) {
    auto entry = co_await get_or_fetch(executor, std::move(collection));
    if (!entry) co_return std::unexpected(std::move(entry).error());
    co_return std::move(entry->names);
}

AsyncResult<protocol::BackendReply> schema_for_dispatch(Executor& executor, plan::PlanOp op) {
    // The name is copied before the operation moves into the backend.
    auto changed = plan::schema_changed_collection(op);
    std::optional<std::string> evict = changed ? std::optional<std::string>(*changed) : std::nullopt;
    auto reply = co_await executor.backend->execute(std::move(op));
    if (reply && evict) executor.schema_cache.erase(*evict);
    co_return reply;
}

}  // namespace zorv::runtime
