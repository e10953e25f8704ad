#include "embed/http_embedder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "net/loopback_server.h"
#include "net/run_awaitable.h"

namespace zorv::embed {
namespace {

using namespace std::chrono_literals;
using test_support::CannedReply;
using test_support::LoopbackServer;
using test_support::RecordedRequest;

template <class T>
core::Result<T> run(boost::asio::awaitable<core::Result<T>> work) {
    auto out = test_support::run_awaitable(std::move(work));
    if (!out) return std::unexpected(core::ZorvError("TEST", "did not finish", core::ErrorKind::Execution));
    return std::move(*out);
}

std::shared_ptr<HttpEmbedder> must_build(const HttpEmbedderConfig& config, const net::HttpClientOptions& http = {}) {
    auto built = build_http_embedder(config, http);
    EXPECT_TRUE(built) << (built ? "" : built.error().message);
    return built ? *built : nullptr;
}

HttpEmbedderConfig base_config(const std::string& endpoint) {
    HttpEmbedderConfig config;
    config.endpoint = endpoint;
    config.model = "mini";
    config.api_key = "k";
    config.dimension = 2;
    return config;
}

// Answers every embedding request with one vector of `width` per input, 0.5 then 0.25, 0, ...
CannedReply vectors_for(const RecordedRequest& request, std::size_t width) {
    // The test inputs hold no quotes: two quote marks per input after "input":[.
    const std::string_view rest = std::string_view(request.body).substr(request.body.find("\"input\":[") + 9);
    const auto inputs = static_cast<std::size_t>(std::count(rest.begin(), rest.end(), '"') / 2);
    std::string body = R"({"data":[)";
    for (std::size_t i = 0; i < inputs; ++i) {
        body += (i ? "," : "") + std::string(R"({"index":)") + std::to_string(i) + R"(,"embedding":[)";
        for (std::size_t d = 0; d < width; ++d) body += d == 0 ? "0.5" : d == 1 ? ",0.25" : ",0";
        body += "]}";
    }
    return CannedReply{200, body + "]}"};
}

void expect_error(const core::Result<auto>& out, const std::string& code, const std::string& message) {
    ASSERT_FALSE(out);
    EXPECT_EQ(out.error().code, code);
    EXPECT_EQ(out.error().message, message);
    EXPECT_FALSE(out.error().span);
    EXPECT_TRUE(out.error().fields.empty());
}

TEST(HttpEmbedder, DenseBatchSendsTheRequestAndReusesOneConnection) {
    LoopbackServer server([](const RecordedRequest& r) { return vectors_for(r, 2); });
    auto embedder = must_build(base_config(server.url("/embed")));
    auto out = run(embedder->embed_dense_batch({"red shoes"}, "default"));
    ASSERT_TRUE(out) << out.error().message;
    EXPECT_EQ(*out, (std::vector<DenseVector>{{0.5F, 0.25F}}));
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1U);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].target, "/embed");
    EXPECT_EQ(requests[0].body, R"({"model":"mini","input":["red shoes"]})");
    EXPECT_EQ(requests[0].headers["content-type"], "application/json");
    EXPECT_EQ(requests[0].headers["authorization"], "Bearer k");
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(run(embedder->embed_dense("x", "")));
    EXPECT_EQ(server.requests().size(), 5U);
    EXPECT_EQ(server.connections(), 1);
}

// Which endpoint, model and key each kind of call uses under a configuration.
TEST(HttpEmbedder, ServiceModelAndKeyFallBacks) {
    LoopbackServer server([](const RecordedRequest& r) {
        if (r.target == "/rerank") return CannedReply{200, R"({"results":[{"index":0,"score":1}]})"};
        if (r.target == "/multi") return CannedReply{200, R"({"data":[{"index":0,"embedding":[[1,2]]}]})"};
        return vectors_for(r, r.target == "/image3" ? 3 : 2);
    });
    auto last = [&] { return server.requests().back(); };

    HttpEmbedderConfig config = base_config(server.url("/embed"));
    config.multi_endpoint = server.url("/multi");
    config.image_dimension = 2;
    config.image_api_key = "";
    config.rerank_endpoint = server.url("/rerank");
    config.rerank_api_key = "rk";
    auto embedder = must_build(config);

    ASSERT_TRUE(run(embedder->embed_dense_batch({"a"}, "DEFAULT")));
    EXPECT_EQ(last().body, R"({"model":"DEFAULT","input":["a"]})");
    ASSERT_TRUE(run(embedder->embed_multi("a", "")));
    EXPECT_EQ(last().target, "/multi");
    EXPECT_EQ(last().body, R"({"model":"mini","input":["a"]})");
    EXPECT_EQ(last().headers["authorization"], "Bearer k");
    ASSERT_TRUE(run(embedder->embed_image("img.png", "clip")));
    EXPECT_EQ(last().target, "/embed");
    EXPECT_EQ(last().body, R"({"model":"clip","input":["img.png"]})");
    EXPECT_FALSE(last().headers.contains("authorization"));
    auto scores = run(embedder->rerank_pairs("q", {"d"}, "default"));
    ASSERT_TRUE(scores);
    EXPECT_EQ(*scores, std::vector<float>{1.0F});
    EXPECT_EQ(last().body, R"({"documents":["d"],"model":"rerank","query":"q"})");
    EXPECT_EQ(last().headers["authorization"], "Bearer rk");

    config = base_config(server.url("/embed"));
    config.api_key = "";
    config.image_endpoint = server.url("/image3");
    config.image_model = "vit";
    config.image_dimension = 3;
    config.multi_model = "colbert";
    config.multi_dimension = 2;
    embedder = must_build(config);
    auto image = run(embedder->embed_image_batch({"a", "b"}, ""));
    ASSERT_TRUE(image);
    EXPECT_EQ(last().body, R"({"model":"vit","input":["a","b"]})");
    EXPECT_FALSE(last().headers.contains("authorization"));
    auto multi = run(embedder->embed_multi_batch({"a"}, ""));
    expect_error(multi, "ZORV-EMBEDDING-MULTI",
                 "multi embedding endpoint returned a flat dense vector (len=2) for index 0; expected nested array "
                 "[[f32,…],…] (token-level multivector). Point MODEL at a ColBERT multi service or set "
                 "multi_embedding_endpoint.");
    EXPECT_EQ(last().body, R"({"model":"colbert","input":["a"]})");
    // The image dimension falls back to the dense one: 3 numbers against dimension 2.
    config.image_dimension = 0;
    embedder = must_build(config);
    expect_error(run(embedder->embed_image("a", "")), "ZORV-EMBEDDING-IMAGE",
                 "image embedding dimension mismatch for index 0: got 3 want 2");
}

TEST(HttpEmbedder, CallsWithoutAServiceFailOnlyWithInputs) {
    HttpEmbedderConfig config = base_config("http://127.0.0.1:9/embed");
    config.multi_endpoint = "  ";
    config.rerank_model = "cross";
    auto embedder = must_build(config);
    const std::string image_tail =
        "). Configure an image/CLIP vision embedder (image_embedding_model / edge image_model, or "
        "image_embedding_endpoint), pass a precomputed VECTOR [...], or use UPSERT USING IMAGE ON FIELD <path_field>.";
    const std::string multi_tail =
        "). Configure a multi embedder (multi_embedding_endpoint / multi_embedding_model, or edge multi_model for "
        "offline BGE-M3), pass precomputed VECTOR [[...], ...], or use UPSERT with explicit multivector bags.";
    expect_error(run(embedder->embed_multi_batch({"a"}, "")), "ZORV-EMBEDDING-MULTI",
                 "multi-vector embedding is not available (no model specified" + multi_tail);
    expect_error(run(embedder->embed_multi("a", "Default")), "ZORV-EMBEDDING-MULTI",
                 "multi-vector embedding is not available (no model specified" + multi_tail);
    expect_error(run(embedder->embed_image("a", "clip")), "ZORV-EMBEDDING-IMAGE",
                 "image embedding is not available (model='clip'" + image_tail);
    auto rerank = run(embedder->rerank_pairs("q", {"d"}, "bge"));
    ASSERT_FALSE(rerank);
    EXPECT_EQ(rerank.error().code, "ZORV-RERANK-CROSS");
    EXPECT_TRUE(rerank.error().message.starts_with("cross-encoder pair scoring is not available (model='bge')."));
    EXPECT_EQ(run(embedder->embed_multi_batch({}, "")), std::vector<MultiVector>{});
    EXPECT_EQ(run(embedder->embed_image_batch({}, "")), std::vector<DenseVector>{});
    EXPECT_EQ(run(embedder->rerank_pairs("q", {}, "")), std::vector<float>{});
    EXPECT_EQ(run(embedder->embed_dense_batch({}, "")), std::vector<DenseVector>{});
}

TEST(HttpEmbedder, SparseModelsAreLocalBm25Only) {
    auto embedder = must_build(base_config("http://127.0.0.1:9/embed"));
    for (const char* model : {"", "default", "Qdrant/BM25"}) {
        auto query = run(embedder->embed_sparse_query(model, "red shoes"));
        ASSERT_TRUE(query) << model;
        EXPECT_EQ(query->indices.size(), 2U);
        EXPECT_TRUE(run(embedder->embed_sparse_document_batch(model, {"red", "shoes"})));
    }
    for (const char* model : {"splade", "bm25"}) {
        const std::string message = std::string("sparse model '") + model +
                                    "' is not available on this embedder. Omit the MODEL clause (or use MODEL "
                                    "'default' / 'qdrant/bm25') for local wire-compatible BM25. To use model-aware "
                                    "sparse embedding (SPLADE / BGE-M3), configure a sparse embedding backend.";
        expect_error(run(embedder->embed_sparse_query(model, "x")), "ZORV-EMBEDDING-SPARSE", message);
        expect_error(run(embedder->embed_sparse_query_batch(model, {})), "ZORV-EMBEDDING-SPARSE", message);
    }
}

TEST(HttpEmbedder, TransportAndStatusFailures) {
    test_support::ClosedPort closed;
    test_support::FullBacklogListener full;
    LoopbackServer slow(CannedReply{200, R"({"data":[]})", 3s});
    LoopbackServer refuses(CannedReply{401, "bad key"});
    const net::HttpClientOptions short_timeouts{.connect_timeout = 300ms, .total_timeout = 500ms};
    for (const std::string& endpoint : {closed.url(), full.url()}) {
        auto out = run(must_build(base_config(endpoint), short_timeouts)->embed_dense("a", ""));
        ASSERT_FALSE(out);
        EXPECT_EQ(out.error().code, "ZORV-EMBEDDING-UNAVAILABLE");
        EXPECT_TRUE(out.error().message.starts_with("failed to connect to embedding endpoint at '" + endpoint + "': "));
        EXPECT_EQ(std::count(out.error().message.begin(), out.error().message.end(), '\n'), 3);
    }
    auto timed_out = run(must_build(base_config(slow.url()), short_timeouts)->embed_dense("a", ""));
    ASSERT_FALSE(timed_out);
    EXPECT_EQ(timed_out.error().code, "ZORV-EMBEDDING");
    EXPECT_TRUE(timed_out.error().message.starts_with("failed to call embedding endpoint: "));
    expect_error(run(must_build(base_config(refuses.url()))->embed_dense("a", "")), "ZORV-EMBEDDING",
                 "embedding endpoint returned 401 Unauthorized: bad key");
}

TEST(HttpEmbedder, ImageFailuresKeepTheGenericCodeForTheRoundTrip) {
    LoopbackServer failing(CannedReply{500, "boom"});
    LoopbackServer two(CannedReply{200, R"({"data":[{"index":0,"embedding":[1,2]},{"index":1,"embedding":[1,2]}]})"});
    HttpEmbedderConfig config = base_config(failing.url());
    config.image_model = "clip";
    expect_error(run(must_build(config)->embed_image("a.png", "")), "ZORV-EMBEDDING",
                 "embedding endpoint returned 500 Internal Server Error: boom");
    config.endpoint = two.url();
    expect_error(run(must_build(config)->embed_image("a.png", "")), "ZORV-EMBEDDING-IMAGE",
                 "image embedding response returned 2 vector(s) for 1 source(s)");
}

TEST(HttpEmbedder, KeyWithLineFeedIsRefusedBeforeAnythingIsSent) {
    LoopbackServer server(CannedReply{200, "{}"});
    HttpEmbedderConfig config = base_config(server.url());
    config.api_key = "k\nX-Injected: 1";
    config.rerank_endpoint = server.url("/rerank");
    auto embedder = must_build(config);
    auto dense = run(embedder->embed_dense("a", ""));
    ASSERT_FALSE(dense);
    EXPECT_EQ(dense.error().code, "ZORV-EMBEDDING");
    EXPECT_TRUE(dense.error().message.starts_with("failed to call embedding endpoint: "));
    auto rerank = run(embedder->rerank_pairs("q", {"d"}, ""));
    ASSERT_FALSE(rerank);
    EXPECT_EQ(rerank.error().code, "ZORV-RERANK-CROSS");
    EXPECT_TRUE(rerank.error().message.starts_with("failed to call rerank endpoint: "));
    EXPECT_EQ(server.connections(), 0);
}

TEST(HttpEmbedder, BuildChecksSettingsInOrder) {
    struct Case {
        std::string endpoint;
        std::string model;
        std::uint64_t dimension;
        std::optional<double> bm25_b;
        std::string code;
        std::string message;
    };
    for (const Case& c : {
             Case{"   ", "", 0, 1.5, "ZORV-EMBEDDING", "embedding endpoint is required"},
             Case{"http://h/e", "\u3000", 0, 1.5, "ZORV-EMBEDDING", "embedding model is required"},
             Case{"http://h/e", "m", 0, 1.5, "ZORV-EMBEDDING", "embedding dimension must be positive"},
             Case{"http://h/e", "m", 3, 1.5, "ZORV-VALIDATION-CONFIG", "bm25 b must be a finite number in [0, 1]"},
         }) {
        HttpEmbedderConfig config;
        config.endpoint = c.endpoint;
        config.model = c.model;
        config.dimension = c.dimension;
        config.bm25.b = c.bm25_b;
        auto built = build_http_embedder(config);
        ASSERT_FALSE(built) << c.message;
        EXPECT_EQ(built.error().code, c.code);
        EXPECT_EQ(built.error().message, c.message);
    }
}

TEST(HttpEmbedder, AnswersAtOnce) {
    HttpEmbedderConfig config = base_config(" http://h/e ");
    config.bm25.k1 = 2.0;
    auto embedder = must_build(config);
    EXPECT_EQ(embedder->dense_service().endpoint, " http://h/e ");
    EXPECT_EQ(embedder->dimension(), 2U);
    EXPECT_EQ(embedder->multi_dimension(), std::nullopt);
    EXPECT_TRUE(embedder->supports_model("anything"));
    EXPECT_EQ(embedder->bm25_params(), (Bm25Params{2.0, 0.75, 256.0}));
    EXPECT_EQ(embedder->bm25_config().params.k1, 2.0);
    auto probe = temporary_http_embedder("http://h/e", "", "m", 7);
    ASSERT_TRUE(probe);
    EXPECT_EQ((*probe)->dimension(), 7U);
    EXPECT_FALSE((*probe)->multi_service() || (*probe)->image_service() || (*probe)->rerank_service());
}

}  // namespace
}  // namespace zorv::embed
