// Vector names of a collection and the targets of UPSERT embeddings matched against them.
#include "embed/embedding_targets.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "core/fmt/statement.h"
#include "test_support.h"

namespace zorv::embed {
namespace {

using core::StatementKind;
using core::test_support::must_parse;
using Names = std::vector<std::string>;

protocol::DenseVectorInfo dense(std::optional<std::string> name, bool multivector = false) {
    protocol::DenseVectorInfo info;
    info.name = std::move(name);
    info.size = 4;
    if (multivector) info.multivector = plan::JsonObject{};
    return info;
}

protocol::CollectionSchema schema_of(std::vector<protocol::DenseVectorInfo> vectors, const Names& sparse,
                                     Names dense_names = {}) {
    protocol::CollectionSchema schema;
    schema.schema.vectors = std::move(vectors);
    schema.schema.dense_vectors = std::move(dense_names);
    for (const std::string& name : sparse) schema.schema.sparse_vectors.push_back({name, std::nullopt, std::nullopt});
    return schema;
}

// --- the two name lists ---------------------------------------------------------------------------

struct ListsCase {
    const char* name;
    protocol::CollectionSchema schema;
    VectorNameLists lists;   // vector_name_lists
    VectorNameLists cached;  // schema_vector_names
};

void PrintTo(const ListsCase& c, std::ostream* os) { *os << c.name; }

class VectorNameListsOf : public testing::TestWithParam<ListsCase> {};

TEST_P(VectorNameListsOf, BothForms) {
    EXPECT_EQ(vector_name_lists(GetParam().schema), GetParam().lists);
    EXPECT_EQ(schema_vector_names(GetParam().schema), GetParam().cached);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VectorNameListsOf,
    testing::Values(ListsCase{"one_unnamed", schema_of({dense(std::nullopt)}, {}), {{""}, {}, {}}, {{""}, {}, {}}},
                    ListsCase{"nothing", schema_of({}, {}), {{""}, {}, {}}, {{}, {}, {}}},
                    ListsCase{"unnamed_multivector",
                              schema_of({dense(std::nullopt, true)}, {"s"}),
                              {{""}, {"s"}, {""}},
                              {{""}, {"s"}, {}}},
                    ListsCase{"named_with_sparse",
                              schema_of({dense("a"), dense("colbert", true)}, {"s1", "s2"}),
                              {{"a", "colbert"}, {"s1", "s2"}, {"colbert"}},
                              {{"a", "colbert"}, {"s1", "s2"}, {"colbert"}}},
                    ListsCase{"undecodable_vectors_use_dense_names",
                              schema_of({}, {}, {"x", "y"}),
                              {{"x", "y"}, {}, {}},
                              {{"x", "y"}, {}, {}}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- inference ------------------------------------------------------------------------------------

std::string target_text(const EmbeddingTarget& target) {
    core::Upsert upsert = must_parse<StatementKind::Upsert>("UPSERT INTO d VALUES {id: 1}");
    upsert.embedding = target;
    return core::format_statement(core::Statement{std::move(upsert)});
}

struct InferCase {
    const char* name;
    Names dense;
    Names sparse;
    Names multi;
    const char* outcome;  // the statement text with the target, or the error message
};

void PrintTo(const InferCase& c, std::ostream* os) { *os << c.name; }

class InferEmbeddingTargets : public testing::TestWithParam<InferCase> {};

TEST_P(InferEmbeddingTargets, FromTheCollectionsVectors) {
    const InferCase& c = GetParam();
    auto target = infer_embedding_targets("docs", c.dense, c.sparse, c.multi);
    if (!target) {
        EXPECT_EQ(target.error().code, "ZORV-EMBEDDING-TOPOLOGY");
        EXPECT_EQ(target.error().kind, core::ErrorKind::Execution);
    }
    EXPECT_EQ(target ? target_text(*target) : target.error().message, c.outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InferEmbeddingTargets,
    testing::Values(
        InferCase{"dense", {"a"}, {}, {}, "UPSERT INTO d VALUES {id: 1} USING DENSE INTO a"},
        InferCase{"unnamed_dense", {""}, {}, {}, "UPSERT INTO d VALUES {id: 1} USING DENSE INTO ''"},
        InferCase{"sparse", {}, {"s"}, {}, "UPSERT INTO d VALUES {id: 1} USING SPARSE INTO s"},
        InferCase{
            "hybrid", {"a"}, {"s"}, {}, "UPSERT INTO d VALUES {id: 1} USING HYBRID DENSE VECTOR a SPARSE VECTOR s"},
        InferCase{"dense_and_multivector",
                  {"a"},
                  {},
                  {"colbert"},
                  "UPSERT INTO d VALUES {id: 1} USING DENSE INTO a, MULTIVECTOR INTO colbert"},
        InferCase{"multivector_only", {}, {}, {"m"}, "UPSERT INTO d VALUES {id: 1} USING MULTIVECTOR INTO m"},
        InferCase{"two_dense",
                  {"a", "b"},
                  {},
                  {},
                  "cannot infer text embedding targets for collection 'docs': 2 dense and 0 sparse vectors. Add "
                  "USING DENSE/SPARSE/HYBRID/MULTI or explicit EMBED directives"},
        InferCase{"nothing",
                  {},
                  {},
                  {},
                  "cannot infer text embedding targets for collection 'docs': 0 dense and 0 sparse vectors. Add "
                  "USING DENSE/SPARSE/HYBRID/MULTI or explicit EMBED directives"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- resolution of target names -------------------------------------------------------------------

struct ResolveCase {
    const char* name;
    const char* statement;
    VectorNameLists lists;
    const char* code;     // empty: success
    const char* outcome;  // the rewritten statement, or the error message
};

void PrintTo(const ResolveCase& c, std::ostream* os) { *os << c.name; }

class ResolveEmbeddingTargets : public testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveEmbeddingTargets, FillsOrRefuses) {
    const ResolveCase& c = GetParam();
    core::Upsert upsert = must_parse<StatementKind::Upsert>(c.statement);
    upsert.collection = "docs";
    auto out = resolve_embedding_targets(upsert, c.lists);
    if (std::string(c.code).empty()) {
        ASSERT_TRUE(out) << out.error().message;
        EXPECT_EQ(core::format_statement(core::Statement{upsert}), c.outcome);
    } else {
        ASSERT_FALSE(out);
        EXPECT_EQ(out.error().code, c.code);
        EXPECT_EQ(out.error().message, c.outcome);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResolveEmbeddingTargets,
    testing::Values(
        ResolveCase{"picks_single_names",
                    "UPSERT INTO d VALUES {id: 1} USING HYBRID DENSE MODEL 'm' SPARSE",
                    {{"a"}, {"s"}, {}},
                    "",
                    "UPSERT INTO docs VALUES {id: 1} USING HYBRID DENSE MODEL 'm' VECTOR a SPARSE VECTOR s"},
        ResolveCase{"multivector_falls_back_to_dense",
                    "UPSERT INTO d VALUES {id: 1} USING MULTIVECTOR, IMAGE INTO a",
                    {{"a"}, {"s"}, {}},
                    "",
                    "UPSERT INTO docs VALUES {id: 1} USING MULTIVECTOR INTO a, IMAGE INTO a"},
        ResolveCase{
            "sparse_ambiguous",
            "UPSERT INTO d VALUES {id: 1} USING SPARSE",
            {{"a"}, {"s1", "s2"}, {}},
            "ZORV-EMBEDDING-TOPOLOGY",
            "cannot infer a sparse embedding target for collection 'docs': available sparse vectors are s1, s2"},
        ResolveCase{
            "sparse_none",
            "UPSERT INTO d VALUES {id: 1} USING SPARSE",
            {{""}, {}, {}},
            "ZORV-EMBEDDING-TOPOLOGY",
            "cannot infer a sparse embedding target for collection 'docs': available sparse vectors are <none>"},
        ResolveCase{"given_name_missing",
                    "UPSERT INTO d VALUES {id: 1} USING DENSE INTO b",
                    {{"", "a"}, {}, {}},
                    "ZORV-EMBEDDING-TARGET",
                    "dense vector 'b' does not exist in collection 'docs'. Available dense vectors: <default>, a"},
        ResolveCase{"image_clause_into_sparse",
                    "UPSERT INTO d VALUES {id: 1} EMBED p INTO s USING IMAGE",
                    {{"a"}, {"s"}, {}},
                    "ZORV-EMBEDDING-TARGET",
                    "dense vector 's' does not exist in collection 'docs'. Available dense vectors: a"},
        ResolveCase{"multi_clause_uses_multivector_names",
                    "UPSERT INTO d VALUES {id: 1} EMBED t INTO a USING MULTI",
                    {{"a", "m"}, {}, {"m"}},
                    "ZORV-EMBEDDING-TARGET",
                    "multivector vector 'a' does not exist in collection 'docs'. Available multivector vectors: m"},
        ResolveCase{"target_error_before_clauses",
                    "UPSERT INTO d VALUES {id: 1} USING DENSE EMBED t INTO x",
                    {{"a", "b"}, {}, {}},
                    "ZORV-EMBEDDING-TOPOLOGY",
                    "cannot infer a dense embedding target for collection 'docs': available dense vectors are a, b"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- renaming, leaves, unknown vectors ------------------------------------------------------------

TEST(ApplySingleVectorName, NamesUnnamedRowVectorsOnlyForOneNamedDenseVector) {
    const char* text = "UPSERT INTO d VALUES {id: 1, vector: [1.0]}, {id: 2}, {id: 3, vector: {x: [2.0]}}, ?";
    core::Upsert upsert = must_parse<StatementKind::Upsert>(text);
    apply_single_vector_name(upsert, schema_of({dense("image")}, {"s"}));
    EXPECT_EQ(upsert,
              must_parse<StatementKind::Upsert>(
                  "UPSERT INTO d VALUES {id: 1, vector: {image: [1.0]}}, {id: 2}, {id: 3, vector: {x: [2.0]}}, ?"));
    for (const auto& schema : {schema_of({dense(std::nullopt)}, {}), schema_of({dense("a"), dense("b")}, {})}) {
        core::Upsert unchanged = must_parse<StatementKind::Upsert>(text);
        apply_single_vector_name(unchanged, schema);
        EXPECT_EQ(unchanged, must_parse<StatementKind::Upsert>(text));
    }
}

TEST(CollectTreeLeaves, FlattensInMemberOrderHybridCarriesTheDenseModel) {
    core::Upsert upsert = must_parse<StatementKind::Upsert>(
        "UPSERT INTO d VALUES {id: 1} USING DENSE MODEL 'a' INTO v, IMAGE INTO i, HYBRID DENSE MODEL 'dm' INTO dv "
        "SPARSE MODEL 'sm' INTO sv, SPARSE ON f, MULTIVECTOR INTO c");
    ASSERT_TRUE(upsert.embedding);
    const std::vector<TargetLeaf> expected = {
        {"a", "v", std::nullopt, true, false},
        {"dm", "dv", "sv", true, true},
        {std::nullopt, std::nullopt, std::nullopt, false, true},
    };
    EXPECT_EQ(collect_tree_leaves(*upsert.embedding), expected);
}

TEST(UnknownVectorError, NamesTheVectorAndTheAvailableOnes) {
    auto error = unknown_vector_error("docs", "", {"a", ""});
    EXPECT_EQ(error.code, "ZORV-UNKNOWN-VECTOR");
    EXPECT_EQ(error.kind, core::ErrorKind::Execution);
    EXPECT_EQ(error.message, "Collection 'docs' has no vector named '<default>'. Available vectors: a, <default>");
    EXPECT_EQ(unknown_vector_error("docs", "x", {}).message,
              "Collection 'docs' has no vector named 'x'. Available vectors: ");
}

}  // namespace
}  // namespace zorv::embed
