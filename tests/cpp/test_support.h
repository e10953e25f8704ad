// Small helpers shared by the parser tests.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>

#include "core/ast/walk.h"
#include "core/error.h"
#include "core/fmt/statement.h"
#include "core/parser/parser.h"

namespace zorv::core::test_support {

inline std::string repeat(std::string_view piece, std::size_t n) {
    std::string out;
    out.reserve(piece.size() * n);
    for (std::size_t i = 0; i < n; ++i) out += piece;
    return out;
}

// The span of the nth occurrence of `needle` in `text`; the end-of-input span for an empty needle.
inline Span span_of(std::string_view text, std::string_view needle, int nth = 0) {
    if (needle.empty()) return Span{text.size(), text.size()};
    std::size_t at = text.find(needle);
    for (int i = 0; i < nth && at != std::string_view::npos; ++i) at = text.find(needle, at + 1);
    EXPECT_NE(at, std::string_view::npos) << needle << " not in " << text;
    return Span{at, at + needle.size()};
}

// One row of a text-in, rendered-outcome-out table.
struct TextCase {
    std::string input;
    std::string expected;
};

inline void PrintTo(const TextCase& c, std::ostream* os) { *os << '"' << c.input << '"'; }

// The one statement `text` parses to (an empty SHOW COLLECTIONS, with a test failure, when it does not).
inline Statement must_parse(const std::string& text) {
    auto statement = parse_statement(text);
    EXPECT_TRUE(statement) << text << "\n  " << (statement ? "" : format_error(statement.error()));
    return statement ? *statement : Statement{};
}

// The record of the one statement of kind K that `text` parses to (a default record, with a test
// failure, when it does not).
template <StatementKind K>
auto must_parse(const std::string& text) {
    auto result = parse_statement(text);
    EXPECT_TRUE(result.has_value()) << text << "\n  " << (result ? "" : format_error(result.error()));
    using Record = std::remove_cvref_t<decltype(*result->template get<K>())>;
    if (!result || result->kind() != K) return Record{};
    return *result->template get<K>();
}

// One statement text that must fail: its code, kind, message and the span of the nth occurrence of
// `span_text` (the end of input when empty).
struct ErrorCase {
    std::string text;
    std::string code;
    ErrorKind kind;
    std::string message;
    std::string span_text;
    int nth = 0;
};

inline void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.text; }

// The front end's errors carry no detail fields and no cause.
template <class T>
void expect_error(const Result<T>& result, const ErrorCase& c) {
    ASSERT_FALSE(result.has_value()) << c.text;
    const ZorvError& error = result.error();
    EXPECT_EQ(error.code, c.code);
    EXPECT_EQ(error.kind, c.kind);
    EXPECT_EQ(error.message, c.message);
    EXPECT_EQ(error.span, span_of(c.text, c.span_text, c.nth));
    EXPECT_TRUE(error.fields.empty());
    EXPECT_EQ(error.cause, nullptr);
}

// One level of a nesting construct: `open` + inner + `close`, with the opening token at
// `opener_offset` inside `open`.
struct NestingCase {
    std::string name;
    std::string open;
    std::string close;
    std::size_t opener_offset;
    std::size_t opener_len;
};

inline void PrintTo(const NestingCase& c, std::ostream* os) { *os << c.name; }

// The error of 129 levels of `c`: ZORV-PARSE-NESTING at the 129th opener.
inline void expect_nesting_error(const ZorvError& e, const NestingCase& c) {
    EXPECT_EQ(e.code, "ZORV-PARSE-NESTING");
    EXPECT_EQ(e.kind, ErrorKind::Parse);
    EXPECT_EQ(e.message, "statement nests deeper than 128 levels; flatten the expression");
    const std::size_t start = 128 * c.open.size() + c.opener_offset;
    EXPECT_EQ(e.span, (Span{start, start + c.opener_len}));
}

// Collection settings blocks with nothing set print nothing at all, so they read back absent.
inline void fold_empty_settings(CollectionSettings& settings) {
    auto drop_if_empty = [](auto& field) {
        using Record = std::remove_cvref_t<decltype(*field)>;
        if (field && *field == Record{}) field.reset();
    };
    drop_if_empty(settings.hnsw);
    drop_if_empty(settings.vectors);
    drop_if_empty(settings.optimizers);
    drop_if_empty(settings.params);
    drop_if_empty(settings.wal);
    drop_if_empty(settings.strict_mode);
    drop_if_empty(settings.metadata);
}

inline void fold_empty_settings(CreateCollection& create) {
    for (DenseVectorDef& def : create.vectors) {
        if (def.hnsw == HnswSettings{}) def.hnsw.reset();
        if (def.vectors == VectorStorageSettings{}) def.vectors.reset();
    }
    if (!create.config) return;
    fold_empty_settings(**create.config);
    if (**create.config == CollectionSettings{}) create.config.reset();
}

// Printing writes some forms as shorter ones that read back as different trees: a TEXT placeholder
// without model or options prints as the bare placeholder input, a negated constant as the
// negative constant ("-2.0"), and an empty collection settings block not at all. And it may write
// fields in another order than the text did (an UPSERT row prints its vector first), which
// renumbers "?" placeholders. Folds them all in place, so that a reprinted tree can be compared.
inline void fold_print_equivalents(Statement& statement) {
    std::uint64_t positional = 0;
    walk(statement, Overloaded{
                        [&positional](Placeholder& placeholder) {
                            if (placeholder.is_positional()) placeholder.index = positional++;
                        },
                        [](QueryInput& input) {
                            if (!input.is(QueryInput::Kind::Text)) return;
                            auto& text = input.get<QueryInput::Kind::Text>();
                            if (!text.text_param || text.model || !text.options.empty()) return;
                            Placeholder param = std::move(*text.text_param);
                            input.value = std::move(param);
                        },
                        [](CreateCollection& create) { fold_empty_settings(create); },
                        [](AlterCollection& alter) { fold_empty_settings(*alter.config); },
                        [](FormulaExpr& expr) {
                            if (!expr.is(FormulaExpr::Kind::Neg)) return;
                            const FormulaExpr& operand = *expr.get<FormulaExpr::Kind::Neg>().operand;
                            if (operand.is(FormulaExpr::Kind::Constant)) {
                                expr = FormulaExpr::constant(-operand.get<FormulaExpr::Kind::Constant>().value);
                            }
                        },
                    });
}

// parse(print(tree)) == tree, up to the folds above. Trees compare without spans, so the
// reprinted layout does not matter.
inline bool same_tree_after_print(Statement original, Statement reparsed) {
    fold_print_equivalents(original);
    fold_print_equivalents(reparsed);
    return original == reparsed;
}

// A canonical-text row: `input` prints as `expected` (as itself when that is empty), the printed
// text is a fixed point, and it parses back to the same tree.
inline void expect_canonical_round_trip(const TextCase& c) {
    const std::string& expected = c.expected.empty() ? c.input : c.expected;
    auto first = parse_statement(c.input);
    ASSERT_TRUE(first.has_value()) << c.input << "\n  " << format_error(first.error());
    const std::string printed = format_statement(*first);
    EXPECT_EQ(printed, expected);
    auto second = parse_statement(printed);
    ASSERT_TRUE(second.has_value()) << printed << "\n  " << format_error(second.error());
    EXPECT_EQ(format_statement(*second), printed);
    EXPECT_TRUE(same_tree_after_print(*first, *second)) << "tree changed through\n" << printed;
}

}  // namespace zorv::core::test_support
