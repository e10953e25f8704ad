// The dimension of model vectors (embedder, settings, one probing request, fallback) and the check
// of UPSERT row vectors against a collection's sizes.
#include "embed/embedding_dimension.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "embed/fake_embedder.h"
#include "net/loopback_server.h"
#include "net/run_awaitable.h"
#include "test_support.h"

namespace zorv::embed {
namespace {

using test_support::FakeEmbedder;
using zorv::test_support::CannedReply;
using zorv::test_support::LoopbackServer;

core::Result<std::uint64_t> probe(std::shared_ptr<const Embedder> embedder, std::optional<InferenceSettings> settings,
                                  std::optional<std::string> model) {
    auto out = zorv::test_support::run_awaitable(
        probe_embedding_dimension(std::move(embedder), std::move(settings), std::move(model)));
    if (!out) return std::unexpected(core::ZorvError("TEST", "did not finish", core::ErrorKind::Execution));
    return *out;
}

InferenceSettings settings_of(std::string mode, std::uint64_t dimension) {
    InferenceSettings settings;
    settings.inference_mode = std::move(mode);
    settings.embedding_dimension = dimension;
    return settings;
}

constexpr const char* local_error =
    "embedding_dimension must be configured when creating collections with USING MODEL in local inference mode";
constexpr const char* other_mode_error =
    "embedding_dimension must be configured when creating collections with USING MODEL";

struct ProbeCase {
    const char* name;
    std::optional<std::uint64_t> embedder_dimension;  // no embedder when absent
    std::optional<InferenceSettings> settings;
    std::optional<std::string> model;
    std::uint64_t dimension;  // when no message
    const char* message;      // ZORV-EMBEDDING-DIM, or empty
};

void PrintTo(const ProbeCase& c, std::ostream* os) { *os << c.name; }

class ProbeWithoutRequest : public testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeWithoutRequest, AnswersOrRefuses) {
    const ProbeCase& c = GetParam();
    std::shared_ptr<FakeEmbedder> embedder;
    if (c.embedder_dimension) {
        embedder = std::make_shared<FakeEmbedder>();
        embedder->dim = *c.embedder_dimension;
    }
    auto out = probe(embedder, c.settings, c.model);
    if (std::string(c.message).empty()) {
        ASSERT_TRUE(out) << out.error().message;
        EXPECT_EQ(*out, c.dimension);
    } else {
        ASSERT_FALSE(out);
        EXPECT_EQ(out.error().code, "ZORV-EMBEDDING-DIM");
        EXPECT_EQ(out.error().kind, core::ErrorKind::Execution);
        EXPECT_EQ(out.error().message, c.message);
    }
}

InferenceSettings external_without_model() {
    InferenceSettings settings = settings_of("external", 0);
    settings.endpoint = "http://127.0.0.1:1/embed";
    return settings;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProbeWithoutRequest,
    testing::Values(
        ProbeCase{"embedder_first", 16, settings_of("remote", 768), "m", 16, ""},
        ProbeCase{"nothing_at_all", std::nullopt, std::nullopt, std::nullopt, 384, ""},
        ProbeCase{"model_without_settings", std::nullopt, std::nullopt, "m", 0, local_error},
        ProbeCase{"empty_model_without_settings", std::nullopt, std::nullopt, "", 0, local_error},
        ProbeCase{"external_without_model_setting", std::nullopt, external_without_model(), "m", 0, local_error},
        ProbeCase{"upper_case_local_with_blanks", std::nullopt, settings_of(" \u00a0LOCAL\t", 512), "m", 512, ""},
        ProbeCase{"blank_mode_is_local", std::nullopt, settings_of("  ", 0), std::nullopt, 384, ""},
        ProbeCase{"remote_configured", std::nullopt, settings_of("remote", 768), "m", 768, ""},
        ProbeCase{"remote_no_model", std::nullopt, settings_of("remote", 0), std::nullopt, 384, ""},
        ProbeCase{"remote_empty_model", std::nullopt, settings_of("remote", 0), "", 384, ""},
        ProbeCase{"remote_model", std::nullopt, settings_of("remote", 0), "m", 0, other_mode_error}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IsKnownInferenceMode, LocalExternalAndTheirSpellings) {
    EXPECT_TRUE(is_known_inference_mode(std::nullopt));
    EXPECT_TRUE(is_known_inference_mode(settings_of("", 0)));
    EXPECT_TRUE(is_known_inference_mode(settings_of("\u3000External ", 0)));
    EXPECT_FALSE(is_known_inference_mode(settings_of("remote", 0)));
    EXPECT_FALSE(is_known_inference_mode(settings_of("lo cal", 0)));
}

// One item: a multivector of two rows, the first `width` wide, the second 3 wide.
std::string multivector_reply(std::size_t width) {
    std::string row;
    for (std::size_t i = 0; i < width; ++i) row += i == 0 ? "0.5" : ",0.5";
    return R"({"data":[{"index":0,"embedding":[[)" + row + "],[1,2,3]]}]}";
}

struct ServiceCase {
    const char* name;
    std::string reply;
    std::uint64_t dimension;  // when no message
    const char* message;      // ZORV-EMBEDDING, or empty
};

void PrintTo(const ServiceCase& c, std::ostream* os) { *os << c.name; }

class ProbeService : public testing::TestWithParam<ServiceCase> {};

TEST_P(ProbeService, SendsOneRequestAndReadsTheFirstItem) {
    const ServiceCase& c = GetParam();
    LoopbackServer server(CannedReply{200, c.reply});
    InferenceSettings settings = settings_of("local", 0);
    settings.endpoint = server.url("/v1/embed");
    settings.model = "mini";
    settings.api_key = "key";
    auto out = probe(nullptr, settings, "m");
    if (std::string(c.message).empty()) {
        ASSERT_TRUE(out) << out.error().message;
        EXPECT_EQ(*out, c.dimension);
    } else {
        ASSERT_FALSE(out);
        EXPECT_EQ(out.error().code, "ZORV-EMBEDDING");
        EXPECT_EQ(out.error().message, c.message);
    }
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1U);
    EXPECT_EQ(requests[0].target, "/v1/embed");
    EXPECT_EQ(requests[0].body, R"({"model":"mini","input":["probe"]})");
    EXPECT_EQ(requests[0].headers.at("authorization"), "Bearer key");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProbeService,
    testing::Values(ServiceCase{"dense", R"({"data":[{"index":0,"embedding":[0.1,0.2,0.3]}]})", 3, ""},
                    ServiceCase{"multivector_128_wide", multivector_reply(128), 128, ""},
                    ServiceCase{"empty_data", R"({"data":[]})", 0, "embedding response contained no vectors"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- row vectors against the collection -----------------------------------------------------------

protocol::CollectionSchema sized(const std::vector<std::pair<std::optional<std::string>, std::uint64_t>>& vectors) {
    protocol::CollectionSchema schema;
    for (const auto& [name, size] : vectors) {
        protocol::DenseVectorInfo info;
        info.name = name;
        info.size = size;
        schema.schema.vectors.push_back(std::move(info));
    }
    return schema;
}

struct CheckCase {
    const char* name;
    const char* statement;
    protocol::CollectionSchema schema;
    const char* message;  // ZORV-EMBEDDING-DIM, or empty
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

class CheckEmbeddingDimension : public testing::TestWithParam<CheckCase> {};

TEST_P(CheckEmbeddingDimension, ComparesRowVectorsWithTheCollection) {
    const CheckCase& c = GetParam();
    const core::Upsert upsert = core::test_support::must_parse<core::StatementKind::Upsert>(c.statement);
    auto out = check_embedding_dimension(upsert, c.schema);
    if (std::string(c.message).empty()) {
        EXPECT_TRUE(out) << out.error().message;
    } else {
        ASSERT_FALSE(out);
        EXPECT_EQ(out.error().code, "ZORV-EMBEDDING-DIM");
        EXPECT_EQ(out.error().kind, core::ErrorKind::Execution);
        EXPECT_EQ(out.error().message, c.message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckEmbeddingDimension,
    testing::Values(
        CheckCase{"named_dense_mismatch",
                  "UPSERT INTO docs VALUES {id: 1, vector: {b: {indices: [1], values: [1.0]}, a: [1.0, 2.0, 3.0]}}",
                  sized({{"a", 4}, {"b", 2}}),
                  "embedding dimension mismatch for collection 'docs' vector 'a': model produced 3, collection "
                  "expects 4"},
        CheckCase{"dense_of_size_four_answers_of_three",
                  "UPSERT INTO docs VALUES {id: 1, vector: {dense: [1.0, 2.0, 3.0]}}", sized({{"dense", 4}}),
                  "embedding dimension mismatch for collection 'docs' vector 'dense': model produced 3, collection "
                  "expects 4"},
        CheckCase{"unnamed_mismatch", "UPSERT INTO docs VALUES {id: 1, vector: [1.0]}", sized({{std::nullopt, 2}}),
                  "embedding dimension mismatch for collection 'docs' vector '<default>': model produced 1, "
                  "collection expects 2"},
        CheckCase{"unnamed_against_named_only", "UPSERT INTO docs VALUES {id: 1, vector: [1.0]}", sized({{"a", 2}}),
                  ""},
        CheckCase{"multidense_first_row_decides", "UPSERT INTO docs VALUES {id: 1, vector: {m: [[1.0, 2.0], [3.0]]}}",
                  sized({{"m", 2}}), ""},
        CheckCase{"unknown_names_placeholders_and_rows_without_vectors",
                  "UPSERT INTO docs VALUES {id: 1, vector: {z: [1.0]}}, ?, {id: 2}, {id: 3, vector: :v}",
                  sized({{"a", 2}}), ""},
        CheckCase{"first_mismatch_in_row_order",
                  "UPSERT INTO docs VALUES {id: 1, vector: {a: [1.0, 2.0]}}, {id: 2, vector: {b: [1.0]}}, "
                  "{id: 3, vector: {a: [1.0]}}",
                  sized({{"a", 2}, {"b", 3}}),
                  "embedding dimension mismatch for collection 'docs' vector 'b': model produced 1, collection "
                  "expects 3"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zorv::embed
