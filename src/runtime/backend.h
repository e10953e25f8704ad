// The transport interface between the executor and Qdrant. The REST and gRPC backends implement
// it; the executor holds one and never knows which. Arguments are taken by value because the
// coroutine outlives the caller's expression.
#pragma once

#include <boost/asio/awaitable.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/error.h"
#include "plan/collection_config.h"
#include "plan/index.h"
#include "plan/plan_op.h"
#include "protocol/collection_schema.h"
#include "protocol/response.h"

namespace zorv::plan {
struct UpdateOperation;
}  // namespace zorv::plan

namespace zorv::runtime {

template <class T>
using AsyncResult = boost::asio::awaitable<core::Result<T>>;

struct AliasAction {
    struct Create {
        std::string collection_name;
        std::string alias_name;
        friend bool operator==(const Create&, const Create&) = default;
    };
    struct Delete {
        std::string alias_name;
        friend bool operator==(const Delete&, const Delete&) = default;
    };
    std::variant<Create, Delete> value;
    friend bool operator==(const AliasAction&, const AliasAction&) = default;
};

// Operations of one backend may run at the same time: an implementation guards whatever state it
// keeps itself, and the executor calls it without a lock.
class Backend {
public:
    Backend() = default;
    Backend(const Backend&) = delete;
    Backend& operator=(const Backend&) = delete;
    virtual ~Backend() = default;

    // Completes at once with success unless a transport has something to release.
    virtual AsyncResult<void> close() const;
    virtual AsyncResult<std::vector<std::string>> list_collections() const = 0;
    // False when the server says the collection does not exist; any other failure is the error.
    virtual AsyncResult<bool> collection_exists(std::string collection) const = 0;
    virtual AsyncResult<protocol::CollectionSchema> collection_info(std::string collection) const = 0;
    virtual AsyncResult<void> create_collection(std::string collection, plan::PlanCollectionConfig config) const = 0;
    virtual AsyncResult<void> update_collection(std::string collection, plan::PlanCollectionUpdate update) const = 0;
    virtual AsyncResult<void> delete_collection(std::string collection) const = 0;
    virtual AsyncResult<void> create_field_index(std::string collection, plan::PlanFieldIndex index) const = 0;
    virtual AsyncResult<void> delete_field_index(std::string collection, std::string field_name) const = 0;
    // Any kind the backend can route; the reply's data is what the result builders expect of it.
    virtual AsyncResult<protocol::BackendReply> execute(plan::PlanOp op) const = 0;
    // One reply per search, in order; a failure of the whole call is one error. The executor
    // checks the number of replies itself.
    virtual AsyncResult<std::vector<protocol::BackendReply>> query_batch(
        std::string collection, std::vector<plan::PlanQueryRequest> searches, std::optional<std::uint64_t> timeout,
        std::optional<plan::Consistency> consistency) const = 0;
    // One reply per operation, in order. `operations` must outlive the call.
    virtual AsyncResult<std::vector<protocol::BackendReply>> update_batch(
        std::string collection, const std::vector<plan::UpdateOperation>& operations, bool wait) const = 0;
    virtual AsyncResult<void> update_aliases(std::vector<AliasAction> actions) const = 0;
    // Neither transport offers it: fails with ZORV-BACKEND-OPTIMIZE.
    virtual AsyncResult<void> optimize() const;
};

}  // namespace zorv::runtime
