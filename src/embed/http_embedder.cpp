#include "embed/http_embedder.h"

#include <utility>
#include "embed/message_format.h"

#include "core/diagnostics.h"
#include "core/text.h"

namespace zorv::embed {

using core::Diag;
using core::fail;
using core::Result;

namespace {

// The code point at `at` of UTF-8 text, advancing `at`; malformed bytes read as themselves.
char32_t next_code_point(std::string_view text, std::size_t& at) {
    auto byte = static_cast<unsigned char>(text[at++]);
    int extra = byte >= 0xf0 ? 3 : byte >= 0xe0 ? 2 : byte >= 0xc0 ? 1 : 0;
    char32_t cp = extra == 0 ? byte : byte & (0x3f >> extra);
    for (; extra > 0 && at < text.size(); --extra) cp = (cp << 6) | (static_cast<unsigned char>(text[at++]) & 0x3f);
    return cp;
}

bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0d) || c == 0x20 || c == 0x85 || c == 0xa0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200a) || c == 0x2028 || c == 0x2029 || c == 0x202f || c == 0x205f || c == 0x3000;
}

std::optional<std::string> unless_blank(const std::optional<std::string>& text) {
    if (!text || is_blank(*text)) return std::nullopt;
    return text;
}

// An empty model or exactly "default" means the statement chose none.
std::string model_to_send(std::string model, const std::string& fallback) {
    if (model.empty() || model == "default") return fallback;
    return model;
}

std::string model_note(std::string_view model) {
    if (model.empty() || core::equals_ignore_case(model, "default")) return "no model specified";
    return format_message("model='{}'", model);
}

net::HttpRequest json_post(const std::string& endpoint, const std::string& api_key, std::string body) {
    net::HttpRequest request{.method = "POST", .url = endpoint, .headers = {}, .body = std::move(body)};
    request.headers.emplace_back("Content-Type", "application/json");
    if (!api_key.empty()) request.headers.emplace_back("Authorization", "Bearer " + api_key);
    return request;
}

AsyncResult<std::vector<EmbedItem>> embedding_request(std::shared_ptr<net::HttpClient> client, EmbedService service,
                                                      std::string model, std::vector<std::string> inputs) {
    auto outcome =
        co_await client->send(json_post(service.endpoint, service.api_key, embedding_request_body(model, inputs)));
    if (!outcome) {
        if (outcome.error().kind == net::HttpErrorKind::Connect) {
            co_return fail(Diag::EmbeddingUnavailable, unavailable_message(service.endpoint, outcome.error().message));
        }
        co_return fail(Diag::Embedding, "failed to call embedding endpoint: " + outcome.error().message);
    }
    if (outcome->status < 200 || outcome->status > 299) {
        co_return fail(Diag::Embedding, format_message("embedding endpoint returned {}: {}",
                                                       net::status_text(outcome->status), outcome->body));
    }
    auto items = decode_embed_response(outcome->body);
    if (!items) co_return fail(Diag::Embedding, "failed to decode embedding response: " + items.error());
    co_return std::move(*items);
}

AsyncResult<std::vector<DenseVector>> dense_call(std::shared_ptr<net::HttpClient> client, EmbedCallKind kind,
                                                 EmbedService service, std::uint64_t dimension,
                                                 std::vector<std::string> inputs) {
    if (inputs.empty()) co_return std::vector<DenseVector>{};
    const std::size_t n = inputs.size();
    auto items = co_await embedding_request(std::move(client), service, service.model, std::move(inputs));
    if (!items) co_return std::unexpected(std::move(items.error()));
    co_return dense_results(kind, std::move(*items), n, dimension);
}

AsyncResult<std::vector<MultiVector>> multi_call(std::shared_ptr<net::HttpClient> client, EmbedService service,
                                                 std::uint64_t dimension, std::vector<std::string> inputs) {
    if (inputs.empty()) co_return std::vector<MultiVector>{};
    const std::size_t n = inputs.size();
    auto items = co_await embedding_request(std::move(client), service, service.model, std::move(inputs));
    if (!items) co_return std::unexpected(std::move(items.error()));
    co_return multi_results(std::move(*items), n, dimension, service.model);
}

core::ZorvError image_not_available(std::string_view model) {
    return core::make_error(
        Diag::EmbeddingImage,
        format_message("image embedding is not available ({}). Configure an image/CLIP vision embedder "
                       "(image_embedding_model / edge image_model, or image_embedding_endpoint), pass a precomputed "
                       "VECTOR [...], or use UPSERT USING IMAGE ON FIELD <path_field>.",
                       model_note(model)));
}

core::ZorvError multi_not_available(std::string_view model) {
    return core::make_error(
        Diag::EmbeddingMulti,
        format_message("multi-vector embedding is not available ({}). Configure a multi embedder "
                       "(multi_embedding_endpoint / multi_embedding_model, or edge multi_model for offline BGE-M3), "
                       "pass precomputed VECTOR [[...], ...], or use UPSERT with explicit multivector bags.",
                       model_note(model)));
}

core::ZorvError rerank_not_available(std::string_view model) {
    return core::make_error(
        Diag::RerankCross,
        format_message("cross-encoder pair scoring is not available ({}). Configure a rerank host with "
                       "rerank_endpoint (and rerank_model), or use an offline reranker model.",
                       model_note(model)));
}

template <class Encode>
Result<std::vector<SparseVector>> encode_all(const Bm25Encoder& encoder, std::string_view model,
                                             const std::vector<std::string>& texts, Encode encode) {
    if (!is_builtin_bm25_model(model)) {
        return fail(
            Diag::EmbeddingSparse,
            format_message("sparse model '{}' is not available on this embedder. Omit the MODEL clause (or use "
                           "MODEL 'default' / 'qdrant/bm25') for local wire-compatible BM25. To use model-aware "
                           "sparse embedding (SPLADE / BGE-M3), configure a sparse embedding backend.",
                           model));
    }
    std::vector<SparseVector> out;
    out.reserve(texts.size());
    for (const std::string& text : texts) out.push_back(ZORV_TRY(encode(encoder, text)));
    return out;
}

Result<SparseVector> first_of(Result<std::vector<SparseVector>> all) {
    if (!all) return std::unexpected(std::move(all.error()));
    return std::move(all->front());
}

}  // namespace

bool is_blank(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        if (!is_white_space(next_code_point(text, at))) return false;
    }
    return true;
}

Result<std::shared_ptr<HttpEmbedder>> build_http_embedder(const HttpEmbedderConfig& config,
                                                          const net::HttpClientOptions& http) {
    if (is_blank(config.endpoint)) return fail(Diag::Embedding, "embedding endpoint is required");
    if (is_blank(config.model)) return fail(Diag::Embedding, "embedding model is required");
    if (config.dimension == 0) return fail(Diag::Embedding, "embedding dimension must be positive");
    HttpEmbedder::Parts parts;
    parts.bm25 = ZORV_TRY(build_bm25_config(config.bm25));
    parts.encoder = build_bm25_encoder(parts.bm25);
    auto client = net::HttpClient::create(http);
    if (!client) return fail(Diag::Embedding, "failed to create HTTP client: " + client.error());
    parts.client = std::move(*client);
    parts.config = config;
    for (auto* optional : {&parts.config.multi_endpoint, &parts.config.multi_model, &parts.config.image_endpoint,
                           &parts.config.image_model, &parts.config.rerank_endpoint, &parts.config.rerank_model}) {
        *optional = unless_blank(*optional);
    }
    return std::make_shared<HttpEmbedder>(std::move(parts));
}

Result<std::shared_ptr<HttpEmbedder>> temporary_http_embedder(std::string endpoint, std::string api_key,
                                                              std::string model, std::uint64_t dimension) {
    HttpEmbedderConfig config;
    config.endpoint = std::move(endpoint);
    config.api_key = std::move(api_key);
    config.model = std::move(model);
    config.dimension = dimension;
    return build_http_embedder(config);
}

HttpEmbedder::HttpEmbedder(Parts parts) : parts_(std::make_unique<Parts>(std::move(parts))) {}
HttpEmbedder::~HttpEmbedder() = default;

EmbedService HttpEmbedder::dense_service() const {
    const auto& c = parts_->config;
    return {c.endpoint, c.model, c.api_key};
}

std::optional<EmbedService> HttpEmbedder::multi_service() const {
    const auto& c = parts_->config;
    if (!c.multi_model && !c.multi_endpoint && c.multi_dimension == 0) return std::nullopt;
    return EmbedService{c.multi_endpoint.value_or(c.endpoint), c.multi_model.value_or(c.model),
                        c.multi_api_key.value_or(c.api_key)};
}

std::optional<EmbedService> HttpEmbedder::image_service() const {
    const auto& c = parts_->config;
    if (!c.image_model && !c.image_endpoint && c.image_dimension == 0) return std::nullopt;
    return EmbedService{c.image_endpoint.value_or(c.endpoint), c.image_model.value_or(c.model),
                        c.image_api_key.value_or(c.api_key)};
}

std::optional<EmbedService> HttpEmbedder::rerank_service() const {
    const auto& c = parts_->config;
    if (!c.rerank_endpoint) return std::nullopt;
    return EmbedService{*c.rerank_endpoint, c.rerank_model.value_or("rerank"), c.rerank_api_key.value_or(c.api_key)};
}

AsyncResult<std::vector<EmbedItem>> HttpEmbedder::embedding_request(std::vector<std::string> inputs) const {
    EmbedService service = dense_service();
    std::string model = service.model;
    return embed::embedding_request(parts_->client, std::move(service), std::move(model), std::move(inputs));
}

AsyncResult<DenseVector> HttpEmbedder::embed_dense(std::string text, std::string model) const {
    std::vector<std::string> one;
    one.push_back(std::move(text));
    auto all = co_await embed_dense_batch(std::move(one), std::move(model));
    if (!all) co_return std::unexpected(std::move(all.error()));
    co_return std::move(all->front());
}

AsyncResult<SparseVector> HttpEmbedder::embed_sparse_query(std::string model, std::string text) const {
    co_return first_of(encode_all(parts_->encoder, model, {std::move(text)}, encode_query));
}

AsyncResult<SparseVector> HttpEmbedder::embed_sparse_document(std::string model, std::string text) const {
    co_return first_of(encode_all(parts_->encoder, model, {std::move(text)}, encode_document));
}

AsyncResult<std::vector<SparseVector>> HttpEmbedder::embed_sparse_document_batch(std::string model,
                                                                                 std::vector<std::string> texts) const {
    co_return encode_all(parts_->encoder, model, texts, encode_document);
}

AsyncResult<std::vector<SparseVector>> HttpEmbedder::embed_sparse_query_batch(std::string model,
                                                                              std::vector<std::string> texts) const {
    co_return encode_all(parts_->encoder, model, texts, encode_query);
}

std::optional<std::uint64_t> HttpEmbedder::dimension() const { return parts_->config.dimension; }

Bm25Params HttpEmbedder::bm25_params() const { return parts_->bm25.params; }

Bm25Config HttpEmbedder::bm25_config() const { return parts_->bm25; }

std::optional<std::uint64_t> HttpEmbedder::multi_dimension() const {
    if (parts_->config.multi_dimension == 0) return std::nullopt;
    return parts_->config.multi_dimension;
}

bool HttpEmbedder::supports_model(std::string_view /*model*/) const { return true; }

AsyncResult<std::vector<DenseVector>> HttpEmbedder::embed_dense_batch(std::vector<std::string> texts,
                                                                      std::string model) const {
    EmbedService service = dense_service();
    service.model = model_to_send(std::move(model), service.model);
    return dense_call(parts_->client, EmbedCallKind::Dense, std::move(service), parts_->config.dimension,
                      std::move(texts));
}

AsyncResult<MultiVector> HttpEmbedder::embed_multi(std::string text, std::string model) const {
    std::vector<std::string> one;
    one.push_back(std::move(text));
    auto all = co_await embed_multi_batch(std::move(one), std::move(model));
    if (!all) co_return std::unexpected(std::move(all.error()));
    if (all->empty()) co_return fail(Diag::EmbeddingMulti, "multi embedding response was empty");
    co_return std::move(all->front());
}

AsyncResult<std::vector<MultiVector>> HttpEmbedder::embed_multi_batch(std::vector<std::string> texts,
                                                                      std::string model) const {
    if (texts.empty()) co_return std::vector<MultiVector>{};
    auto service = multi_service();
    if (!service) co_return std::unexpected(multi_not_available(model));
    service->model = model_to_send(std::move(model), service->model);
    co_return co_await multi_call(parts_->client, std::move(*service), parts_->config.multi_dimension,
                                  std::move(texts));
}

AsyncResult<DenseVector> HttpEmbedder::embed_image(std::string image, std::string model) const {
    std::vector<std::string> one;
    one.push_back(std::move(image));
    auto all = co_await embed_image_batch(std::move(one), std::move(model));
    if (!all) co_return std::unexpected(std::move(all.error()));
    if (all->empty()) co_return fail(Diag::EmbeddingImage, "image embedding response was empty");
    co_return std::move(all->front());
}

AsyncResult<std::vector<DenseVector>> HttpEmbedder::embed_image_batch(std::vector<std::string> images,
                                                                      std::string model) const {
    if (images.empty()) co_return std::vector<DenseVector>{};
    auto service = image_service();
    if (!service) co_return std::unexpected(image_not_available(model));
    service->model = model_to_send(std::move(model), service->model);
    const auto& c = parts_->config;
    co_return co_await dense_call(parts_->client, EmbedCallKind::Image, std::move(*service),
                                  c.image_dimension != 0 ? c.image_dimension : c.dimension, std::move(images));
}

AsyncResult<std::vector<float>> HttpEmbedder::rerank_pairs(std::string query, std::vector<std::string> documents,
                                                           std::string model) const {
    if (documents.empty()) co_return std::vector<float>{};
    auto service = rerank_service();
    if (!service) co_return std::unexpected(rerank_not_available(model));
    const std::string sent = model_to_send(std::move(model), service->model);
    const std::size_t n = documents.size();
    std::shared_ptr<net::HttpClient> client = parts_->client;
    auto outcome = co_await client->send(
        json_post(service->endpoint, service->api_key, rerank_request_body(sent, query, documents)));
    if (!outcome) co_return fail(Diag::RerankCross, "failed to call rerank endpoint: " + outcome.error().message);
    if (outcome->status < 200 || outcome->status > 299) {
        co_return fail(Diag::RerankCross, format_message("rerank endpoint returned {}: {}",
                                                         net::status_text(outcome->status), outcome->body));
    }
    co_return rerank_results(outcome->body, n);
}

}  // namespace zorv::embed
