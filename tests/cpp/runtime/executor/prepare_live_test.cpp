// Statement preparation against the live server: vector names, collection completion and
// automatic creation, the checks that refuse a statement, and TEXT queries embedded on the client
// or left to the server.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/executor/embedding_service.h"
#include "runtime/executor/live_executor.h"

namespace zorv::runtime::test {
namespace {

using PrepareLive = LiveExecutorTest;

// `{c}` stands for the test's collection.
std::string with_name(std::string text, const std::string& name) {
    for (std::size_t at = text.find("{c}"); at != std::string::npos; at = text.find("{c}", at + name.size()))
        text.replace(at, 3, name);
    return text;
}

std::vector<std::uint64_t> hit_ids(const protocol::StatementResult& result) {
    std::vector<std::uint64_t> ids;
    if (!result.data || !result.data->is(protocol::ExecData::Kind::Hits)) return ids;
    for (const auto& hit : std::get<protocol::ExecData::Hits>(result.data->value).points) {
        if (const auto* id = std::get_if<std::uint64_t>(&hit.id)) ids.push_back(*id);
    }
    return ids;
}

// "size distance" of a vector in the collection's config, "multi" appended for a multivector;
// "sparse idf" for a sparse vector with the IDF modifier; "" when the collection lacks it.
std::string vector_shape(const rest::JsonDocument& info, const std::string& name) {
    simdjson::dom::element params = info.root()["result"]["config"]["params"];
    simdjson::dom::element vector;
    if (params["vectors"][name].get(vector) == simdjson::SUCCESS) {
        std::uint64_t size = 0;
        std::string_view distance;
        if (vector["size"].get(size) != simdjson::SUCCESS || vector["distance"].get(distance) != simdjson::SUCCESS)
            return "unreadable";
        std::string out = std::to_string(size) + " " + std::string(distance);
        if (vector["multivector_config"].error() == simdjson::SUCCESS) out += " multi";
        return out;
    }
    if (params["sparse_vectors"][name].get(vector) == simdjson::SUCCESS) {
        std::string_view modifier;
        if (vector["modifier"].get(modifier) != simdjson::SUCCESS) modifier = "";
        return "sparse " + std::string(modifier);
    }
    return "";
}

TEST_F(PrepareLive, QueryTakesTheCollectionsOnlyVectorName) {
    const std::string c = collection("only");
    setup("CREATE COLLECTION " + c + " (d VECTOR(2, COSINE))");
    setup("UPSERT INTO " + c + " VALUES {id: 1, vector: {d: [0.1, 0.2]}}");
    auto ex = executor();
    const std::string text = "QUERY [0.1, 0.2] FROM " + c + " LIMIT 1";
    auto prepared = prepare(*ex, text);
    ASSERT_TRUE(prepared) << prepared.error().message;
    EXPECT_EQ(core::format_statement(*prepared), "QUERY [0.1, 0.2] FROM " + c + " USING d AS DENSE LIMIT 1");
    auto result = dispatch(*ex, text);
    ASSERT_TRUE(result) << result.error().message;
    EXPECT_EQ(result->message, "Found 1 hits");
    EXPECT_EQ(hit_ids(*result), std::vector<std::uint64_t>{1});
}

struct CreateCase {
    const char* statement;
    std::vector<std::pair<std::string, std::string>> shapes;  // vector name, vector_shape
};

TEST_F(PrepareLive, CreateCollectionGetsTheVectorsOfItsMode) {
    const std::vector<CreateCase> cases = {
        {"CREATE COLLECTION {c}", {{"dense", "384 Cosine"}}},
        {"CREATE COLLECTION {c} HYBRID RERANK",
         {{"dense", "384 Cosine"}, {"sparse", "sparse idf"}, {"colbert", "96 Cosine multi"}}},
        {"CREATE COLLECTION {c} HYBRID DENSE VECTOR d", {{"d", "384 Cosine"}, {"sparse", "sparse idf"}}},
        // A sparse-only collection stays as written; declared vectors too.
        {"CREATE COLLECTION {c} (s SPARSE)", {{"s", "sparse idf"}, {"dense", ""}}},
        {"CREATE COLLECTION {c} (v VECTOR(3, DOT))", {{"v", "3 Dot"}, {"dense", ""}}},
    };
    auto ex = executor();
    int index = 0;
    for (const CreateCase& c : cases) {
        SCOPED_TRACE(c.statement);
        const std::string name = collection("create" + std::to_string(index++));
        auto result = dispatch(*ex, with_name(c.statement, name));
        ASSERT_TRUE(result) << result.error().message;
        auto described = info(name);
        ASSERT_TRUE(described);
        for (const auto& [vector, shape] : c.shapes) EXPECT_EQ(vector_shape(*described, vector), shape) << vector;
    }
}

struct RefusalCase {
    const char* create_body;  // the collection as the server's API creates it; none when null
    const char* statement;
    bool embedder = false;  // the 384-d service
    const char* code;
    const char* message;
};

// Each refused statement leaves the collection as it was: missing, or without points.
TEST_F(PrepareLive, RefusedStatementsChangeNothing) {
    const EmbeddingService service(384);
    const std::vector<RefusalCase> cases = {
        {R"({"vectors":{"size":2,"distance":"Cosine"}})", "UPSERT INTO {c} VALUES {id: 1, vector: [1.0, 2.0, 3.0]}",
         false, "ZORV-EMBEDDING-DIM",
         "embedding dimension mismatch for collection '{c}' vector '<default>': model produced 3, collection "
         "expects 2"},
        {R"({"vectors":{"a":{"size":2,"distance":"Cosine"},"b":{"size":2,"distance":"Cosine"}}})",
         "ALTER COLLECTION {c} WITH VECTOR (on_disk = true)", false, "ZORV-UNKNOWN-VECTOR",
         "Collection '{c}' has no vector named '<default>'. Available vectors: a, b"},
        {nullptr, "UPSERT INTO {c} VALUES {id: 1, text: 'hello'} USING DENSE INTO a, DENSE INTO b", true,
         "ZORV-EMBEDDING-TOPOLOGY",
         "cannot auto-create collection '{c}': conflicting dense vector names 'a' vs 'b'; create the collection "
         "explicitly"},
        {nullptr, "CREATE COLLECTION {c} USING MODEL 'm' (v VECTOR(3, COSINE))", true, "ZORV-EMBEDDING-DIM",
         "collection vector dimension 3 does not match embedding model 'm' dimension 384"},
        {nullptr, "CREATE COLLECTION {c} USING MODEL 'm'", false, "ZORV-EMBEDDING-DIM",
         "embedding_dimension must be configured when creating collections with USING MODEL in local inference "
         "mode"},
    };
    int index = 0;
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.statement);
        const std::string name = collection("refused" + std::to_string(index++));
        if (c.create_body != nullptr) {
            ASSERT_TRUE(qdrant_->send("PUT", "/collections/" + name, c.create_body));
        }
        auto ex = executor(c.embedder ? service.embedder() : nullptr);
        auto result = dispatch(*ex, with_name(c.statement, name));
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().code, c.code);
        EXPECT_EQ(result.error().message, with_name(c.message, name));
        EXPECT_EQ(recorded(*ex).executed_kinds(), std::vector<plan::PlanOpKind>{});
        if (c.create_body == nullptr) EXPECT_FALSE(info(name));
        else EXPECT_EQ(count(name), 0U);
    }
}

TEST_F(PrepareLive, UpsertOfTextCreatesTheMissingCollection) {
    const EmbeddingService service(384);
    auto ex = executor(service.embedder());
    const std::string n = collection("auto");
    auto result = dispatch(*ex, "UPSERT INTO " + n + " VALUES {id: 1, text: 'hello'}");
    ASSERT_TRUE(result) << result.error().message;
    auto described = info(n);
    ASSERT_TRUE(described);
    EXPECT_EQ(vector_shape(*described, "dense"), "384 Cosine");
    EXPECT_EQ(vector_shape(*described, "sparse"), "sparse idf");
    EXPECT_EQ(count(n), 1U);
    EXPECT_EQ(recorded(*ex).executed_kinds(),
              (std::vector<plan::PlanOpKind>{plan::PlanOpKind::CreateCollection, plan::PlanOpKind::Upsert}));
    recorded(*ex).reset();

    // Text under another key asks for nothing: the server refuses the missing collection.
    const std::string m = collection("noauto");
    auto refused = dispatch(*ex, "UPSERT INTO " + m + " VALUES {id: 1, title: 'hello'}");
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind, core::ErrorKind::Backend);
    EXPECT_FALSE(info(m));
    EXPECT_EQ(recorded(*ex).executed_kinds(), std::vector<plan::PlanOpKind>{plan::PlanOpKind::Upsert});
}

TEST_F(PrepareLive, TextQueriesFindThePointsTheirVectorsSelect) {
    const EmbeddingService service(4);
    auto embedding = executor(service.embedder());
    const std::string c = collection("text");
    setup("CREATE COLLECTION " + c + " (dense VECTOR(4, COSINE), bm25 SPARSE WITH SPARSE (modifier = 'idf'))");
    auto stored = dispatch(*embedding, "UPSERT INTO " + c +
                                           " VALUES {id: 1, text: 'a red apple'}, {id: 2, text: 'the blue sea'}, "
                                           "{id: 3, text: 'grey stones'}");
    ASSERT_TRUE(stored) << stored.error().message;
    ASSERT_EQ(count(c), 3U);

    struct Case {
        const char* statement;
        bool embedder;
        std::uint64_t first;
    };
    const Case cases[] = {
        {"QUERY TEXT 'red' FROM {c} USING dense LIMIT 1", true, 1},
        {"QUERY TEXT 'blue' FROM {c} USING dense LIMIT 1", true, 2},
        {"QUERY TEXT 'stones' FROM {c} USING bm25 LIMIT 1", true, 3},
        // Without an embedder the server's own BM25 reads the text.
        {"QUERY TEXT 'sea' FROM {c} USING bm25 LIMIT 1", false, 2},
    };
    auto plain = executor();
    for (const Case& k : cases) {
        SCOPED_TRACE(k.statement);
        auto result = dispatch(k.embedder ? *embedding : *plain, with_name(k.statement, c));
        ASSERT_TRUE(result) << result.error().message;
        EXPECT_EQ(hit_ids(*result), std::vector<std::uint64_t>{k.first});
    }
}

}  // namespace
}  // namespace zorv::runtime::test
