#include "runtime/executor.h"

#include <mutex>
#include <utility>

#include "core/diagnostics.h"

namespace zorv::runtime {

std::optional<SchemaCacheEntry> SchemaCache::find(std::string_view collection) const {
    std::shared_lock guard(mutex_);
    auto it = entries_.find(collection);
    if (it == entries_.end()) return std::nullopt;
    return it->second;
}

void SchemaCache::insert(std::string collection, SchemaCacheEntry entry) {
    std::unique_lock guard(mutex_);
    entries_.insert_or_assign(std::move(collection), std::move(entry));
}

void SchemaCache::erase(std::string_view collection) {
    std::unique_lock guard(mutex_);
    if (auto it = entries_.find(collection); it != entries_.end()) entries_.erase(it);
}

void SchemaCache::clear() {
    std::unique_lock guard(mutex_);
    entries_.clear();
}

std::size_t SchemaCache::size() const {
    std::shared_lock guard(mutex_);
    return entries_.size();
}

std::shared_ptr<Executor> build_executor(std::unique_ptr<Backend> backend, std::optional<ExecutorSettings> settings,
                                         std::shared_ptr<const embed::Embedder> embedder) {
    auto executor = std::make_shared<Executor>();
    executor->settings = std::move(settings);
    executor->backend = std::move(backend);
    executor->embedder = std::move(embedder);
    return executor;
}

core::Result<void> check_open(const Executor& executor) {
    if (executor.closed.load(std::memory_order_acquire)) {
        return core::fail(core::Diag::ClientClosed, "cannot execute query on a closed executor");
    }
    return {};
}

AsyncResult<void> close_executor(Executor& executor) {
    co_await executor.close_lock.lock();
    std::unique_lock<AsyncMutex> held(executor.close_lock, std::adopt_lock);
    if (executor.closed.exchange(true, std::memory_order_acq_rel)) co_return core::Result<void>{};
    executor.schema_cache.clear();
    co_return co_await executor.backend->close();
}

}  // namespace zorv::runtime
