#include "runtime/rest/envelope.h"

#include <cstddef>
#include <utility>

namespace zorv::runtime::rest {

namespace {

constexpr std::string_view envelope_name = "struct Envelope";

std::unexpected<EnvelopeReadError> data_fault(std::string message) {
    return std::unexpected(EnvelopeReadError{std::move(message), true});
}

// The reader's wording of a value that has the wrong type.
std::string describe(simdjson::dom::element value) {
    switch (value.type()) {
        case simdjson::dom::element_type::ARRAY: return "sequence";
        case simdjson::dom::element_type::OBJECT: return "map";
        case simdjson::dom::element_type::INT64: return "integer `" + std::to_string(value.get_int64().value()) + "`";
        case simdjson::dom::element_type::UINT64: return "integer `" + std::to_string(value.get_uint64().value()) + "`";
        case simdjson::dom::element_type::DOUBLE: {
            std::string text = simdjson::to_string(value);
            return "floating point `" + text + "`";
        }
        case simdjson::dom::element_type::STRING: return "string \"" + std::string(value.get_string().value()) + "\"";
        case simdjson::dom::element_type::BOOL: return value.get_bool().value() ? "boolean `true`" : "boolean `false`";
        case simdjson::dom::element_type::NULL_VALUE: return "null";
    }
    return "value";
}

std::expected<std::string, EnvelopeReadError> read_status(simdjson::dom::element value) {
    std::string_view text;
    if (value.get_string().get(text) != simdjson::SUCCESS) {
        return data_fault("invalid type: " + describe(value) + ", expected a string");
    }
    return std::string(text);
}

struct Members {
    simdjson::dom::element result;
    simdjson::dom::element status;
};

std::expected<Members, EnvelopeReadError> read_object(simdjson::dom::object object) {
    std::optional<simdjson::dom::element> result;
    std::optional<simdjson::dom::element> status;
    for (auto field : object) {
        std::optional<simdjson::dom::element>* slot = nullptr;
        if (field.key == "result") slot = &result;
        if (field.key == "status") slot = &status;
        if (slot == nullptr) continue;
        if (slot->has_value()) return data_fault("duplicate field `" + std::string(field.key) + "`");
        *slot = field.value;
    }
    if (!result) return data_fault("missing field `result`");
    if (!status) return data_fault("missing field `status`");
    return Members{*result, *status};
}

std::expected<Members, EnvelopeReadError> read_array(simdjson::dom::array array) {
    const std::size_t size = array.size();
    if (size != 2) {
        return data_fault("invalid length " + std::to_string(size) + ", expected " + std::string(envelope_name) +
                          " with 2 elements");
    }
    return Members{array.at(0).value(), array.at(1).value()};
}

EnvelopeResult read_envelope(std::string_view body, bool keep_result) {
    auto parsed = parse_json_text(body);
    if (!parsed) return std::unexpected(EnvelopeReadError{std::move(parsed.error()), false});
    simdjson::dom::element root = parsed->root();
    std::expected<Members, EnvelopeReadError> members;
    if (simdjson::dom::object object; root.get_object().get(object) == simdjson::SUCCESS) {
        members = read_object(object);
    } else if (simdjson::dom::array array; root.get_array().get(array) == simdjson::SUCCESS) {
        members = read_array(array);
    } else {
        return data_fault("invalid type: " + describe(root) + ", expected " + std::string(envelope_name));
    }
    if (!members) return std::unexpected(std::move(members.error()));
    auto status = read_status(members->status);
    if (!status) return std::unexpected(std::move(status.error()));
    Envelope envelope{.document = std::nullopt, .result = {}, .status = std::move(*status)};
    if (keep_result) {
        envelope.result = members->result;
        envelope.document = std::move(*parsed);
    }
    return envelope;
}

}  // namespace

EnvelopeResult parse_batch_envelope(std::string_view body) { return read_envelope(body, true); }

EnvelopeResult parse_status_envelope(std::string_view body) { return read_envelope(body, false); }

}  // namespace zorv::runtime::rest
