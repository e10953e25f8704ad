#include "runtime/rest/decode_reply.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "core/diagnostics.h"
#include "runtime/rest/collection_info.h"
#include "runtime/rest/point_record.h"
#include "runtime/rest/quota_config_reader.h"
#include "runtime/rest/usage_decode.h"

namespace zorv::runtime::rest {
namespace {

using plan::PlanOpKind;
using protocol::ExecData;
using simdjson::dom::element_type;

// reply.result, when the reply is an object and its result an object.
std::optional<JsonElement> result_object(JsonElement reply) {
    std::optional<JsonElement> result = member(reply, "result");
    if (!result || result->type() != element_type::OBJECT) return std::nullopt;
    return result;
}

// reply.result.<key> as an array.
std::optional<simdjson::dom::array> result_array(JsonElement reply, std::string_view key) {
    const std::optional<JsonElement> result = result_object(reply);
    if (!result) return std::nullopt;
    const std::optional<JsonElement> value = member(*result, key);
    simdjson::dom::array array;
    if (!value || value->get(array) != simdjson::SUCCESS) return std::nullopt;
    return array;
}

// A string, then a non-negative integer, then a negative one; nothing else.
std::optional<protocol::GroupId> read_group_id(JsonElement value) {
    switch (value.type()) {
        case element_type::STRING: return std::string(value.get_string().value_unsafe());
        case element_type::UINT64: return value.get_uint64().value_unsafe();
        case element_type::INT64: {
            const std::int64_t n = value.get_int64().value_unsafe();
            if (n >= 0) return static_cast<std::uint64_t>(n);
            return n;
        }
        default: return std::nullopt;
    }
}

// A string, then an integer in the i64 range, then a boolean; nothing else.
std::optional<protocol::FacetValue> read_facet_value(JsonElement value) {
    switch (value.type()) {
        case element_type::STRING: return std::string(value.get_string().value_unsafe());
        case element_type::INT64: return value.get_int64().value_unsafe();
        case element_type::BOOL: return value.get_bool().value_unsafe();
        default: return std::nullopt;
    }
}

core::Result<ExecData> decode_hits(JsonElement reply) {
    const std::optional<simdjson::dom::array> points = result_array(reply, "points");
    if (!points) return envelope_error("query/scroll response is missing result.points");
    auto hits = ZORV_TRY(decode_point_list(*points));
    return ExecData{ExecData::Hits{std::move(hits)}};
}

core::Result<ExecData> decode_group_list(JsonElement reply) {
    const std::optional<simdjson::dom::array> groups = result_array(reply, "groups");
    if (!groups) return envelope_error("grouped query response is missing result.groups");
    ExecData::Groups out;
    out.groups.reserve(groups->size());
    for (JsonElement group : *groups) {
        auto decoded = ZORV_TRY(decode_groups(group));
        out.groups.push_back(std::move(decoded));
    }
    return ExecData{std::move(out)};
}

core::Result<ExecData> decode_retrieved(JsonElement reply) {
    const std::optional<JsonElement> result = member(reply, "result");
    simdjson::dom::array points;
    if (!result || result->get(points) != simdjson::SUCCESS) {
        return envelope_error("get points response is missing result as an array");
    }
    auto hits = ZORV_TRY(decode_point_list(points));
    return ExecData{ExecData::Hits{std::move(hits)}};
}

core::Result<ExecData> decode_count(JsonElement reply) {
    const std::optional<JsonElement> result = result_object(reply);
    const std::optional<JsonElement> count = result ? member(*result, "count") : std::nullopt;
    const std::optional<std::uint64_t> n = count ? as_u64(*count) : std::nullopt;
    if (!n) return envelope_error("count response is missing an unsigned result.count");
    return ExecData{ExecData::Count{*n}};
}

core::Result<protocol::FacetHit> decode_facet_hit(JsonElement hit) {
    const std::optional<JsonElement> value = member(hit, "value");
    if (!value) return envelope_error("facet hit is missing value");
    std::optional<protocol::FacetValue> facet_value = read_facet_value(*value);
    if (!facet_value) {
        return envelope_error(format_message("facet value does not match FacetValue: {}",
                                             "data did not match any variant of untagged enum PlanFacetValue"));
    }
    const std::optional<JsonElement> count = member(hit, "count");
    const std::optional<std::uint64_t> n = count ? as_u64(*count) : std::nullopt;
    if (!n) return envelope_error("facet hit is missing an unsigned count");
    return protocol::FacetHit{std::move(*facet_value), *n};
}

core::Result<ExecData> decode_facet(JsonElement reply) {
    const std::optional<simdjson::dom::array> hits = result_array(reply, "hits");
    if (!hits) return envelope_error("facet response is missing result.hits");
    ExecData::Facet out;
    out.hits.reserve(hits->size());
    for (JsonElement hit : *hits) {
        auto decoded = ZORV_TRY(decode_facet_hit(hit));
        out.hits.push_back(std::move(decoded));
    }
    return ExecData{std::move(out)};
}

core::Result<plan::PlanShardKey> decode_shard_key(JsonElement entry) {
    const std::optional<JsonElement> key = member(entry, "key");
    if (!key) return envelope_error("shard key entry is missing key");
    if (key->type() == element_type::STRING) return plan::PlanShardKey(std::string(key->get_string().value_unsafe()));
    if (const std::optional<std::uint64_t> n = as_u64(*key)) return plan::PlanShardKey(*n);
    if (as_f64(*key))
        return envelope_error(format_message("shard key {} is not an unsigned integer", compact_text(*key)));
    return envelope_error(format_message("shard key must be a string or unsigned integer, got {}", compact_text(*key)));
}

// Lenient about the outer shape: a reply without result.shard_keys lists no keys.
core::Result<ExecData> decode_shard_keys(JsonElement reply) {
    ExecData::ShardKeys out;
    const std::optional<JsonElement> result = result_object(reply);
    const std::optional<JsonElement> keys = result ? member(*result, "shard_keys") : std::nullopt;
    if (!keys || keys->is_null()) return ExecData{std::move(out)};
    simdjson::dom::array array;
    if (keys->get(array) != simdjson::SUCCESS) {
        return envelope_error(format_message("shard_keys must be an array or null, got {}", compact_text(*keys)));
    }
    out.keys.reserve(array.size());
    for (JsonElement entry : array) {
        auto key = ZORV_TRY(decode_shard_key(entry));
        out.keys.push_back(std::move(key));
    }
    return ExecData{std::move(out)};
}

core::Result<ExecData> decode_quotas(JsonElement reply) {
    const std::optional<JsonElement> result = result_object(reply);
    const std::optional<JsonElement> config = result ? member(*result, "config") : std::nullopt;
    if (!config) return envelope_error("get quotas response is missing result.config");
    auto read = read_quota_config(*config);
    if (!read) return envelope_error(format_message("quota config is invalid: {}", read.error()));
    return ExecData{ExecData::Quotas{*read}};
}

// The server's answer is a bare boolean; the result reports the settings that were asked for.
// A false answer counts as success too.
core::Result<ExecData> decode_set_quota(const plan::PlanOp& op, JsonElement reply) {
    const std::optional<JsonElement> result = member(reply, "result");
    if (!result || result->type() != element_type::BOOL) {
        return envelope_error("set quotas response is missing the boolean result field");
    }
    return ExecData{ExecData::Quotas{op.get<PlanOpKind::SetQuota>().config}};
}

core::Result<ExecData> decode_collection_names(JsonElement reply) {
    auto names = ZORV_TRY(decode_collection_list(reply));
    return ExecData{ExecData::Collections{std::move(names)}};
}

core::Result<ExecData> decode_schema(JsonElement reply) {
    auto schema = ZORV_TRY(decode_collection_info(reply));
    return ExecData{ExecData::Collection{std::move(schema)}};
}

std::unexpected<core::ZorvError> client_side_refusal() {
    // The code is the route compiler's, raised here as an execution failure.
    core::ZorvError error =
        core::make_error(core::Diag::RestClientSide, "CROSS RERANK is client-side and has no REST response");
    error.kind = core::ErrorKind::Execution;
    return std::unexpected(std::move(error));
}

core::Result<ExecData> decode_data(const plan::PlanOp& op, JsonElement reply) {
    switch (op.kind()) {
        case PlanOpKind::Query:
        case PlanOpKind::Scroll: return decode_hits(reply);
        case PlanOpKind::QueryGroups: return decode_group_list(reply);
        case PlanOpKind::GetPoints: return decode_retrieved(reply);
        case PlanOpKind::Count: return decode_count(reply);
        case PlanOpKind::Facet: return decode_facet(reply);
        case PlanOpKind::Upsert:
        case PlanOpKind::Delete:
        case PlanOpKind::UpdatePayload:
        case PlanOpKind::OverwritePayload:
        case PlanOpKind::ClearPayload:
        case PlanOpKind::DeletePayload:
        case PlanOpKind::UpdateVector:
        case PlanOpKind::DeleteVector:
        case PlanOpKind::CreateCollection:
        case PlanOpKind::AlterCollection:
        case PlanOpKind::DropCollection:
        case PlanOpKind::CreateIndex:
        case PlanOpKind::DropIndex:
        case PlanOpKind::CreateShardKey:
        case PlanOpKind::DropShardKey: return ExecData{ExecData::Mutation{}};
        case PlanOpKind::ShowShardKeys: return decode_shard_keys(reply);
        case PlanOpKind::ShowCollections: return decode_collection_names(reply);
        case PlanOpKind::ShowCollection: return decode_schema(reply);
        case PlanOpKind::CrossRerank: return client_side_refusal();
        case PlanOpKind::ShowQuotas: return decode_quotas(reply);
        case PlanOpKind::SetQuota: return decode_set_quota(op, reply);
        case PlanOpKind::Batch: return std::unexpected(rest_batch_refusal());
    }
    return core::fail(core::Diag::RestBatch, "unknown plan operation kind");
}

}  // namespace

core::Result<protocol::HitGroup> decode_groups(JsonElement group) {
    const std::optional<JsonElement> id = member(group, "id");
    if (!id) return envelope_error("group is missing id");
    std::optional<protocol::GroupId> group_id = read_group_id(*id);
    if (!group_id) {
        return envelope_error(format_message("group id does not match GroupId: {}",
                                             "data did not match any variant of untagged enum PlanGroupId"));
    }
    const std::optional<JsonElement> hits = member(group, "hits");
    simdjson::dom::array array;
    if (!hits || hits->get(array) != simdjson::SUCCESS) return envelope_error("group is missing hits as an array");
    auto points = ZORV_TRY(decode_point_list(array));
    return protocol::HitGroup{std::move(*group_id), std::move(points)};
}

core::Result<std::vector<std::string>> decode_collection_list(JsonElement reply) {
    const std::optional<simdjson::dom::array> entries = result_array(reply, "collections");
    if (!entries) return envelope_error("list collections response is missing result.collections");
    std::vector<std::string> names;
    names.reserve(entries->size());
    for (JsonElement entry : *entries) {
        const std::optional<JsonElement> name = member(entry, "name");
        if (!name || name->type() != element_type::STRING) {
            return envelope_error("collection entry is missing a string name");
        }
        names.emplace_back(name->get_string().value_unsafe());
    }
    return names;
}

core::Result<protocol::BackendReply> decode_rest_reply(const plan::PlanOp& op, JsonElement reply) {
    std::optional<protocol::Telemetry> telemetry = decode_telemetry(reply);
    auto data = decode_data(op, reply);
    if (!data) return std::unexpected(std::move(data).error());
    return protocol::BackendReply{std::move(telemetry), std::move(*data)};
}

core::ZorvError rest_batch_refusal() {
    return core::fail(core::Diag::RestBatch,
                      "BATCH is dispatched by the Executor through the batch RPCs, not as a single REST route")
        .error();
}

}  // namespace zorv::runtime::rest
