#include "core/parser/search_params.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/parser/filter.h"
#include "core/parser/helpers.h"
#include "core/text.h"

namespace zorv::core {
namespace {

std::unexpected<ZorvError> invalid_param(std::string message, Span span) {
    return fail(Diag::ValidationSearchParam, std::move(message), span);
}

// Integer literals of either sign range, and floats, read as a double; nothing else is a number here.
std::optional<double> numeric_value(const Literal& value) {
    switch (value.kind()) {
        case Literal::Kind::Int: return static_cast<double>(value.as_int());
        case Literal::Kind::UInt: return static_cast<double>(value.as_uint());
        case Literal::Kind::Float: return value.as_float();
        default: return std::nullopt;
    }
}

Result<std::uint64_t> positive_integer(const Literal& value, const std::string& key, Span span) {
    if (value.is(Literal::Kind::UInt)) return value.as_uint();
    if (value.is(Literal::Kind::Int) && value.as_int() > 0) return static_cast<std::uint64_t>(value.as_int());
    return invalid_param(key + " must be a positive integer", span);
}

Result<bool> boolean(const Literal& value, const std::string& key, Span span) {
    if (value.is(Literal::Kind::Bool)) return value.as_bool();
    return invalid_param(key + " must be true or false", span);
}

Result<double> selectivity(const Literal& value, const std::string& key, Span span) {
    std::optional<double> number = numeric_value(value);
    if (!number) return invalid_param(key + " must be a number", span);
    if (!std::isfinite(*number) || *number <= 0.0 || *number > 1.0) {
        return invalid_param(key + " must be a finite number in (0, 1]", span);
    }
    return *number;
}

Result<std::vector<double>> weights(const Literal& value, const std::string& key, Span span) {
    if (!value.is(Literal::Kind::List)) return invalid_param(key + " must be a list of numbers", span);
    std::vector<double> out;
    out.reserve(value.as_list().size());
    for (const Literal& element : value.as_list()) {
        std::optional<double> number = numeric_value(element);
        if (!number) return invalid_param(key + " elements must be numbers", span);
        out.push_back(*number);
    }
    return out;
}

Result<Consistency> consistency(const Literal& value, const std::string& key, Span span) {
    if (value.is(Literal::Kind::UInt)) return Consistency::factor(value.as_uint());
    if (value.is(Literal::Kind::Int) && value.as_int() >= 0) {
        return Consistency::factor(static_cast<std::uint64_t>(value.as_int()));
    }
    if (value.is(Literal::Kind::Str)) {
        const std::string& word = value.as_str();
        if (equals_ignore_case(word, "majority")) return Consistency::majority();
        if (equals_ignore_case(word, "quorum")) return Consistency::quorum();
        if (equals_ignore_case(word, "all")) return Consistency::all();
        return fail(Diag::ValidationConsistency,
                    "consistency must be a non-negative integer factor, or majority|quorum|all", span);
    }
    return fail(Diag::ValidationConsistency, key + " must be a non-negative integer factor, or majority|quorum|all",
                span);
}

std::unexpected<ZorvError> idf_error(Span span) {
    return fail(Diag::ValidationIdf, "idf must be 'global' or WHERE <filter>", span);
}

// idf = WHERE <filter> restricts the corpus; global or 'global' (any case) is the whole collection.
Result<IdfParams> parse_idf(Parser& parser) {
    if (parser.accept(TokenKind::Where)) return IdfParams{ZORV_TRY(parse_filter(parser))};
    const Token token = parser.current();
    if (token.kind == TokenKind::String) {
        parser.take_token();
        std::string text = ZORV_TRY(parser.unescape_string(token));
        if (equals_ignore_case(text, "global")) return IdfParams{};
        return idf_error(token.span);
    }
    if (parser.is_word("global")) {
        parser.take_token();
        return IdfParams{};
    }
    return idf_error(token.span);
}

// Checks one value against its (lower-cased) key and stores it.
Result<void> store_param(SearchParams& params, std::string_view name, const std::string& key, Span span,
                         const Literal& value) {
    if (name == "hnsw_ef") {
        params.hnsw_ef = ZORV_TRY(positive_integer(value, key, span));
    } else if (name == "timeout") {
        params.timeout = ZORV_TRY(positive_integer(value, key, span));
    } else if (name == "rrf_k") {
        params.rrf_k = ZORV_TRY(positive_integer(value, key, span));
    } else if (name == "exact") {
        params.exact = ZORV_TRY(boolean(value, key, span));
    } else if (name == "acorn") {
        params.acorn = ZORV_TRY(boolean(value, key, span));
    } else if (name == "indexed_only") {
        params.indexed_only = ZORV_TRY(boolean(value, key, span));
    } else if (name == "max_selectivity") {
        params.max_selectivity = ZORV_TRY(selectivity(value, key, span));
    } else if (name == "rrf_weights") {
        params.rrf_weights = ZORV_TRY(weights(value, key, span));
    } else if (name == "consistency") {
        params.consistency = ZORV_TRY(consistency(value, key, span));
    } else if (name == "quantization") {
        params.quantization = ZORV_TRY(parse_quantization_search_params(value, span));
    } else {
        return invalid_param("unknown search parameter " + quote_for_message(key), span);
    }
    return {};
}

// One "key = value" entry; duplicates are refused before the "=" is read.
Result<void> parse_entry(Parser& parser, SearchParams& params, std::vector<std::string>& seen,
                         std::optional<Span>& selectivity_span) {
    const Token key_token = ZORV_TRY(take_object_key(parser));
    std::string key(key_token.text);
    const Span span = key_token.span;
    if (std::any_of(seen.begin(), seen.end(), [&](const std::string& k) { return equals_ignore_case(k, key); })) {
        return fail(Diag::ParseDuplicateKey, "duplicate configuration key " + quote_for_message(key), span);
    }
    ZORV_TRY(parser.expect_token(TokenKind::Equals));
    const std::string name = to_ascii_lower(key);
    if (name == "idf") {
        params.idf = ZORV_TRY(parse_idf(parser));
    } else {
        // An unknown key still has its value read first, so a malformed value reports its own error.
        const Literal value = ZORV_TRY(parse_literal(parser));
        ZORV_CHECK(store_param(params, name, escape_for_message(key), span, value));
    }
    if (name == "max_selectivity") selectivity_span = span;
    seen.push_back(std::move(key));
    return {};
}

}  // namespace

Result<SearchParams> parse_search_params(Parser& parser) {
    Delimited parens = ZORV_TRY(Delimited::open(parser, TokenKind::LParen));
    if (parens.at_close()) {
        return fail(Diag::ParseSearchParams, "PARAMS requires at least one search parameter", parser.current().span);
    }
    SearchParams params;
    std::vector<std::string> seen;
    std::optional<Span> selectivity_span;
    while (true) {
        ZORV_CHECK(parse_entry(parser, params, seen, selectivity_span));
        if (!parser.accept(TokenKind::Comma)) break;
        if (parens.at_close()) {
            return fail(Diag::ParseTrailingComma, "trailing commas are not allowed", parser.current().span);
        }
    }
    ZORV_TRY(parens.close());
    // Judged on the whole block: acorn may come before or after max_selectivity.
    if (selectivity_span && params.acorn != true) {
        return fail(Diag::ValidationAcornSelectivity, "max_selectivity requires PARAMS (acorn = true, \u2026)",
                    *selectivity_span);
    }
    return params;
}

Result<QuantizationSearchParams> parse_quantization_search_params(const Literal& value, Span key_span) {
    if (!value.is(Literal::Kind::Dict)) return invalid_param("quantization must be an object", key_span);
    QuantizationSearchParams out;
    for (const auto& [key, entry] : value.as_dict()) {
        const std::string name = to_ascii_lower(key);
        if (name == "oversampling") {
            std::optional<double> number = numeric_value(entry);
            if (!number) return invalid_param("oversampling must be numeric", key_span);
            if (!std::isfinite(*number) || *number <= 0.0) {
                return invalid_param("oversampling must be finite and greater than zero", key_span);
            }
            out.oversampling = *number;
        } else if (name == "rescore") {
            out.rescore = ZORV_TRY(boolean(entry, escape_for_message(key), key_span));
        } else if (name == "ignore") {
            out.ignore = ZORV_TRY(boolean(entry, escape_for_message(key), key_span));
        } else {
            return invalid_param("unknown quantization search parameter " + quote_for_message(key), key_span);
        }
    }
    return out;
}

Result<SelectorNames> parse_selector_names(Parser& parser) {
    Delimited parens = ZORV_TRY(Delimited::open_flat(parser, TokenKind::LParen));
    if (parens.at_close()) {
        return fail(Diag::ParseSelector, "selector list cannot be empty", parser.current().span);
    }
    SelectorNames names;
    do {
        names.push_back(ZORV_TRY(parser.parse_identifier()));
    } while (parser.accept(TokenKind::Comma));
    ZORV_TRY(parens.close());
    return names;
}

Result<VectorSelector> parse_vector_selector(Parser& parser) {
    if (parser.accept(TokenKind::True)) return VectorSelector::all();
    if (parser.accept(TokenKind::False)) return VectorSelector::none();
    if (parser.check(TokenKind::LParen)) return VectorSelector::names(ZORV_TRY(parse_selector_names(parser)));
    // A bare WITH VECTOR selects every vector and leaves the next clause unread.
    return VectorSelector::all();
}

Result<PayloadSelector> parse_payload_selector(Parser& parser) {
    if (parser.accept(TokenKind::True)) return PayloadSelector::all();
    if (parser.accept(TokenKind::False)) return PayloadSelector::none();
    const std::string mode = ZORV_TRY(parser.parse_identifier());
    SelectorNames names = ZORV_TRY(parse_selector_names(parser));
    if (equals_ignore_case(mode, "include")) return PayloadSelector::include(std::move(names));
    if (equals_ignore_case(mode, "exclude")) return PayloadSelector::exclude(std::move(names));
    return fail(Diag::ParsePayloadSelector, "WITH PAYLOAD requires true, false, INCLUDE (...), or EXCLUDE (...)",
                parser.current().span);
}

}  // namespace zorv::core
