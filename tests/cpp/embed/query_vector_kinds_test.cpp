#include "embed/query_vector_kinds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>

#include "core/fmt/statement.h"
#include "core/parser/parser.h"

namespace zorv::embed {
namespace {

core::Statement parse_query(const std::string& text) {
    auto statement = core::parse_statement(text);
    EXPECT_TRUE(statement && statement->kind() == core::StatementKind::Query)
        << text << ": " << (statement ? "" : statement.error().message);
    return statement ? *statement : core::Statement{};
}

core::Query& query_of(core::Statement& statement) { return *statement.get<core::StatementKind::Query>(); }

// The statement's canonical text after resolution on one line, or "CODE: message".
std::string resolved(const std::string& text, const VectorNameLists& names) {
    core::Statement statement = parse_query(text);
    auto out = resolve_query_vector_names(query_of(statement), "docs", names);
    if (!out) return out.error().code + ": " + out.error().message;
    std::string text_out = core::format_statement(statement);
    std::replace(text_out.begin(), text_out.end(), '\n', ' ');
    return text_out;
}

struct ResolveCase {
    std::string text;
    VectorNameLists names;
    std::string expected;
};

void PrintTo(const ResolveCase& c, std::ostream* os) { *os << c.text; }

class ResolveTargets : public testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveTargets, SettleNamesAndKindsOrFail) {
    EXPECT_EQ(resolved(GetParam().text, GetParam().names), GetParam().expected);
}

const VectorNameLists kTwoDense{{"a", "b"}, {}, {}};
const VectorNameLists kMixed{{"a", "m"}, {"s"}, {"m"}};

INSTANTIATE_TEST_SUITE_P(
    Cases, ResolveTargets,
    testing::Values(
        // The unnamed vector: listed, or standing in for a collection that names none.
        ResolveCase{"QUERY TEXT 'x' FROM docs", {{""}, {}, {}}, "QUERY 'x' FROM docs USING '' AS DENSE"},
        ResolveCase{"QUERY TEXT 'x' FROM docs", {}, "QUERY 'x' FROM docs USING '' AS DENSE"},
        ResolveCase{"QUERY TEXT 'x' FROM docs USING v",
                    {{""}, {}, {}},
                    "ZORV-UNKNOWN-VECTOR: Collection 'docs' has no vector named 'v'. Available vectors: <default>"},
        ResolveCase{"QUERY TEXT 'x' FROM docs", kTwoDense,
                    "ZORV-MISSING-USING: Collection 'docs' has an ambiguous vector topology. Add USING "
                    "<vector_name>. Available vectors: a, b"},
        // A sparse literal picks the only sparse vector; a dense one still finds two.
        ResolveCase{"QUERY {indices: [1], values: [0.5]} FROM docs", kMixed,
                    "QUERY {indices: [1], values: [0.5]} FROM docs USING s AS SPARSE"},
        ResolveCase{"QUERY [1.0] FROM docs", kMixed,
                    "ZORV-MISSING-USING: Collection 'docs' has an ambiguous vector topology. Add USING "
                    "<vector_name>. Available vectors: a, m, s"},
        ResolveCase{"QUERY TEXT 'x' FROM docs USING zz AS DENSE", kTwoDense, "QUERY 'x' FROM docs USING zz AS DENSE"},
        ResolveCase{"QUERY TEXT 'x' FROM docs USING zz", kMixed,
                    "ZORV-UNKNOWN-VECTOR: Collection 'docs' has no vector named 'zz'. Available vectors: a, m, s"},
        ResolveCase{"QUERY {indices: [1], values: [0.5]} FROM docs USING a", kMixed,
                    "ZORV-VECTOR-KIND: Vector 'a' in collection 'docs' is dense, which is incompatible with this "
                    "query"},
        ResolveCase{"QUERY TEXT 'x' FROM docs USING s AS DENSE", kMixed,
                    "ZORV-VECTOR-KIND: Vector 's' in collection 'docs' is sparse, which is incompatible with this "
                    "query"},
        ResolveCase{"QUERY RECOMMEND POSITIVE ([1.0], {indices: [1], values: [0.5]}) FROM docs USING zz", kMixed,
                    "ZORV-VALIDATION-VECTOR-KIND: query inputs cannot mix dense and sparse vector values"},
        // A multivector of the collection sets the flag; a sparse one listed as multivector cannot.
        ResolveCase{"QUERY TEXT 'x' FROM docs USING m", kMixed, "QUERY 'x' FROM docs USING m AS MULTI"},
        ResolveCase{"QUERY TEXT 'x' FROM docs USING s",
                    {{"a"}, {"s"}, {"s"}},
                    "ZORV-VECTOR-KIND: Vector 's' in collection 'docs' cannot be multivector (not dense)"},
        ResolveCase{"QUERY FUSION RRF FROM docs PREFETCH (QUERY TEXT 'x' USING s, QUERY [1.0])",
                    {{"a"}, {"s"}, {}},
                    "QUERY FUSION RRF FROM docs PREFETCH (QUERY 'x' USING s AS SPARSE, QUERY [1.0] USING a AS DENSE)"},
        ResolveCase{"QUERY HYBRID TEXT 'x' FROM docs",
                    {{"d"}, {"s"}, {}},
                    "QUERY HYBRID TEXT 'x' DENSE d SPARSE s FUSION RRF FROM docs"},
        // The unnamed vector never serves a HYBRID.
        ResolveCase{"QUERY HYBRID TEXT 'x' FROM docs",
                    {{""}, {"s"}, {}},
                    "ZORV-MISSING-USING: Collection 'docs' does not have exactly one named dense vector. Specify the "
                    "dense vector explicitly. Available dense vectors: <default>"},
        ResolveCase{"QUERY HYBRID TEXT 'x' FROM docs",
                    {{"d"}, {}, {}},
                    "ZORV-MISSING-USING: Collection 'docs' does not have exactly one named sparse vector. Specify the "
                    "sparse vector explicitly. Available sparse vectors: "},
        ResolveCase{"QUERY HYBRID TEXT 'x' DENSE zz FROM docs",
                    {{"d", "e"}, {"s"}, {}},
                    "ZORV-UNKNOWN-VECTOR: Collection 'docs' has no vector named 'zz'. Available vectors: d, e"},
        ResolveCase{"WITH c AS (QUERY TEXT 'x' USING zz) QUERY FUSION RRF FROM docs PREFETCH (c)", kMixed,
                    "ZORV-UNKNOWN-VECTOR: Collection 'docs' has no vector named 'zz'. Available vectors: a, m, s"}));

struct NeedCase {
    std::string text;
    bool needs = false;
};

void PrintTo(const NeedCase& c, std::ostream* os) { *os << c.text; }

class NeedsResolution : public testing::TestWithParam<NeedCase> {};

TEST_P(NeedsResolution, WhenSomeTargetIsOpen) {
    core::Statement statement = parse_query(GetParam().text);
    EXPECT_EQ(query_needs_client_embedding(query_of(statement)), GetParam().needs);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NeedsResolution,
    testing::Values(NeedCase{"QUERY TEXT 'x' FROM docs", true}, NeedCase{"QUERY TEXT 'x' FROM docs USING v", true},
                    // A dense target may still be a multivector.
                    NeedCase{"QUERY TEXT 'x' FROM docs USING v AS DENSE", true},
                    NeedCase{"QUERY TEXT 'x' FROM docs USING v AS SPARSE", false},
                    NeedCase{"QUERY TEXT 'x' FROM docs USING v AS MULTI", false},
                    NeedCase{"QUERY HYBRID TEXT 'x' DENSE d SPARSE s FROM docs", false},
                    NeedCase{"QUERY HYBRID TEXT 'x' DENSE d FROM docs", true},
                    NeedCase{"QUERY POINTS (1, 2) FROM docs", false},
                    NeedCase{"QUERY FUSION RRF FROM docs PREFETCH (QUERY [1.0] USING v AS SPARSE, "
                             "QUERY [1.0] USING w AS SPARSE PREFETCH (QUERY [1.0]))",
                             true},
                    NeedCase{"WITH c AS (QUERY [1.0] USING v) QUERY FUSION RRF FROM docs PREFETCH (c)", true},
                    NeedCase{"WITH c AS (QUERY [1.0] USING v AS MULTI) QUERY FUSION RRF FROM docs PREFETCH (c)",
                             false}));

TEST(VectorNames, FormatWritesTheUnnamedVectorAsDefault) {
    EXPECT_EQ(format_vector_names({"", "a", "b"}), "<default>, a, b");
    EXPECT_EQ(format_vector_names({}), "");
}

}  // namespace
}  // namespace zorv::embed
