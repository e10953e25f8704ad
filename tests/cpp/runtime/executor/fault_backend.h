// A Backend that plays faults the real server cannot be made to produce on demand: batch calls
// that fail or answer the wrong number of replies. It records what it was asked to do.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/error.h"
#include "runtime/backend.h"

namespace zorv::runtime::test {

class FaultBackend final : public Backend {
public:
    // What the batch calls answer; unset, they answer one mutation reply per member.
    std::optional<core::Result<std::vector<protocol::BackendReply>>> batch_answer;
    std::optional<core::ZorvError> execute_failure;  // every execute fails with this
    mutable std::vector<plan::PlanOp> executed;
    mutable std::vector<std::string> batch_calls;  // "query_batch <collection>" / "update_batch <collection>"

    static core::ZorvError unused() {
        return core::ZorvError("ZORV-TEST", "not used by these tests", core::ErrorKind::Execution);
    }

    AsyncResult<std::vector<std::string>> list_collections() const override { co_return std::unexpected(unused()); }
    AsyncResult<bool> collection_exists(std::string) const override { co_return std::unexpected(unused()); }
    AsyncResult<protocol::CollectionSchema> collection_info(std::string) const override {
        co_return std::unexpected(unused());
    }
    AsyncResult<void> create_collection(std::string, plan::PlanCollectionConfig) const override {
        co_return std::unexpected(unused());
    }
    AsyncResult<void> update_collection(std::string, plan::PlanCollectionUpdate) const override {
        co_return std::unexpected(unused());
    }
    AsyncResult<void> delete_collection(std::string) const override { co_return std::unexpected(unused()); }
    AsyncResult<void> create_field_index(std::string, plan::PlanFieldIndex) const override {
        co_return std::unexpected(unused());
    }
    AsyncResult<void> delete_field_index(std::string, std::string) const override {
        co_return std::unexpected(unused());
    }
    AsyncResult<protocol::BackendReply> execute(plan::PlanOp op) const override {
        executed.push_back(std::move(op));
        if (execute_failure) co_return std::unexpected(*execute_failure);
        co_return mutation_reply();
    }
    AsyncResult<std::vector<protocol::BackendReply>> query_batch(std::string collection,
                                                                 std::vector<plan::PlanQueryRequest> searches,
                                                                 std::optional<std::uint64_t>,
                                                                 std::optional<plan::Consistency>) const override {
        batch_calls.push_back("query_batch " + collection);
        co_return answer(searches.size());
    }
    AsyncResult<std::vector<protocol::BackendReply>> update_batch(std::string collection,
                                                                  const std::vector<plan::UpdateOperation>& operations,
                                                                  bool) const override {
        batch_calls.push_back("update_batch " + collection);
        co_return answer(operations.size());
    }
    AsyncResult<void> update_aliases(std::vector<AliasAction>) const override { co_return std::unexpected(unused()); }

private:
    static protocol::BackendReply mutation_reply() {
        return protocol::BackendReply{std::nullopt, protocol::ExecData{protocol::ExecData::Mutation{std::nullopt}}};
    }
    core::Result<std::vector<protocol::BackendReply>> answer(std::size_t members) const {
        if (batch_answer) return *batch_answer;
        return std::vector<protocol::BackendReply>(members, mutation_reply());
    }
};

}  // namespace zorv::runtime::test
