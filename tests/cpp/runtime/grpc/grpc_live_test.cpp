#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/parser/parser.h"
#include "plan/json_write.h"
#include "plan/planner.h"
#include "runtime/grpc/grpc_backend.h"
#include "runtime/request_id.h"
#include "runtime/rest/live_qdrant.h"
#include "runtime/rest/rest_fixture.h"
#include "runtime/result_json.h"

namespace zorv::runtime::rpc {
namespace {

using rest::test::run;
using test_support::LiveQdrant;

std::optional<std::string> env(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

std::string field(const core::ZorvError& error, std::string_view key) {
    for (const auto& [k, v] : error.fields) {
        if (k == key) return v;
    }
    return "<absent>";
}

plan::PlanOp plan_of(std::string_view statement) {
    auto parsed = core::parse_statement(statement);
    EXPECT_TRUE(parsed.has_value());
    auto op = plan::plan_statement(*parsed);
    EXPECT_TRUE(op.has_value());
    return std::move(*op);
}

plan::JsonObject* object_at(plan::JsonObject& object, std::string_view key) {
    auto at = object.find(key);
    return at != object.end() && at->second.is(plan::JsonValue::Kind::Object) ? &at->second.as_object() : nullptr;
}

// Where the two transports differ by design, named once: REST reports the integer index's lookup
// and range flags and the text index's stop words, phrase matching, stemmer and ASCII folding,
// which the gRPC description does not carry; and the server's default optimizer threads come as
// null over REST but as the setting "auto" over gRPC.
void drop_differences(plan::JsonValue& rest_info, plan::JsonValue& grpc_info) {
    plan::JsonObject* rest_schema = object_at(rest_info.as_object(), "schema");
    plan::JsonObject* grpc_schema = object_at(grpc_info.as_object(), "schema");
    if (rest_schema == nullptr || grpc_schema == nullptr) return;
    auto indexes = rest_schema->find("payload_indexes");
    if (indexes != rest_schema->end() && indexes->second.is(plan::JsonValue::Kind::Array)) {
        for (auto& entry : indexes->second.as_array()) {
            plan::JsonObject* params = object_at(entry.as_object(), "params");
            if (params == nullptr) continue;
            for (const char* key : {"lookup", "range", "stopwords", "phrase_matching", "stemmer", "ascii_folding"}) {
                params->erase(key);
            }
        }
    }
    plan::JsonObject* rest_optimizers = object_at(*rest_schema, "optimizers");
    plan::JsonObject* grpc_optimizers = object_at(*grpc_schema, "optimizers");
    if (rest_optimizers != nullptr && grpc_optimizers != nullptr &&
        rest_optimizers->find("max_optimization_threads") == rest_optimizers->end()) {
        auto threads = grpc_optimizers->find("max_optimization_threads");
        if (threads != grpc_optimizers->end() && threads->second.is(plan::JsonValue::Kind::String) &&
            threads->second.as_string() == "auto") {
            grpc_optimizers->erase("max_optimization_threads");
        }
    }
}

class GrpcLive : public ::testing::Test {
protected:
    void SetUp() override {
        live_ = LiveQdrant::from_env();
        grpc_url_ = env("ZORV_TEST_QDRANT_GRPC_URL");
        if (!live_ || !grpc_url_)
            GTEST_SKIP() << "no Qdrant server: set ZORV_TEST_QDRANT_URL and ZORV_TEST_QDRANT_GRPC_URL";
        auto backend = make_grpc_backend(*grpc_url_, std::nullopt);
        ASSERT_TRUE(backend.has_value()) << backend.error().message;
        grpc_ = std::move(*backend);
        rest_ = live_->make_backend();
    }
    void TearDown() override {
        if (!live_) return;
        for (const auto& name : created_) (void)live_->send("DELETE", "/collections/" + name);
    }

    void create(const std::string& name, std::string_view statement) {
        created_.push_back(name);
        (void)live_->send("DELETE", "/collections/" + name);
        auto reply = live_->execute(statement);
        ASSERT_TRUE(reply.has_value()) << statement << ": " << reply.error().message;
    }
    void create_raw(const std::string& name, std::string body) {
        created_.push_back(name);
        (void)live_->send("DELETE", "/collections/" + name);
        auto reply = live_->send("PUT", "/collections/" + name, std::move(body));
        ASSERT_TRUE(reply.has_value()) << reply.error().message;
    }
    void statement(std::string_view text) {
        auto reply = live_->execute(text);
        ASSERT_TRUE(reply.has_value()) << text << ": " << reply.error().message;
    }

    std::optional<LiveQdrant> live_;
    std::optional<std::string> grpc_url_;
    std::unique_ptr<Backend> grpc_;
    std::unique_ptr<Backend> rest_;
    std::vector<std::string> created_;
};

TEST_F(GrpcLive, ShowCollectionEqualsRest) {
    create_raw("zorv_grpc_plain", R"({"vectors":{"size":4,"distance":"Dot","on_disk":true,"datatype":"float16"}})");
    create("zorv_grpc_full",
           "CREATE COLLECTION zorv_grpc_full (dense VECTOR(8, EUCLID) WITH HNSW (m = 32, ef_construct = 200), "
           "colbert VECTOR(4, DOT) WITH MULTIVECTOR (comparator = 'max_sim'), "
           "keywords SPARSE WITH SPARSE (modifier = 'idf')) "
           "WITH HNSW (ef_construct = 128, full_scan_threshold = 10000, on_disk = false) "
           "WITH QUANTIZATION (type = 'scalar', quantile = 0.99, always_ram = true) "
           "WITH OPTIMIZERS (deleted_threshold = 0.2, vacuum_min_vector_number = 1000, default_segment_number = 4, "
           "indexing_threshold = 0, flush_interval_sec = 5, max_optimization_threads = 'auto') "
           "WITH PARAMS (shard_number = 2, on_disk_payload = true)");
    create("zorv_grpc_product",
           "CREATE COLLECTION zorv_grpc_product (v VECTOR(16, COSINE)) "
           "WITH QUANTIZATION (type = 'product', compression = 'x16') WITH OPTIMIZERS (max_optimization_threads = 4)");
    create("zorv_grpc_binary",
           "CREATE COLLECTION zorv_grpc_binary (v VECTOR(16, MANHATTAN)) "
           "WITH QUANTIZATION (type = 'binary', encoding = 'two_bits', query_encoding = 'scalar8bits', always_ram = "
           "true)");
    create_raw(
        "zorv_grpc_pervector",
        R"({"vectors":{"a":{"size":4,"distance":"Cosine","quantization_config":{"product":{"compression":"x32"}},)"
        R"("hnsw_config":{"m":8,"payload_m":4}},"b":{"size":2,"distance":"Euclid","quantization_config":)"
        R"({"scalar":{"type":"int8","quantile":0.5}}}},"sparse_vectors":{"s":{"index":{"full_scan_threshold":)"
        R"(100,"on_disk":true,"datatype":"uint8"}}}})");
    create_raw("zorv_grpc_tiers",
               R"({"vectors":{"size":8,"distance":"Cosine","memory":"cached","hnsw_config":{"memory":"pinned"}},)"
               R"("quantization_config":{"turbo":{"bits":"bits2","memory":"pinned"}},"payload":{"memory":"cached"}})");
    for (const char* index :
         {"CREATE INDEX ON COLLECTION zorv_grpc_full FOR tenant_id TYPE keyword WITH (is_tenant = true) WAIT true",
          "CREATE INDEX ON COLLECTION zorv_grpc_full FOR year TYPE integer "
          "WITH (lookup = true, range = true, is_principal = true) WAIT true",
          "CREATE INDEX ON COLLECTION zorv_grpc_full FOR price TYPE float WAIT true",
          "CREATE INDEX ON COLLECTION zorv_grpc_full FOR place TYPE geo WAIT true",
          "CREATE INDEX ON COLLECTION zorv_grpc_full FOR body TYPE text "
          "WITH (tokenizer = 'word', lowercase = true, min_token_len = 2, max_token_len = 20) WAIT true",
          "CREATE INDEX ON COLLECTION zorv_grpc_full FOR flag TYPE bool WAIT true",
          "CREATE INDEX ON COLLECTION zorv_grpc_full FOR at TYPE datetime WAIT true",
          "CREATE INDEX ON COLLECTION zorv_grpc_full FOR ref TYPE uuid WAIT true"}) {
        statement(index);
    }

    for (const auto& name : created_) {
        SCOPED_TRACE(name);
        auto over_rest = run(rest_->execute(plan_of("SHOW COLLECTION " + name)));
        auto over_grpc = run(grpc_->execute(plan_of("SHOW COLLECTION " + name)));
        ASSERT_TRUE(over_rest.has_value()) << over_rest.error().message;
        ASSERT_TRUE(over_grpc.has_value()) << over_grpc.error().message;
        ASSERT_TRUE(over_grpc->data && over_grpc->data->is(protocol::ExecData::Kind::Collection));
        auto rest_json =
            collection_info_to_value(std::get<protocol::ExecData::Collection>(over_rest->data->value).schema);
        auto grpc_json =
            collection_info_to_value(std::get<protocol::ExecData::Collection>(over_grpc->data->value).schema);
        drop_differences(rest_json, grpc_json);
        EXPECT_EQ(plan::json_text(grpc_json), plan::json_text(rest_json));
        // The schema cache reads the same record through collection_info.
        auto cached = run(grpc_->collection_info(name));
        ASSERT_TRUE(cached.has_value()) << cached.error().message;
        EXPECT_EQ(*cached, std::get<protocol::ExecData::Collection>(over_grpc->data->value).schema);
    }

    auto listed_rest = run(rest_->list_collections());
    auto listed_grpc = run(grpc_->list_collections());
    ASSERT_TRUE(listed_rest && listed_grpc);
    auto sorted = [](std::vector<std::string> names) {
        std::ranges::sort(names);
        return names;
    };
    EXPECT_EQ(sorted(*listed_grpc), sorted(*listed_rest));
    auto shown = run(grpc_->execute(plan_of("SHOW COLLECTIONS")));
    ASSERT_TRUE(shown.has_value()) << shown.error().message;
    EXPECT_EQ(sorted(std::get<protocol::ExecData::Collections>(shown->data->value).names), sorted(*listed_rest));
    EXPECT_EQ(run(grpc_->collection_exists("zorv_grpc_plain")), true);
}

TEST_F(GrpcLive, MissingCollectionIsNotFoundWithItsRequestId) {
    auto info = run(grpc_->collection_info("zorv_grpc_missing"));
    ASSERT_FALSE(info.has_value());
    const core::ZorvError& error = info.error();
    EXPECT_EQ(error.code, "ZORV-BACKEND-COLLECTION-NOT-FOUND");
    EXPECT_EQ(error.kind, core::ErrorKind::Backend);
    const std::string id = field(error, "request_id");
    ASSERT_TRUE(id.starts_with("zorv-")) << id;
    EXPECT_TRUE(error.message.starts_with("collection_info: code: 'Some requested entity was not found', message: \""))
        << error.message;
    EXPECT_TRUE(error.message.ends_with("\" (request id: " + id + ")")) << error.message;
    EXPECT_EQ(error.fields, (std::vector<std::pair<std::string, std::string>>{{"grpc_code", "5"},
                                                                              {"operation", "collection_info"},
                                                                              {"request_id", id}}));
    EXPECT_EQ(run(grpc_->collection_exists("zorv_grpc_missing")), false);
}

TEST_F(GrpcLive, WrongKeyIsAuthWithTheCallsId) {
    auto url = env("ZORV_TEST_QDRANT_AUTH_GRPC_URL");
    if (!url) GTEST_SKIP() << "no Qdrant server with an api key: set ZORV_TEST_QDRANT_AUTH_GRPC_URL";
    auto wrong = make_grpc_backend(*url, std::string("not-the-key"));
    ASSERT_TRUE(wrong.has_value());
    auto listed = run((*wrong)->list_collections());
    ASSERT_FALSE(listed.has_value());
    EXPECT_EQ(listed.error().code, "ZORV-BACKEND-AUTH");
    EXPECT_EQ(field(listed.error(), "grpc_code"), "16");
    EXPECT_EQ(field(listed.error(), "operation"), "list_collections");
    EXPECT_TRUE(field(listed.error(), "request_id").starts_with("zorv-"));
    auto right = make_grpc_backend(*url, std::string("secret"));
    ASSERT_TRUE(right.has_value());
    EXPECT_TRUE(run((*right)->list_collections()).has_value());
}

// Other bytes abort the gRPC core: refused before any call, so no id is drawn.
TEST_F(GrpcLive, BadMetadataIsRefusedUnsent) {
    struct Case {
        std::optional<std::string> key;
        std::optional<std::string> affinity;
        std::string_view what;
    };
    const std::vector<Case> cases = {
        {"a\nb", std::nullopt, "api key"}, {"a\tb", std::nullopt, "api key"}, {"\xC3\xA9", std::nullopt, "api key"},
        {"ok", "x\x7F", "route affinity"}, {"a\nb", "x\x7F", "api key"},
    };
    for (const Case& c : cases) {
        auto backend = make_grpc_backend(*grpc_url_, c.key, c.affinity);
        ASSERT_TRUE(backend.has_value());
        const std::uint64_t before = REQUEST_ID_COUNTER.load();
        auto info = run((*backend)->collection_info("anything"));
        ASSERT_FALSE(info.has_value());
        EXPECT_EQ(REQUEST_ID_COUNTER.load(), before);
        EXPECT_EQ(info.error().code, "ZORV-TRANSPORT-REQUEST");
        EXPECT_EQ(info.error().kind, core::ErrorKind::Transport);
        EXPECT_EQ(info.error().message, "collection_info: invalid " + std::string(c.what) +
                                            ": gRPC metadata values must be printable ASCII (bytes 0x20 to 0x7E)");
        EXPECT_EQ(field(info.error(), "operation"), "collection_info");
        EXPECT_EQ(field(info.error(), "request_id"), "<absent>");
    }
}

// TLS against a plaintext port never falls back to plaintext.
TEST_F(GrpcLive, HttpsToPlaintextPortFails) {
    std::string url = *grpc_url_;
    url.replace(0, url.find("://"), "https");
    auto backend = make_grpc_backend(url, std::nullopt);
    ASSERT_TRUE(backend.has_value());
    auto listed = run((*backend)->list_collections());
    ASSERT_FALSE(listed.has_value());
    EXPECT_EQ(field(listed.error(), "grpc_code"), "14");
}

}  // namespace
}  // namespace zorv::runtime::rpc
