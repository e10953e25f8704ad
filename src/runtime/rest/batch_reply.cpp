#include "runtime/rest/batch_reply.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/diagnostics.h"
#include "runtime/rest/point_record.h"
#include "runtime/rest/usage_decode.h"

namespace zorv::runtime::rest {

using protocol::BackendReply;
using protocol::ExecData;
using simdjson::dom::element_type;

core::Result<BackendReply> decode_query_batch_item(JsonElement item) {
    std::optional<protocol::Telemetry> telemetry = decode_telemetry(item);
    const std::optional<JsonElement> points = member(item, "points");
    simdjson::dom::array array;
    if (!points || points->get(array) != simdjson::SUCCESS) {
        return envelope_error("query batch item is missing points as an array");
    }
    auto hits = ZORV_TRY(decode_point_list(array));
    return BackendReply{std::move(telemetry), ExecData{ExecData::Hits{std::move(hits)}}};
}

core::Result<std::vector<BackendReply>> decode_query_batch_reply(JsonElement result) {
    simdjson::dom::array array;
    if (result.get(array) != simdjson::SUCCESS)
        return envelope_error("query batch response is missing result as an array");
    std::vector<BackendReply> replies;
    replies.reserve(array.size());
    for (JsonElement item : array) {
        auto reply = ZORV_TRY(decode_query_batch_item(item));
        replies.push_back(std::move(reply));
    }
    return replies;
}

core::Result<BackendReply> check_rest_update_status(JsonElement item) {
    if (item.type() != element_type::OBJECT) return envelope_error("update batch item is not an object");
    const std::optional<JsonElement> status = member(item, "status");
    if (!status || status->type() != element_type::STRING) {
        return envelope_error("update batch item is missing a string status");
    }
    const std::string_view text = status->get_string().value_unsafe();
    if (text == "acknowledged" || text == "completed") {
        return BackendReply{std::nullopt, ExecData{ExecData::Mutation{}}};
    }
    if (text == "wait_timeout") {
        return core::fail(core::Diag::BackendBatch,
                          "update batch item was not confirmed before the server wait timeout (status: wait_timeout)");
    }
    return envelope_error(
        format_message("update batch item status '{}' is not a valid UpdateStatus "
                       "(acknowledged|completed|wait_timeout)",
                       text));
}

core::Result<std::vector<BackendReply>> decode_update_batch_reply(JsonElement result) {
    simdjson::dom::array array;
    if (result.get(array) != simdjson::SUCCESS) {
        return envelope_error("update batch response is missing result as an array");
    }
    std::vector<BackendReply> replies;
    replies.reserve(array.size());
    for (JsonElement item : array) {
        auto reply = ZORV_TRY(check_rest_update_status(item));
        replies.push_back(std::move(reply));
    }
    return replies;
}

core::Result<bool> decode_collection_exists(JsonElement reply) {
    const std::optional<JsonElement> result = member(reply, "result");
    if (!result || result->type() != element_type::OBJECT) {
        return envelope_error("get collection response is missing a result object with a string status");
    }
    const std::optional<JsonElement> status = member(*result, "status");
    if (!status || status->type() != element_type::STRING) {
        return envelope_error("collection info is missing a string status");
    }
    return true;
}

}  // namespace zorv::runtime::rest
