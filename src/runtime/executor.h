// The execution state of one client: its backend, optional embedder, collection-schema cache and
// closed flag. The Python client keeps one in a shared handle and every request it starts holds
// that handle, so several runs may use one executor at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>

#include "core/error.h"
#include "embed/embedder.h"
#include "embed/vector_names.h"
#include "protocol/collection_schema.h"
#include "runtime/async_mutex.h"
#include "runtime/backend.h"

namespace zorv::runtime {

// The settings the executor reads; the client gathers the rest beside them.
struct ExecutorSettings {
    std::uint64_t timeout_secs = 0;         // deadline of one run; 0 is none
    std::string inference_mode;             // "local" or "external"; blank is "local"
    std::uint64_t embedding_dimension = 0;  // for model-based collection creation; 0 is unset
    std::uint64_t multi_dimension = 0;      // 0 is unset
};

// Both values come from one collection_info reply; readers keep their copies after the entry is
// replaced or dropped.
struct SchemaCacheEntry {
    std::shared_ptr<const protocol::CollectionSchema> schema;
    std::shared_ptr<const embed::VectorNameLists> names;  // schema_vector_names of `schema`
};

// Collection name to schema. Nothing suspends while the lock is held, so a plain shared mutex
// serves many readers and one writer without stalling a runtime thread for long.
class SchemaCache {
public:
    std::optional<SchemaCacheEntry> find(std::string_view collection) const;
    void insert(std::string collection, SchemaCacheEntry entry);
    void erase(std::string_view collection);
    void clear();
    std::size_t size() const;

private:
    mutable std::shared_mutex mutex_;
    std::map<std::string, SchemaCacheEntry, std::less<>> entries_;
};

struct Executor {
    std::optional<ExecutorSettings> settings;  // absent: no deadline, local inference
    std::unique_ptr<Backend> backend;
    std::shared_ptr<const embed::Embedder> embedder;  // null without an embedder
    SchemaCache schema_cache;
    AsyncMutex close_lock;  // one close at a time
    std::atomic<bool> closed{false};
};

std::shared_ptr<Executor> build_executor(std::unique_ptr<Backend> backend, std::optional<ExecutorSettings> settings,
                                         std::shared_ptr<const embed::Embedder> embedder);

// Every entry point makes this check first: ZORV-CLIENT-CLOSED once the executor is closed.
core::Result<void> check_open(const Executor& executor);

// Idempotent; a close that finds another under way waits for it and then succeeds without
// closing the backend again. Runs already past their check go on with the backend, which lives
// until the executor is dropped. The caller keeps `executor` alive until this completes.
AsyncResult<void> close_executor(Executor& executor);

}  // namespace zorv::runtime
