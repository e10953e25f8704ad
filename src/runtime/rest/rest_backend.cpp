#include "runtime/rest/rest_backend.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>
#include <variant>

#include "core/overloaded.h"
#include "plan/compile_route.h"
#include "plan/create_steps.h"
#include "plan/ddl_builders.h"
#include "plan/json_write.h"
#include "plan/path_names.h"
#include "plan/rest/query_body.h"
#include "plan/rest/route.h"
#include "runtime/rest/batch_reply.h"
#include "runtime/rest/collection_info.h"
#include "runtime/rest/decode_reply.h"
#include "runtime/rest/envelope.h"

namespace zorv::runtime::rest {

namespace {

using protocol::BackendReply;

// Only a real 404 means "no such collection": a 500 that quotes "404" or "Not found" in its body
// is a failure like any other.
bool is_not_found(const core::ZorvError& error) {
    return std::ranges::any_of(error.fields,
                               [](const auto& field) { return field.first == "status_code" && field.second == "404"; });
}

RestCall plain_call(plan::HttpMethod method, std::string path, std::optional<std::string> body = std::nullopt) {
    return RestCall{.method = method, .path = std::move(path), .query = {}, .body = std::move(body)};
}

void write_alias_action(std::string& out, const AliasAction& action) {
    std::visit(core::Overloaded{
                   [&out](const AliasAction::Create& create) {
                       out += R"({"create_alias":{"collection_name":)";
                       plan::write_json_string(out, create.collection_name);
                       out += R"(,"alias_name":)";
                       plan::write_json_string(out, create.alias_name);
                       out += "}}";
                   },
                   [&out](const AliasAction::Delete& remove) {
                       out += R"({"delete_alias":{"alias_name":)";
                       plan::write_json_string(out, remove.alias_name);
                       out += "}}";
                   },
               },
               action.value);
}

class RestBackendClient final : public Backend {
public:
    explicit RestBackendClient(RestBackend backend) : backend_(std::move(backend)) {}

    AsyncResult<std::vector<std::string>> list_collections() const override {
        auto reply = co_await send_and_decode(backend_, "/collections");
        if (!reply) co_return std::unexpected(std::move(reply).error());
        co_return decode_collection_list(reply->root());
    }

    AsyncResult<bool> collection_exists(std::string collection) const override {
        auto valid = plan::validate_collection_path_name(collection);
        if (!valid) co_return std::unexpected(std::move(valid).error());
        auto reply = co_await send_and_decode(backend_, plan::collection_path(collection));
        if (reply) co_return decode_collection_exists(reply->root());
        if (is_not_found(reply.error())) co_return false;
        co_return std::unexpected(std::move(reply).error());
    }

    AsyncResult<protocol::CollectionSchema> collection_info(std::string collection) const override {
        auto valid = plan::validate_collection_path_name(collection);
        if (!valid) co_return std::unexpected(std::move(valid).error());
        auto reply = co_await send_and_decode(backend_, plan::collection_path(collection));
        if (!reply) co_return std::unexpected(std::move(reply).error());
        auto schema = decode_collection_info(reply->root());
        if (!schema) schema.error().add_field("collection", std::move(collection));
        co_return schema;
    }

    AsyncResult<void> create_collection(std::string collection, plan::PlanCollectionConfig config) const override {
        co_return co_await run_rest_steps(backend_, std::move(collection), std::move(config));
    }

    AsyncResult<void> update_collection(std::string collection, plan::PlanCollectionUpdate update) const override {
        co_return co_await execute_dropping_reply(plan::alter_collection_plan(collection, update));
    }

    AsyncResult<void> delete_collection(std::string collection) const override {
        auto valid = plan::validate_collection_path_name(collection);
        if (!valid) co_return std::unexpected(std::move(valid).error());
        RestCall call = plain_call(plan::HttpMethod::Delete, plan::collection_path(collection));
        auto reply = co_await send_enveloped(backend_, std::move(call), parse_status_envelope);
        if (!reply) co_return std::unexpected(std::move(reply).error());
        co_return core::Result<void>{};
    }

    AsyncResult<void> create_field_index(std::string collection, plan::PlanFieldIndex index) const override {
        co_return co_await execute_dropping_reply(plan::create_index_plan(collection, index));
    }

    AsyncResult<void> delete_field_index(std::string collection, std::string field_name) const override {
        co_return co_await execute_dropping_reply(plan::drop_index_plan(collection, field_name));
    }

    AsyncResult<BackendReply> execute(plan::PlanOp op) const override {
        if (op.kind() == plan::PlanOpKind::CreateCollection) {
            auto& create = op.get<plan::PlanOpKind::CreateCollection>();
            auto done = co_await run_rest_steps(backend_, std::move(create.collection), std::move(create.config));
            if (!done) co_return std::unexpected(std::move(done).error());
            co_return BackendReply{.telemetry = std::nullopt,
                                   .data = protocol::ExecData{protocol::ExecData::Mutation{}}};
        }
        // Refused before sending: its members would be applied and then reported as failed.
        if (op.kind() == plan::PlanOpKind::Batch) co_return std::unexpected(rest_batch_refusal());
        auto reply = co_await send_plan(backend_, op);
        if (!reply) co_return std::unexpected(std::move(reply).error());
        co_return decode_rest_reply(op, reply->root());
    }

    AsyncResult<std::vector<BackendReply>> query_batch(std::string collection,
                                                       std::vector<plan::PlanQueryRequest> searches,
                                                       std::optional<std::uint64_t> timeout,
                                                       std::optional<plan::Consistency> consistency) const override {
        auto valid = plan::validate_collection_path_name(collection);
        if (!valid) co_return std::unexpected(std::move(valid).error());
        std::string body;
        plan::write_query_batch_body(body, searches);
        RestCall call{.method = plan::HttpMethod::Post,
                      .path = plan::collection_path(collection) + "/points/query/batch",
                      .query = plan::timeout_consistency_params(timeout, consistency),
                      .body = std::move(body)};
        auto envelope = co_await send_enveloped(backend_, std::move(call), parse_batch_envelope);
        if (!envelope) co_return std::unexpected(std::move(envelope).error());
        co_return decode_query_batch_reply(envelope->result);
    }

    AsyncResult<std::vector<BackendReply>> update_batch(std::string collection,
                                                        const std::vector<plan::UpdateOperation>& operations,
                                                        bool wait) const override {
        auto valid = plan::validate_collection_path_name(collection);
        if (!valid) co_return std::unexpected(std::move(valid).error());
        RestCall call =
            update_batch_call(plan::collection_path(collection) + "/points/batch", plan::wait_param(wait), operations);
        auto envelope = co_await send_enveloped(backend_, std::move(call), parse_batch_envelope);
        if (!envelope) co_return std::unexpected(std::move(envelope).error());
        co_return decode_update_batch_reply(envelope->result);
    }

    AsyncResult<void> update_aliases(std::vector<AliasAction> actions) const override {
        RestCall call = plain_call(plan::HttpMethod::Post, "/collections/aliases", alias_actions_body(actions));
        auto reply = co_await send_enveloped(backend_, std::move(call), parse_status_envelope);
        if (!reply) co_return std::unexpected(std::move(reply).error());
        co_return core::Result<void>{};
    }

private:
    // The DDL calls that go through the route table; their caller wants only success or the error.
    AsyncResult<void> execute_dropping_reply(plan::PlanOp op) const {
        auto reply = co_await execute(std::move(op));
        if (!reply) co_return std::unexpected(std::move(reply).error());
        co_return core::Result<void>{};
    }

    RestBackend backend_;
};

}  // namespace

std::unique_ptr<Backend> make_rest_backend(RestBackend backend) {
    return std::make_unique<RestBackendClient>(std::move(backend));
}

AsyncResult<JsonDocument> send_plan(const RestBackend& backend, const plan::PlanOp& op) {
    auto valid = plan::validate_path_names(op);
    if (!valid) co_return std::unexpected(std::move(valid).error());
    auto routed = plan::plan_to_rest_request(op);
    if (!routed) co_return std::unexpected(plan::route_error_to_error(std::move(routed).error()));
    RestCall call = rest_call(*routed);
    co_return co_await send_json(backend, std::move(call));
}

AsyncResult<void> run_rest_steps(const RestBackend& backend, std::string collection,
                                 plan::PlanCollectionConfig config) {
    auto valid = plan::validate_collection_path_name(collection);
    if (!valid) co_return std::unexpected(std::move(valid).error());
    std::vector<plan::RestStep> steps = plan::create_collection_steps(collection, config);
    for (plan::RestStep& step : steps) {
        RestCall call = plain_call(step.method, std::move(step.path), plan::json_text(step.body));
        auto done = co_await send_enveloped(backend, std::move(call), parse_status_envelope);
        if (!done) co_return std::unexpected(std::move(done).error());
    }
    co_return core::Result<void>{};
}

std::string alias_actions_body(const std::vector<AliasAction>& actions) {
    std::string out = R"({"actions":[)";
    for (std::size_t i = 0; i < actions.size(); ++i) {
        if (i > 0) out += ',';
        write_alias_action(out, actions[i]);
    }
    out += "]}";
    return out;
}

}  // namespace zorv::runtime::rest
