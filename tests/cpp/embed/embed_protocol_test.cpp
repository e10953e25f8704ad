#include "embed/embed_protocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "core/error.h"

namespace zorv::embed {
namespace {

TEST(EmbedProtocol, RequestBodiesAreCompactWithKeysInWireOrder) {
    EXPECT_EQ(embedding_request_body("mini", {"red shoes"}), R"({"model":"mini","input":["red shoes"]})");
    EXPECT_EQ(embedding_request_body("m", {"a\"b\\c\n\x01", "é"}),
              "{\"model\":\"m\",\"input\":[\"a\\\"b\\\\c\\n\\u0001\",\"é\"]}");
    EXPECT_EQ(rerank_request_body("rr", "q", {"d1", "d2"}), R"({"documents":["d1","d2"],"model":"rr","query":"q"})");
}

// A reply body for the dense call, and the vectors or the error it gives.
struct DenseCase {
    std::string name;
    std::string body;
    std::size_t inputs;
    std::uint64_t dimension;
    std::vector<DenseVector> vectors;  // when no error
    std::string code;
    std::string message;
};

void PrintTo(const DenseCase& c, std::ostream* os) { *os << c.name; }

core::Result<std::vector<DenseVector>> dense_from(EmbedCallKind kind, const std::string& body, std::size_t inputs,
                                                  std::uint64_t dimension) {
    auto items = decode_embed_response(body);
    if (!items) {
        return std::unexpected(core::ZorvError("ZORV-EMBEDDING",
                                               "failed to decode embedding response: " + items.error(),
                                               core::ErrorKind::Execution));
    }
    return dense_results(kind, std::move(*items), inputs, dimension);
}

class DenseReplies : public ::testing::TestWithParam<DenseCase> {};

TEST_P(DenseReplies, GiveOneVectorPerInputOrTheExactError) {
    const DenseCase& c = GetParam();
    auto out = dense_from(EmbedCallKind::Dense, c.body, c.inputs, c.dimension);
    if (c.code.empty()) {
        ASSERT_TRUE(out) << out.error().message;
        EXPECT_EQ(*out, c.vectors);
        return;
    }
    ASSERT_FALSE(out);
    EXPECT_EQ(out.error().code, c.code);
    EXPECT_EQ(out.error().kind, core::ErrorKind::Execution);
    if (c.message.back() == '*') {
        EXPECT_TRUE(out.error().message.starts_with(c.message.substr(0, c.message.size() - 1))) << out.error().message;
    } else {
        EXPECT_EQ(out.error().message, c.message);
    }
}

const std::string decode = "failed to decode embedding response: ";

INSTANTIATE_TEST_SUITE_P(
    Table, DenseReplies,
    ::testing::Values(
        DenseCase{"reply_order_is_not_input_order",
                  R"({"data":[{"index":1,"embedding":[0.5,0.5]},{"index":0,"embedding":[1,0]}]})",
                  2,
                  2,
                  {{1, 0}, {0.5, 0.5}},
                  "",
                  ""},
        DenseCase{"array_forms", R"([[[0,[0.25,-2]]]])", 1, 2, {{0.25F, -2}}, "", ""},
        DenseCase{"extra_members_ignored",
                  R"({"data":[{"index":0,"embedding":[1],"object":"e"}],"usage":{"n":1}})",
                  1,
                  1,
                  {{1}},
                  "",
                  ""},
        DenseCase{"white_space_after_value", "{\"data\":[]}  \n", 0, 2, {}, "", ""},
        DenseCase{"no_data", R"({"vectors":[]})", 1, 2, {}, "ZORV-EMBEDDING", decode + "missing field `data`"},
        DenseCase{
            "data_twice", R"({"data":[],"data":[]})", 0, 2, {}, "ZORV-EMBEDDING", decode + "duplicate field `data`"},
        DenseCase{"array_of_two", R"([[],[]])", 0, 2, {}, "ZORV-EMBEDDING", decode + "*"},
        DenseCase{"trailing_text", R"({"data":[]} x)", 0, 2, {}, "ZORV-EMBEDDING", decode + "*"},
        DenseCase{"not_json", "oops", 1, 2, {}, "ZORV-EMBEDDING", decode + "*"},
        DenseCase{"negative_index",
                  R"({"data":[{"index":-1,"embedding":[1,2]}]})",
                  1,
                  2,
                  {},
                  "ZORV-EMBEDDING",
                  decode + "data[0].index is not a non-negative integer"},
        DenseCase{"missing_embedding",
                  R"({"data":[{"index":0}]})",
                  1,
                  2,
                  {},
                  "ZORV-EMBEDDING",
                  decode + "missing field `embedding` in data[0]"},
        DenseCase{"index_twice",
                  R"({"data":[{"index":0,"index":0,"embedding":[1,2]}]})",
                  1,
                  2,
                  {},
                  "ZORV-EMBEDDING",
                  decode + "duplicate field `index` in data[0]"},
        DenseCase{"neither_shape",
                  R"({"data":[{"index":0,"embedding":[1,[2]]}]})",
                  1,
                  2,
                  {},
                  "ZORV-EMBEDDING",
                  decode + "data did not match any variant of untagged enum EmbeddingPayload"},
        DenseCase{"string_embedding",
                  R"({"data":[{"index":0,"embedding":"1,2"}]})",
                  1,
                  2,
                  {},
                  "ZORV-EMBEDDING",
                  decode + "data did not match any variant of untagged enum EmbeddingPayload"},
        DenseCase{"beyond_f32",
                  R"({"data":[{"index":0,"embedding":[1e39,0]}]})",
                  1,
                  2,
                  {},
                  "ZORV-EMBEDDING",
                  decode + "number 1e+39 is out of range for a 32-bit float"},
        DenseCase{"too_deep",
                  std::string(200, '[') + std::string(200, ']'),
                  1,
                  2,
                  {},
                  "ZORV-EMBEDDING",
                  decode + "reply nests deeper than 128 levels"},
        DenseCase{"count",
                  R"({"data":[{"index":0,"embedding":[1,2]},{"index":1,"embedding":[1,2]}]})",
                  3,
                  2,
                  {},
                  "ZORV-EMBEDDING",
                  "embedding response returned 2 vector(s) for 3 input(s)"},
        DenseCase{"duplicated_index",
                  R"({"data":[{"index":0,"embedding":[1,2]},{"index":0,"embedding":[1,2]}]})",
                  2,
                  2,
                  {},
                  "ZORV-EMBEDDING",
                  "embedding response duplicated index 0"},
        DenseCase{"index_out_of_range",
                  R"({"data":[{"index":1,"embedding":[1,2]}]})",
                  1,
                  2,
                  {},
                  "ZORV-EMBEDDING",
                  "embedding response index 1 out of range"},
        DenseCase{"multivector",
                  R"({"data":[{"index":0,"embedding":[[0.1,0.2]]}]})",
                  1,
                  2,
                  {},
                  "ZORV-EMBEDDING",
                  "embedding response index 0 returned multivector; expected dense"},
        DenseCase{"dimension",
                  R"({"data":[{"index":0,"embedding":[1,2,3]}]})",
                  1,
                  2,
                  {},
                  "ZORV-EMBEDDING",
                  "embedding dimension mismatch for index 0: got 3 want 2"},
        DenseCase{"empty_vector_is_dense",
                  R"({"data":[{"index":0,"embedding":[]}]})",
                  1,
                  2,
                  {},
                  "ZORV-EMBEDDING",
                  "embedding dimension mismatch for index 0: got 0 want 2"}));

TEST(EmbedProtocol, ImageChecksCarryTheImageCodeAndWording) {
    struct Case {
        std::string body;
        std::string message;
    };
    for (const Case& c : {
             Case{R"({"data":[{"index":0,"embedding":[1]},{"index":1,"embedding":[1]}]})",
                  "image embedding response returned 2 vector(s) for 1 source(s)"},
             Case{R"({"data":[{"index":0,"embedding":[[1]]}]})",
                  "image embedding index 0 returned multivector; expected dense (CLIP vision is single-vector)"},
             Case{R"({"data":[{"index":0,"embedding":[1,2]}]})",
                  "image embedding dimension mismatch for index 0: got 2 want 1"},
             Case{R"({"data":[{"index":4,"embedding":[1]}]})", "image embedding response index 4 out of range"},
         }) {
        auto out = dense_from(EmbedCallKind::Image, c.body, 1, 1);
        ASSERT_FALSE(out) << c.body;
        EXPECT_EQ(out.error().code, "ZORV-EMBEDDING-IMAGE");
        EXPECT_EQ(out.error().message, c.message);
    }
}

TEST(EmbedProtocol, MultiChecks) {
    struct Case {
        std::string body;
        std::uint64_t dimension;
        std::string message;  // empty: accepted
    };
    for (const Case& c : {
             Case{R"({"data":[{"index":0,"embedding":[[1,2],[3]]}]})", 0, ""},
             Case{R"({"data":[{"index":0,"embedding":[[1,2,3,4],[1,2,3]]}]})", 4,
                  "multi embedding dimension mismatch at index 0 row 1: got 3 want 4"},
             Case{R"({"data":[{"index":0,"embedding":[]}]})", 0,
                  "multi embedding endpoint returned a flat dense vector (len=0) for index 0; expected nested array "
                  "[[f32,…],…] (token-level multivector). Point MODEL at a ColBERT multi service or set "
                  "multi_embedding_endpoint."},
             Case{R"({"data":[{"index":0,"embedding":[[]]}]})", 0, ""},
             Case{R"({"data":[]})", 0, "multi embedding response returned 0 result(s) for 1 input(s) (model=colbert)"},
             Case{R"({"data":[{"index":0,"embedding":[[1]]},{"index":0,"embedding":[[1]]}]})", 0,
                  "multi embedding response returned 2 result(s) for 1 input(s) (model=colbert)"},
         }) {
        auto items = decode_embed_response(c.body);
        ASSERT_TRUE(items) << items.error();
        auto out = multi_results(std::move(*items), 1, c.dimension, "colbert");
        if (c.message.empty()) {
            EXPECT_TRUE(out) << c.body;
            continue;
        }
        ASSERT_FALSE(out) << c.body;
        EXPECT_EQ(out.error().code, "ZORV-EMBEDDING-MULTI");
        EXPECT_EQ(out.error().message, c.message);
    }
    auto empty_bag = multi_results(*decode_embed_response(R"([[{"index":0,"embedding":[[1]]},[1,[]]]])"), 2, 0, "m");
    ASSERT_FALSE(empty_bag);
    EXPECT_EQ(empty_bag.error().message,
              "multi embedding endpoint returned a flat dense vector (len=0) for index 1; "
              "expected nested array [[f32,…],…] (token-level multivector). Point MODEL at "
              "a ColBERT multi service or set multi_embedding_endpoint.");
}

TEST(EmbedProtocol, RerankScores) {
    struct Case {
        std::string body;
        std::size_t documents;
        std::vector<float> scores;  // when message is empty
        std::string message;
    };
    for (const Case& c : {
             Case{R"({"data":[{"index":1,"score":2},{"index":0,"relevance_score":0.5}]})", 2, {0.5F, 2.0F}, ""},
             Case{R"({"results":[{"index":0}]})", 1, {0.0F}, ""},
             Case{R"({"results":[{"index":0,"relevance_score":"high","score":3}]})", 1, {0.0F}, ""},
             Case{R"({"results":[{"index":0,"score":1},{"index":0,"score":7}]})", 1, {7.0F}, ""},
             Case{R"({"results":[{"index":0,"score":1}]})", 2, {}, "rerank response did not cover all documents"},
             Case{R"({"results":[{"index":-1,"score":1}]})", 1, {}, "rerank result missing index"},
             Case{R"({"results":[{"score":1}]})", 1, {}, "rerank result missing index"},
             Case{R"({"results":[{"index":2,"score":1}]})", 2, {}, "rerank result index 2 out of range"},
             Case{R"({"results":{},"data":[{"index":0}]})", 1, {}, "rerank response missing results array"},
             Case{R"([{"index":0}])", 1, {}, "rerank response missing results array"},
             Case{R"({})", 1, {}, "rerank response missing results array"},
             Case{"{", 1, {}, "failed to decode rerank response: *"},
         }) {
        auto out = rerank_results(c.body, c.documents);
        if (c.message.empty()) {
            ASSERT_TRUE(out) << c.body << ": " << out.error().message;
            EXPECT_EQ(*out, c.scores) << c.body;
            continue;
        }
        ASSERT_FALSE(out) << c.body;
        EXPECT_EQ(out.error().code, "ZORV-RERANK-CROSS");
        if (c.message.back() == '*') {
            EXPECT_TRUE(out.error().message.starts_with(c.message.substr(0, c.message.size() - 1)));
        } else {
            EXPECT_EQ(out.error().message, c.message) << c.body;
        }
    }
}

TEST(EmbedProtocol, UnavailableMessageHasFourLines) {
    std::string message = unavailable_message("http://h:1/e", "Couldn't connect");
    EXPECT_TRUE(message.starts_with("failed to connect to embedding endpoint at 'http://h:1/e': Couldn't connect\n→ "));
    std::vector<std::string> lines;
    for (std::size_t at = 0, end = 0; end != std::string::npos; at = end + 1) {
        end = message.find('\n', at);
        lines.push_back(message.substr(at, end == std::string::npos ? end : end - at));
    }
    ASSERT_EQ(lines.size(), 4U);
    for (std::size_t i = 1; i < 4; ++i) EXPECT_TRUE(lines[i].starts_with("→ ")) << lines[i];
    EXPECT_NE(lines[1].find("'http://h:1/e'"), std::string::npos);
}

}  // namespace
}  // namespace zorv::embed
