// Server replies parsed into a simdjson document, with the nesting limit that guards every reader
// of server data: nothing past `max_reply_depth` levels is ever walked.
#pragma once

#include <simdjson.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "core/error.h"

namespace zorv::runtime::rest {

inline constexpr std::size_t max_reply_depth = 128;

// A parsed reply. Elements point into the parser's buffers, so the parser lives behind a pointer:
// moving the document keeps every element taken from it valid.
class JsonDocument {
public:
    JsonDocument(std::unique_ptr<simdjson::dom::parser> parser, simdjson::dom::element root)
        : parser_(std::move(parser)), root_(root) {}

    simdjson::dom::element root() const { return root_; }

private:
    std::unique_ptr<simdjson::dom::parser> parser_;
    simdjson::dom::element root_;
};

// Parses one JSON value; the error is the reader's own text ("JSON nests deeper than 128 levels"
// for the depth limit), for callers that word the failure themselves.
std::expected<JsonDocument, std::string> parse_json_text(std::string_view text);

// Parses a reply body. Fails with ZORV-BACKEND-JSON "failed to parse Qdrant response: {reader
// text} (request id: {id})" and the "url" field.
core::Result<JsonDocument> parse_reply_json(std::string_view body, std::string_view url, std::string_view request_id);

}  // namespace zorv::runtime::rest
