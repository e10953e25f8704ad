#include "runtime/rest/reply_json.h"

#include <string>

#include "core/diagnostics.h"

namespace zorv::runtime::rest {

std::expected<JsonDocument, std::string> parse_json_text(std::string_view text) {
    auto parser = std::make_unique<simdjson::dom::parser>();
    if (auto error = parser->allocate(text.size(), max_reply_depth); error != simdjson::SUCCESS)
        return std::unexpected(std::string(simdjson::error_message(error)));
    simdjson::dom::element root;
    auto error = parser->parse(text.data(), text.size()).get(root);
    if (error == simdjson::DEPTH_ERROR)
        return std::unexpected("JSON nests deeper than " + std::to_string(max_reply_depth) + " levels");
    if (error != simdjson::SUCCESS) return std::unexpected(std::string(simdjson::error_message(error)));
    return JsonDocument(std::move(parser), root);
}

core::Result<JsonDocument> parse_reply_json(std::string_view body, std::string_view url, std::string_view request_id) {
    auto parsed = parse_json_text(body);
    if (parsed) return std::move(*parsed);
    auto error = core::make_error(core::Diag::BackendJson, "failed to parse Qdrant response: " + parsed.error() +
                                                               " (request id: " + std::string(request_id) + ")");
    error.add_field("url", std::string(url));
    return std::unexpected(std::move(error));
}

}  // namespace zorv::runtime::rest
