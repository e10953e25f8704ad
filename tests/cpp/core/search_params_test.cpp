#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/lexer.h"
#include "core/parser/parser.h"
#include "core/parser/search_params.h"
#include "test_support.h"

namespace zorv::core {
namespace {

using namespace zorv::core::test_support;

// Lexes `text` and puts the cursor after its first `skip` tokens (the clause's leading keywords).
Parser cursor_after(std::string_view text, std::size_t skip) {
    auto tokens = lex_all(text);
    EXPECT_TRUE(tokens.has_value()) << text;
    Parser parser(text, tokens ? std::move(*tokens) : std::vector<Token>{});
    parser.set_position(skip);
    return parser;
}

// The text of the token the cursor stopped at ("" at the end of the input).
std::string rest_of(const Parser& parser) { return std::string(parser.at_end() ? "" : parser.current().text); }

enum class Entry { Params, Payload, Vector };

// The clause keywords each entry point is called after.
std::size_t leading_tokens(Entry entry) { return entry == Entry::Params ? 1 : 2; }

std::optional<ZorvError> run(Entry entry, Parser& parser) {
    switch (entry) {
        case Entry::Params:
            if (auto r = parse_search_params(parser); !r) return r.error();
            return std::nullopt;
        case Entry::Payload:
            if (auto r = parse_payload_selector(parser); !r) return r.error();
            return std::nullopt;
        case Entry::Vector:
            if (auto r = parse_vector_selector(parser); !r) return r.error();
            return std::nullopt;
    }
    return std::nullopt;
}

// ---------------------------------------------------------------- PARAMS blocks that parse

struct ParamsCase {
    std::string_view text;
    SearchParams expected;
};

void PrintTo(const ParamsCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class SearchParamsOk : public testing::TestWithParam<ParamsCase> {};

TEST_P(SearchParamsOk, Parses) {
    const ParamsCase& c = GetParam();
    Parser parser = cursor_after(c.text, 1);
    auto result = parse_search_params(parser);
    ASSERT_TRUE(result.has_value()) << result.error().code << ": " << result.error().message;
    EXPECT_EQ(*result, c.expected);
    EXPECT_EQ(rest_of(parser), "LIMIT");
    EXPECT_EQ(parser.depth(), 0u);
}

Filter equals(std::string field, Literal value) {
    return Filter{Filter::Compare{std::move(field), CompareOp::Eq, std::move(value)}};
}

QuantizationSearchParams quant(std::optional<bool> ignore, std::optional<bool> rescore,
                               std::optional<double> oversampling) {
    return QuantizationSearchParams{ignore, rescore, oversampling};
}

INSTANTIATE_TEST_SUITE_P(
    Forms, SearchParamsOk,
    testing::Values(
        ParamsCase{"PARAMS (hnsw_ef = 64) LIMIT", {.hnsw_ef = 64}},
        ParamsCase{"PARAMS ('hnsw_ef' = 8) LIMIT", {.hnsw_ef = 8}},
        ParamsCase{"PARAMS (hnsw_ef = 18446744073709551615) LIMIT",
                   {.hnsw_ef = std::numeric_limits<std::uint64_t>::max()}},
        ParamsCase{"PARAMS (HNSW_EF = 64, exact = true, Indexed_Only = false, timeout = 5, rrf_k = 60) LIMIT",
                   {.hnsw_ef = 64, .exact = true, .indexed_only = false, .rrf_k = 60, .timeout = 5}},
        ParamsCase{"PARAMS (acorn = true, max_selectivity = 0.3) LIMIT", {.acorn = true, .max_selectivity = 0.3}},
        ParamsCase{"PARAMS (max_selectivity = 1, ACORN = true) LIMIT", {.acorn = true, .max_selectivity = 1.0}},
        ParamsCase{"PARAMS (consistency = 2) LIMIT", {.consistency = Consistency::factor(2)}},
        ParamsCase{"PARAMS (consistency = 0) LIMIT", {.consistency = Consistency::factor(0)}},
        ParamsCase{"PARAMS (consistency = 18446744073709551615) LIMIT",
                   {.consistency = Consistency::factor(std::numeric_limits<std::uint64_t>::max())}},
        ParamsCase{"PARAMS (consistency = 'QUORUM') LIMIT", {.consistency = Consistency::quorum()}},
        ParamsCase{"PARAMS (consistency = majority) LIMIT", {.consistency = Consistency::majority()}},
        ParamsCase{"PARAMS (Consistency = ALL) LIMIT", {.consistency = Consistency::all()}},
        ParamsCase{"PARAMS (rrf_weights = []) LIMIT", {.rrf_weights = std::vector<double>{}}},
        ParamsCase{"PARAMS (rrf_weights = [1, 0.5, -2]) LIMIT", {.rrf_weights = std::vector<double>{1.0, 0.5, -2.0}}},
        ParamsCase{"PARAMS (quantization = {rescore: true, oversampling: 2}) LIMIT",
                   {.quantization = quant(std::nullopt, true, 2.0)}},
        ParamsCase{"PARAMS (quantization = {IGNORE: false, Oversampling: 1.5}) LIMIT",
                   {.quantization = quant(false, std::nullopt, 1.5)}},
        ParamsCase{"PARAMS (quantization = {}) LIMIT", {.quantization = QuantizationSearchParams{}}},
        ParamsCase{"PARAMS (idf = global) LIMIT", {.idf = IdfParams{}}},
        ParamsCase{"PARAMS (idf = 'Global', timeout = 3) LIMIT", {.idf = IdfParams{}, .timeout = 3}},
        ParamsCase{"PARAMS (IDF = GLOBAL) LIMIT", {.idf = IdfParams{}}},
        ParamsCase{"PARAMS (idf = WHERE lang = 'en', hnsw_ef = 5) LIMIT",
                   {.hnsw_ef = 5, .idf = IdfParams{equals("lang", Literal::str("en"))}}},
        ParamsCase{"PARAMS (idf = WHERE a = 1 OR b = 2) LIMIT",
                   {.idf = IdfParams{
                        Filter{Filter::Or{{equals("a", Literal::int64(1)), equals("b", Literal::int64(2))}}}}}}));

// ---------------------------------------------------------------- every error, with code, message and span

struct ErrorCase {
    Entry entry;
    std::string_view text;
    std::string_view code;
    std::string message;
    std::string_view needle;  // the spanned text; empty: the end of the input
    int nth = 0;              // which occurrence of the needle
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class SearchParamsError : public testing::TestWithParam<ErrorCase> {};

TEST_P(SearchParamsError, Fails) {
    const ErrorCase& c = GetParam();
    Parser parser = cursor_after(c.text, leading_tokens(c.entry));
    std::optional<ZorvError> error = run(c.entry, parser);
    ASSERT_TRUE(error.has_value()) << "parsed without error";
    EXPECT_EQ(error->code, c.code);
    EXPECT_EQ(error->message, c.message);
    const ErrorKind kind = error->code.starts_with("ZORV-VALIDATION-") ? ErrorKind::Validation : ErrorKind::Parse;
    EXPECT_EQ(error->kind, kind);
    ASSERT_TRUE(error->span.has_value());
    EXPECT_EQ(span_debug(*error->span), span_debug(span_of(c.text, c.needle, c.nth)));
    EXPECT_TRUE(error->fields.empty());
    EXPECT_EQ(error->cause, nullptr);
}

constexpr std::string_view search_param = "ZORV-VALIDATION-SEARCH-PARAM";
constexpr std::string_view consistency_code = "ZORV-VALIDATION-CONSISTENCY";
const std::string consistency_tail = " must be a non-negative integer factor, or majority|quorum|all";

INSTANTIATE_TEST_SUITE_P(
    Block, SearchParamsError,
    testing::Values(
        ErrorCase{Entry::Params, "PARAMS ()", "ZORV-PARSE-SEARCH-PARAMS",
                  "PARAMS requires at least one search parameter", ")"},
        ErrorCase{Entry::Params, "PARAMS (hnsw_ef = 64,)", "ZORV-PARSE-TRAILING-COMMA",
                  "trailing commas are not allowed", ")"},
        ErrorCase{Entry::Params, "PARAMS (hnsw_ef = 64, HNSW_EF = 32)", "ZORV-PARSE-DUPLICATE-KEY",
                  "duplicate configuration key 'HNSW_EF'", "HNSW_EF"},
        // The duplicate is refused before its "=" is looked for.
        ErrorCase{Entry::Params, "PARAMS (exact = true, 'EXACT'", "ZORV-PARSE-DUPLICATE-KEY",
                  "duplicate configuration key 'EXACT'", "'EXACT'"},
        ErrorCase{Entry::Params, "PARAMS hnsw_ef", "ZORV-PARSE-EXPECTED", "expected LPAREN but got 'hnsw_ef'",
                  "hnsw_ef"},
        ErrorCase{Entry::Params, "PARAMS (= 1)", "ZORV-PARSE-OBJECT-KEY", "expected an object key, got '='", "="},
        ErrorCase{Entry::Params, "PARAMS (hnsw_ef 5)", "ZORV-PARSE-EXPECTED", "expected EQUALS but got '5'", "5"},
        ErrorCase{Entry::Params, "PARAMS (hnsw_ef = 5", "ZORV-PARSE-EXPECTED", "expected RPAREN but got ''", ""},
        ErrorCase{Entry::Params, "PARAMS (hnsw_ef = 5 timeout = 1)", "ZORV-PARSE-EXPECTED",
                  "expected RPAREN but got 'timeout'", "timeout"},
        // The value is read before the key is judged.
        ErrorCase{Entry::Params, "PARAMS (foo = [1,)", "ZORV-PARSE-VALUE", "unexpected value token ')'", ")"},
        ErrorCase{Entry::Params, "PARAMS (foo = 1)", search_param, "unknown search parameter 'foo'", "foo"},
        ErrorCase{Entry::Params, "PARAMS (hnsw_ef = )", "ZORV-PARSE-VALUE", "unexpected value token ')'", ")"}));

INSTANTIATE_TEST_SUITE_P(
    Values, SearchParamsError,
    testing::Values(
        ErrorCase{Entry::Params, "PARAMS (hnsw_ef = 0)", search_param, "hnsw_ef must be a positive integer", "hnsw_ef"},
        ErrorCase{Entry::Params, "PARAMS (hnsw_ef = -3)", search_param, "hnsw_ef must be a positive integer",
                  "hnsw_ef"},
        ErrorCase{Entry::Params, "PARAMS (hnsw_ef = 1.5)", search_param, "hnsw_ef must be a positive integer",
                  "hnsw_ef"},
        ErrorCase{Entry::Params, "PARAMS (hnsw_ef = :ef)", search_param, "hnsw_ef must be a positive integer",
                  "hnsw_ef"},
        ErrorCase{Entry::Params, "PARAMS (hnsw_ef = ?)", search_param, "hnsw_ef must be a positive integer", "hnsw_ef"},
        ErrorCase{Entry::Params, "PARAMS (HNSW_EF = 0)", search_param, "HNSW_EF must be a positive integer", "HNSW_EF"},
        ErrorCase{Entry::Params, "PARAMS (exact = true, timeout = '5')", search_param,
                  "timeout must be a positive integer", "timeout"},
        ErrorCase{Entry::Params, "PARAMS (rrf_k = true)", search_param, "rrf_k must be a positive integer", "rrf_k"},
        ErrorCase{Entry::Params, "PARAMS (exact = 1)", search_param, "exact must be true or false", "exact"},
        ErrorCase{Entry::Params, "PARAMS (Acorn = 'true')", search_param, "Acorn must be true or false", "Acorn"},
        ErrorCase{Entry::Params, "PARAMS (indexed_only = null)", search_param, "indexed_only must be true or false",
                  "indexed_only"},
        ErrorCase{Entry::Params, "PARAMS (acorn = true, max_selectivity = 'high')", search_param,
                  "max_selectivity must be a number", "max_selectivity"},
        ErrorCase{Entry::Params, "PARAMS (acorn = true, max_selectivity = 0)", search_param,
                  "max_selectivity must be a finite number in (0, 1]", "max_selectivity"},
        ErrorCase{Entry::Params, "PARAMS (acorn = true, max_selectivity = 1.0001)", search_param,
                  "max_selectivity must be a finite number in (0, 1]", "max_selectivity"},
        ErrorCase{Entry::Params, "PARAMS (rrf_weights = [1, 'a'])", search_param,
                  "rrf_weights elements must be numbers", "rrf_weights"},
        ErrorCase{Entry::Params, "PARAMS (rrf_weights = [[1]])", search_param, "rrf_weights elements must be numbers",
                  "rrf_weights"},
        ErrorCase{Entry::Params, "PARAMS (rrf_weights = 1)", search_param, "rrf_weights must be a list of numbers",
                  "rrf_weights"},
        ErrorCase{Entry::Params, "PARAMS (consistency = 'most')", consistency_code, "consistency" + consistency_tail,
                  "consistency"},
        ErrorCase{Entry::Params, "PARAMS (CONSISTENCY = '')", consistency_code, "consistency" + consistency_tail,
                  "CONSISTENCY"},
        ErrorCase{Entry::Params, "PARAMS (CONSISTENCY = -1)", consistency_code, "CONSISTENCY" + consistency_tail,
                  "CONSISTENCY"},
        ErrorCase{Entry::Params, "PARAMS (consistency = 1.5)", consistency_code, "consistency" + consistency_tail,
                  "consistency"},
        ErrorCase{Entry::Params, "PARAMS (Consistency = :c)", consistency_code, "Consistency" + consistency_tail,
                  "Consistency"},
        ErrorCase{Entry::Params, "PARAMS (quantization = 1)", search_param, "quantization must be an object",
                  "quantization"},
        ErrorCase{Entry::Params, "PARAMS (QUANTIZATION = [1])", search_param, "quantization must be an object",
                  "QUANTIZATION"},
        ErrorCase{Entry::Params, "PARAMS (quantization = {oversampling: 0})", search_param,
                  "oversampling must be finite and greater than zero", "quantization"},
        ErrorCase{Entry::Params, "PARAMS (quantization = {oversampling: 'x'})", search_param,
                  "oversampling must be numeric", "quantization"},
        ErrorCase{Entry::Params, "PARAMS (quantization = {Rescore: 1})", search_param, "Rescore must be true or false",
                  "quantization"},
        ErrorCase{Entry::Params, "PARAMS (quantization = {ignore: true, rescore: 'no'})", search_param,
                  "rescore must be true or false", "quantization"},
        ErrorCase{Entry::Params, "PARAMS (quantization = {foo: 1, rescore: 1})", search_param,
                  "unknown quantization search parameter 'foo'", "quantization"},
        ErrorCase{Entry::Params, "PARAMS (quantization = {a: 1, A: 2})", "ZORV-PARSE-DUPLICATE-KEY",
                  "duplicate payload key 'A'", "A", 2}));

INSTANTIATE_TEST_SUITE_P(
    AcornAndIdf, SearchParamsError,
    testing::Values(
        ErrorCase{Entry::Params, "PARAMS (max_selectivity = 0.3)", "ZORV-VALIDATION-ACORN-SELECTIVITY",
                  "max_selectivity requires PARAMS (acorn = true, \u2026)", "max_selectivity"},
        ErrorCase{Entry::Params, "PARAMS (acorn = false, MAX_SELECTIVITY = 0.3)", "ZORV-VALIDATION-ACORN-SELECTIVITY",
                  "max_selectivity requires PARAMS (acorn = true, \u2026)", "MAX_SELECTIVITY"},
        ErrorCase{Entry::Params, "PARAMS (max_selectivity = 0.5, acorn = false)", "ZORV-VALIDATION-ACORN-SELECTIVITY",
                  "max_selectivity requires PARAMS (acorn = true, \u2026)", "max_selectivity"},
        ErrorCase{Entry::Params, "PARAMS (idf = 'local')", "ZORV-VALIDATION-IDF",
                  "idf must be 'global' or WHERE <filter>", "'local'"},
        ErrorCase{Entry::Params, "PARAMS (idf = local)", "ZORV-VALIDATION-IDF",
                  "idf must be 'global' or WHERE <filter>", "local"},
        ErrorCase{Entry::Params, "PARAMS (idf = 5)", "ZORV-VALIDATION-IDF", "idf must be 'global' or WHERE <filter>",
                  "5"},
        ErrorCase{Entry::Params, "PARAMS (idf = ", "ZORV-VALIDATION-IDF", "idf must be 'global' or WHERE <filter>", ""},
        // A corpus filter's own error comes back unchanged.
        ErrorCase{Entry::Params, "PARAMS (idf = WHERE)", "ZORV-PARSE-FIELD", "expected a field name, got ')'", ")"},
        ErrorCase{Entry::Params, "PARAMS (idf = global, IDF = global)", "ZORV-PARSE-DUPLICATE-KEY",
                  "duplicate configuration key 'IDF'", "IDF"}));

INSTANTIATE_TEST_SUITE_P(
    Selectors, SearchParamsError,
    testing::Values(
        ErrorCase{Entry::Vector, "WITH VECTOR ()", "ZORV-PARSE-SELECTOR", "selector list cannot be empty", ")"},
        ErrorCase{Entry::Vector, "WITH VECTOR (a,)", "ZORV-PARSE-IDENTIFIER",
                  "expected identifier or quoted name, got ')'", ")"},
        ErrorCase{Entry::Vector, "WITH VECTOR (a b)", "ZORV-PARSE-EXPECTED", "expected RPAREN but got 'b'", "b"},
        ErrorCase{Entry::Vector, "WITH VECTOR (a", "ZORV-PARSE-EXPECTED", "expected RPAREN but got ''", ""},
        ErrorCase{Entry::Payload, "WITH PAYLOAD keep (a) LIMIT 3", "ZORV-PARSE-PAYLOAD-SELECTOR",
                  "WITH PAYLOAD requires true, false, INCLUDE (...), or EXCLUDE (...)", "LIMIT"},
        ErrorCase{Entry::Payload, "WITH PAYLOAD keep (a)", "ZORV-PARSE-PAYLOAD-SELECTOR",
                  "WITH PAYLOAD requires true, false, INCLUDE (...), or EXCLUDE (...)", ""},
        ErrorCase{Entry::Payload, "WITH PAYLOAD INCLUDE (a,)", "ZORV-PARSE-IDENTIFIER",
                  "expected identifier or quoted name, got ')'", ")"},
        ErrorCase{Entry::Payload, "WITH PAYLOAD INCLUDE ()", "ZORV-PARSE-SELECTOR", "selector list cannot be empty",
                  ")"},
        ErrorCase{Entry::Payload, "WITH PAYLOAD id", "ZORV-PARSE-EXPECTED", "expected LPAREN but got ''", ""},
        ErrorCase{Entry::Payload, "WITH PAYLOAD 5", "ZORV-PARSE-IDENTIFIER",
                  "expected identifier or quoted name, got '5'", "5"}));

// ---------------------------------------------------------------- selectors that parse

struct SelectorCase {
    Entry entry;
    std::string_view text;
    std::optional<PayloadSelector> payload;
    std::optional<VectorSelector> vector;
    std::string_view rest;  // the token left current
};

void PrintTo(const SelectorCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class SelectorOk : public testing::TestWithParam<SelectorCase> {};

TEST_P(SelectorOk, Parses) {
    const SelectorCase& c = GetParam();
    Parser parser = cursor_after(c.text, 2);
    if (c.entry == Entry::Payload) {
        auto result = parse_payload_selector(parser);
        ASSERT_TRUE(result.has_value()) << result.error().message;
        EXPECT_EQ(*result, *c.payload);
    } else {
        auto result = parse_vector_selector(parser);
        ASSERT_TRUE(result.has_value()) << result.error().message;
        EXPECT_EQ(*result, *c.vector);
    }
    EXPECT_EQ(rest_of(parser), c.rest);
}

SelectorCase payload(std::string_view text, PayloadSelector expected, std::string_view rest = "") {
    return SelectorCase{Entry::Payload, text, std::move(expected), std::nullopt, rest};
}
SelectorCase vector(std::string_view text, VectorSelector expected, std::string_view rest = "") {
    return SelectorCase{Entry::Vector, text, std::nullopt, std::move(expected), rest};
}

INSTANTIATE_TEST_SUITE_P(
    Forms, SelectorOk,
    testing::Values(vector("WITH VECTOR", VectorSelector::all()),
                    vector("WITH VECTOR LIMIT 5", VectorSelector::all(), "LIMIT"),
                    vector("WITH VECTOR TRUE", VectorSelector::all()),
                    vector("WITH VECTOR false LIMIT 1", VectorSelector::none(), "LIMIT"),
                    vector("WITH VECTOR (dense, 'sparse vec')", VectorSelector::names({"dense", "sparse vec"})),
                    vector("WITH VECTOR (a, a, LIMIT) LIMIT", VectorSelector::names({"a", "a", "LIMIT"}), "LIMIT"),
                    payload("WITH PAYLOAD true", PayloadSelector::all()),
                    payload("WITH PAYLOAD FALSE WITH", PayloadSelector::none(), "WITH"),
                    payload("WITH PAYLOAD include (a.b, c)", PayloadSelector::include({"a.b", "c"})),
                    payload("WITH PAYLOAD EXCLUDE (x) LIMIT", PayloadSelector::exclude({"x"}), "LIMIT"),
                    payload("WITH PAYLOAD 'Include' (\"x y\", x)", PayloadSelector::include({"x y", "x"}))));

// ---------------------------------------------------------------- nesting

// The block's "(" takes a nesting level of its own, released once the block is read.
TEST(SearchParamsNesting, BlockTakesOneLevel) {
    constexpr std::string_view text = "PARAMS (hnsw_ef = 1)";
    Parser parser = cursor_after(text, 1);
    std::vector<NestGuard> levels;
    for (std::uint32_t i = 0; i < max_nesting_depth; ++i) {
        auto guard = parser.enter_nesting(parser.current());
        ASSERT_TRUE(guard.has_value());
        levels.push_back(std::move(*guard));
    }
    auto result = parse_search_params(parser);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().code, "ZORV-PARSE-NESTING");
    EXPECT_EQ(result.error().span, span_of(text, "(", 0));

    levels.pop_back();
    parser.set_position(1);
    ASSERT_TRUE(parse_search_params(parser).has_value());
    EXPECT_EQ(parser.depth(), max_nesting_depth - 1);
}

}  // namespace
}  // namespace zorv::core
