// Typed readers of the reply envelope for the calls whose result the transport hands on whole
// (the batch calls) or drops (plain acknowledgements). Strict where the generic check is lenient:
// a member named twice, a missing member or a mistyped status fails the reading.
#pragma once

#include <simdjson.h>

#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/rest/reply_json.h"

namespace zorv::runtime::rest {

struct Envelope {
    // Owns what `result` points into; absent when the reader keeps no result.
    std::optional<JsonDocument> document;
    simdjson::dom::element result;
    std::string status;
};

struct EnvelopeReadError {
    std::string message;
    // True for a fault of shape (a missing, repeated or mistyped member, a wrong top-level type
    // or length) in text that is valid JSON; false for text that is not JSON at all.
    bool data = false;
};

using EnvelopeResult = std::expected<Envelope, EnvelopeReadError>;
using EnvelopeReader = EnvelopeResult (*)(std::string_view body);

// Keeps "result" as a JSON value.
EnvelopeResult parse_batch_envelope(std::string_view body);
// Reads "result" (it must still be well-formed) and keeps only the status.
EnvelopeResult parse_status_envelope(std::string_view body);

}  // namespace zorv::runtime::rest
