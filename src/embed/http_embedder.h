// The Embedder backed by HTTP services: BM25 sparse vectors are encoded here, dense, multi-vector
// and image embeddings and rerank scores come from the configured endpoints.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/error.h"
#include "embed/bm25_config.h"
#include "embed/bm25_encoder.h"
#include "embed/embedder.h"
#include "net/http_client.h"

namespace zorv::embed {

// The settings of pyzorv.HttpEmbedder, in the order of its constructor; texts as given.
struct HttpEmbedderConfig {
    std::string endpoint;
    std::string model;
    std::uint64_t dimension = 0;
    std::string api_key;
    std::optional<std::string> multi_endpoint;
    std::optional<std::string> multi_api_key;
    std::optional<std::string> multi_model;
    std::uint64_t multi_dimension = 0;
    std::optional<std::string> image_endpoint;
    std::optional<std::string> image_api_key;
    std::optional<std::string> image_model;
    std::uint64_t image_dimension = 0;
    std::optional<std::string> rerank_endpoint;
    std::optional<std::string> rerank_api_key;
    std::optional<std::string> rerank_model;
    Bm25Settings bm25;
};

// Where one kind of call goes: endpoint, the model sent when the statement chose none, key.
struct EmbedService {
    std::string endpoint;
    std::string model;
    std::string api_key;
};

class HttpEmbedder;

// Empty or only Unicode white space: such an endpoint or model counts as not given.
bool is_blank(std::string_view text);

// Checks the settings and builds the embedder with its own connection pool. `http` overrides the
// client's timeouts (tests use short ones).
core::Result<std::shared_ptr<HttpEmbedder>> build_http_embedder(const HttpEmbedderConfig& config,
                                                                const net::HttpClientOptions& http = {});
// Endpoint, key, model and dimension only: no multi, image or rerank service, BM25 defaults.
core::Result<std::shared_ptr<HttpEmbedder>> temporary_http_embedder(std::string endpoint, std::string api_key,
                                                                    std::string model, std::uint64_t dimension);

class HttpEmbedder final : public Embedder {
public:
    struct Parts;
    explicit HttpEmbedder(Parts parts);
    ~HttpEmbedder() override;

    AsyncResult<DenseVector> embed_dense(std::string text, std::string model) const override;
    AsyncResult<SparseVector> embed_sparse_query(std::string model, std::string text) const override;
    AsyncResult<SparseVector> embed_sparse_document(std::string model, std::string text) const override;
    AsyncResult<std::vector<SparseVector>> embed_sparse_document_batch(std::string model,
                                                                       std::vector<std::string> texts) const override;
    AsyncResult<std::vector<SparseVector>> embed_sparse_query_batch(std::string model,
                                                                    std::vector<std::string> texts) const override;
    std::optional<std::uint64_t> dimension() const override;
    Bm25Params bm25_params() const override;
    Bm25Config bm25_config() const override;
    std::optional<std::uint64_t> multi_dimension() const override;
    bool supports_model(std::string_view model) const override;
    AsyncResult<std::vector<DenseVector>> embed_dense_batch(std::vector<std::string> texts,
                                                            std::string model) const override;
    AsyncResult<MultiVector> embed_multi(std::string text, std::string model) const override;
    AsyncResult<std::vector<MultiVector>> embed_multi_batch(std::vector<std::string> texts,
                                                            std::string model) const override;
    AsyncResult<DenseVector> embed_image(std::string image, std::string model) const override;
    AsyncResult<std::vector<DenseVector>> embed_image_batch(std::vector<std::string> images,
                                                            std::string model) const override;
    AsyncResult<std::vector<float>> rerank_pairs(std::string query, std::vector<std::string> documents,
                                                 std::string model) const override;

    // One request to the dense service with its own model; the reply's items come back as received,
    // unchecked (the dimension probe reads the first whatever its shape).
    AsyncResult<std::vector<EmbedItem>> embedding_request(std::vector<std::string> inputs) const;

    // The service of each kind of call; nothing when that kind is not configured.
    EmbedService dense_service() const;
    std::optional<EmbedService> multi_service() const;
    std::optional<EmbedService> image_service() const;
    std::optional<EmbedService> rerank_service() const;

private:
    std::unique_ptr<Parts> parts_;
};

struct HttpEmbedder::Parts {
    HttpEmbedderConfig config;  // optional endpoints and models that were blank are unset here
    Bm25Config bm25;
    Bm25Encoder encoder;
    std::shared_ptr<net::HttpClient> client;
};

}  // namespace zorv::embed
