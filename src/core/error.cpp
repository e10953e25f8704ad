#include "core/error.h"

namespace zorv::core {

std::string span_debug(const Span& span) {
    return "Span { start: " + std::to_string(span.start) + ", end: " + std::to_string(span.end) + " }";
}

std::string_view error_kind_name(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Lex: return "Lex";
        case ErrorKind::Parse: return "Parse";
        case ErrorKind::Validation: return "Validation";
        case ErrorKind::Execution: return "Execution";
        case ErrorKind::Transport: return "Transport";
        case ErrorKind::Backend: return "Backend";
    }
    return "Parse";
}

ZorvError::ZorvError(const ZorvError& other)
    : span(other.span),
      fields(other.fields),
      code(other.code),
      message(other.message),
      cause(other.cause ? std::make_unique<ZorvError>(*other.cause) : nullptr),
      kind(other.kind) {}

ZorvError& ZorvError::operator=(const ZorvError& other) {
    if (this != &other) *this = ZorvError(other);
    return *this;
}

void format_error_into(std::string& out, const ZorvError& error) {
    // Causes are walked iteratively: each level is one more "caused by" line.
    for (const ZorvError* e = &error; e != nullptr; e = e->cause.get()) {
        if (e != &error) out += "\n  caused by: ";
        out += '[';
        out += e->code;
        out += "] ";
        out += e->message;
        if (e->span) {
            out += " at ";
            out += std::to_string(e->span->start);
            out += "..";
            out += std::to_string(e->span->end);
        }
        if (!e->fields.empty()) {
            out += " {";
            bool first = true;
            for (const auto& [key, value] : e->fields) {
                if (!first) out += ", ";
                first = false;
                out += key;
                out += ": ";
                out += value;
            }
            out += '}';
        }
    }
}

std::string format_error(const ZorvError& error) {
    std::string out;
    format_error_into(out, error);
    return out;
}

}  // namespace zorv::core
