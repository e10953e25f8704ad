// A Backend that forwards every operation to another and counts the calls, so tests can tell
// which requests the executor made (a cache hit makes no collection_info call, for example).
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "plan/plan_op.h"
#include "runtime/backend.h"

namespace zorv::runtime::test {

enum class BackendCall : std::uint8_t {
    Close,
    ListCollections,
    CollectionExists,
    CollectionInfo,
    CreateCollection,
    UpdateCollection,
    DeleteCollection,
    CreateFieldIndex,
    DeleteFieldIndex,
    Execute,
    QueryBatch,
    UpdateBatch,
    UpdateAliases,
    Optimize,
};

inline constexpr std::size_t backend_call_count = static_cast<std::size_t>(BackendCall::Optimize) + 1;

class RecordingBackend final : public Backend {
public:
    explicit RecordingBackend(std::unique_ptr<Backend> inner) : inner_(std::move(inner)) {}

    std::uint64_t count(BackendCall call) const { return counts_[index(call)].load(std::memory_order_relaxed); }

    std::uint64_t total() const {
        std::uint64_t sum = 0;
        for (const auto& n : counts_) sum += n.load(std::memory_order_relaxed);
        return sum;
    }

    // The kinds passed to execute, in call order.
    std::vector<plan::PlanOpKind> executed_kinds() const {
        std::lock_guard lock(kinds_mutex_);
        return executed_;
    }

    void reset() {
        for (auto& n : counts_) n.store(0, std::memory_order_relaxed);
        std::lock_guard lock(kinds_mutex_);
        executed_.clear();
    }

    Backend& inner() const { return *inner_; }

    AsyncResult<void> close() const override {
        bump(BackendCall::Close);
        co_return co_await inner_->close();
    }
    AsyncResult<std::vector<std::string>> list_collections() const override {
        bump(BackendCall::ListCollections);
        co_return co_await inner_->list_collections();
    }
    AsyncResult<bool> collection_exists(std::string collection) const override {
        bump(BackendCall::CollectionExists);
        co_return co_await inner_->collection_exists(std::move(collection));
    }
    AsyncResult<protocol::CollectionSchema> collection_info(std::string collection) const override {
        bump(BackendCall::CollectionInfo);
        co_return co_await inner_->collection_info(std::move(collection));
    }
    AsyncResult<void> create_collection(std::string collection, plan::PlanCollectionConfig config) const override {
        bump(BackendCall::CreateCollection);
        co_return co_await inner_->create_collection(std::move(collection), std::move(config));
    }
    AsyncResult<void> update_collection(std::string collection, plan::PlanCollectionUpdate update) const override {
        bump(BackendCall::UpdateCollection);
        co_return co_await inner_->update_collection(std::move(collection), std::move(update));
    }
    AsyncResult<void> delete_collection(std::string collection) const override {
        bump(BackendCall::DeleteCollection);
        co_return co_await inner_->delete_collection(std::move(collection));
    }
    AsyncResult<void> create_field_index(std::string collection, plan::PlanFieldIndex index) const override {
        bump(BackendCall::CreateFieldIndex);
        co_return co_await inner_->create_field_index(std::move(collection), std::move(index));
    }
    AsyncResult<void> delete_field_index(std::string collection, std::string field_name) const override {
        bump(BackendCall::DeleteFieldIndex);
        co_return co_await inner_->delete_field_index(std::move(collection), std::move(field_name));
    }
    AsyncResult<protocol::BackendReply> execute(plan::PlanOp op) const override {
        bump(BackendCall::Execute);
        {
            std::lock_guard lock(kinds_mutex_);
            executed_.push_back(op.kind());
        }
        co_return co_await inner_->execute(std::move(op));
    }
    AsyncResult<std::vector<protocol::BackendReply>> query_batch(
        std::string collection, std::vector<plan::PlanQueryRequest> searches, std::optional<std::uint64_t> timeout,
        std::optional<plan::Consistency> consistency) const override {
        bump(BackendCall::QueryBatch);
        co_return co_await inner_->query_batch(std::move(collection), std::move(searches), timeout, consistency);
    }
    AsyncResult<std::vector<protocol::BackendReply>> update_batch(std::string collection,
                                                                  const std::vector<plan::UpdateOperation>& operations,
                                                                  bool wait) const override {
        bump(BackendCall::UpdateBatch);
        co_return co_await inner_->update_batch(std::move(collection), operations, wait);
    }
    AsyncResult<void> update_aliases(std::vector<AliasAction> actions) const override {
        bump(BackendCall::UpdateAliases);
        co_return co_await inner_->update_aliases(std::move(actions));
    }
    AsyncResult<void> optimize() const override {
        bump(BackendCall::Optimize);
        co_return co_await inner_->optimize();
    }

private:
    static std::size_t index(BackendCall call) { return static_cast<std::size_t>(call); }
    void bump(BackendCall call) const { counts_[index(call)].fetch_add(1, std::memory_order_relaxed); }

    std::unique_ptr<Backend> inner_;
    mutable std::array<std::atomic<std::uint64_t>, backend_call_count> counts_{};
    mutable std::mutex kinds_mutex_;
    mutable std::vector<plan::PlanOpKind> executed_;
};

}  // namespace zorv::runtime::test
