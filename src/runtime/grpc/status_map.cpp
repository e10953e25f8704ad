#include "runtime/grpc/status_map.h"

#include <array>
#include <cstdio>

#include "core/diagnostics.h"

namespace zorv::runtime::rpc {

namespace {

using core::Diag;

constexpr std::array<std::string_view, 17> descriptions = {
    "The operation completed successfully",
    "The operation was cancelled",
    "Unknown error",
    "Client specified an invalid argument",
    "Deadline expired before operation could complete",
    "Some requested entity was not found",
    "Some entity that we attempted to create already exists",
    "The caller does not have permission to execute the specified operation",
    "Some resource has been exhausted",
    "The system is not in a state required for the operation's execution",
    "The operation was aborted",
    "Operation was attempted past the valid range",
    "Operation is not implemented or not supported",
    "Internal error",
    "The service is currently unavailable",
    "Unrecoverable data loss or corruption",
    "The request does not have valid authentication credentials",
};

void append_quoted(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            std::array<char, 8> hex{};
            std::snprintf(hex.data(), hex.size(), "\\u{%x}", static_cast<unsigned>(byte));
            out += hex.data();
        } else {
            out += c;
        }
    }
    out += '"';
}

std::string ascii_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool contains_any(const std::string& text, std::initializer_list<std::string_view> words) {
    for (std::string_view word : words) {
        if (text.find(word) != std::string::npos) return true;
    }
    return false;
}

Diag classify(const CallStatus& status) {
    if (status.code == 5) return Diag::BackendCollectionNotFound;
    if (status.code == 7 || status.code == 16) return Diag::BackendAuth;
    const std::string lower = ascii_lower(status.message);
    if (contains_any(lower, {"no appropriate index", "index not found", "index is not ready", "indexing"})) {
        return Diag::BackendIndexNotReady;
    }
    if (contains_any(lower, {"dimension", "vector size"})) return Diag::BackendDimensionMismatch;
    if (contains_any(lower, {"strict-mode", "strict mode", "quota exceeded"})) return Diag::BackendStrictMode;
    return Diag::Grpc;
}

}  // namespace

std::string_view status_description(int code) {
    if (code < 0 || code >= static_cast<int>(descriptions.size())) return descriptions[2];
    return descriptions[static_cast<std::size_t>(code)];
}

std::string status_text(const CallStatus& status) {
    std::string out = "code: '";
    out += status_description(status.code);
    out += '\'';
    if (!status.message.empty()) {
        out += ", message: ";
        append_quoted(out, status.message);
    }
    return out;
}

core::ZorvError map_grpc_status(std::string_view operation, const CallStatus& status, std::string_view request_id) {
    std::string message(operation);
    message += ": ";
    message += status_text(status);
    if (!request_id.empty()) {
        message += " (request id: ";
        message += request_id;
        message += ')';
    }
    auto error = core::make_error(classify(status), std::move(message));
    error.add_field("grpc_code", std::to_string(status.code));
    error.add_field("operation", std::string(operation));
    if (!request_id.empty()) error.add_field("request_id", std::string(request_id));
    return error;
}

}  // namespace zorv::runtime::rpc
