#include "runtime/rest/http_failure.h"

#include <initializer_list>
#include <optional>
#include <string>

#include "core/diagnostics.h"

namespace zorv::runtime::rest {

namespace {

using core::Diag;

bool contains_any(std::string_view text, std::initializer_list<std::string_view> words) {
    for (std::string_view word : words) {
        if (text.find(word) != std::string_view::npos) return true;
    }
    return false;
}

// Only A-Z fold: the rules' words are ASCII, and other letters must not change byte length.
std::string ascii_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

Diag classify(std::uint16_t status, std::string_view t) {
    if (contains_any(t, {"strict-mode", "strict mode", "quota exceeded"})) return Diag::BackendStrictMode;
    if (status == 401) return Diag::BackendAuth;
    if (status == 403 && !contains_any(t, {"strict"})) return Diag::BackendAuth;
    if (contains_any(t, {"forbidden", "unauthorized", "api-key"})) return Diag::BackendAuth;
    if (status == 404 || contains_any(t, {"not found"})) return Diag::BackendCollectionNotFound;
    if (contains_any(t, {"index"}) &&
        contains_any(t, {"not exist", "appropriate", "not ready", "missing", "indexing", "failed"})) {
        return Diag::BackendIndexNotReady;
    }
    if (contains_any(t, {"dimension", "vector size"})) return Diag::BackendDimensionMismatch;
    return Diag::BackendHttp;
}

core::Result<void> envelope_fault(std::string_view path, std::string_view what) {
    return core::fail(Diag::BackendEnvelope, std::string(path) + std::string(what));
}

}  // namespace

std::string_view classify_http_error(std::uint16_t status, std::string_view text) {
    return core::diag_code(classify(status, ascii_lower(text)));
}

core::ZorvError add_status_code_detail(core::ZorvError error, std::uint16_t status) {
    error.add_field("status_code", std::to_string(status));
    return error;
}

core::Result<void> check_rest_envelope(simdjson::dom::element reply, std::string_view path) {
    simdjson::dom::object object;
    if (reply.get_object().get(object) != simdjson::SUCCESS) {
        return envelope_fault(path, " returned a non-object JSON response");
    }
    // Walk every member rather than look keys up: a lookup finds the first of a repeated key,
    // and the later one is the one that counts.
    bool has_result = false;
    std::optional<simdjson::dom::element> status;
    for (auto field : object) {
        if (field.key == "result") has_result = true;
        if (field.key == "status") status = field.value;
    }
    if (!has_result) return envelope_fault(path, " response is missing the result field");
    std::string_view text;
    if (!status || status->get_string().get(text) != simdjson::SUCCESS || text != "ok") {
        return envelope_fault(path, " response is missing status=ok");
    }
    return {};
}

}  // namespace zorv::runtime::rest
