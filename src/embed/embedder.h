// The embedding-provider interface the executor holds: sparse vectors, dense, multi-vector and
// image embeddings, and cross-encoder scores. Asynchronous operations are Asio awaitables; their
// arguments are taken by value because the coroutine outlives the caller's expression.
#pragma once

#include <boost/asio/awaitable.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "embed/bm25_config.h"
#include "embed/bm25_encoder.h"
#include "embed/embed_protocol.h"

namespace zorv::embed {

template <class T>
using AsyncResult = boost::asio::awaitable<core::Result<T>>;

class Embedder {
public:
    Embedder() = default;
    Embedder(const Embedder&) = delete;
    Embedder& operator=(const Embedder&) = delete;
    virtual ~Embedder() = default;

    virtual AsyncResult<DenseVector> embed_dense(std::string text, std::string model) const = 0;
    virtual AsyncResult<SparseVector> embed_sparse_query(std::string model, std::string text) const = 0;
    virtual AsyncResult<SparseVector> embed_sparse_document(std::string model, std::string text) const = 0;
    virtual AsyncResult<std::vector<SparseVector>> embed_sparse_document_batch(
        std::string model, std::vector<std::string> texts) const = 0;
    virtual AsyncResult<std::vector<SparseVector>> embed_sparse_query_batch(std::string model,
                                                                            std::vector<std::string> texts) const = 0;
    virtual std::optional<std::uint64_t> dimension() const = 0;
    virtual Bm25Params bm25_params() const = 0;
    virtual Bm25Config bm25_config() const = 0;
    virtual std::optional<std::uint64_t> multi_dimension() const = 0;
    virtual bool supports_model(std::string_view model) const = 0;
    virtual AsyncResult<std::vector<DenseVector>> embed_dense_batch(std::vector<std::string> texts,
                                                                    std::string model) const = 0;
    virtual AsyncResult<MultiVector> embed_multi(std::string text, std::string model) const = 0;
    virtual AsyncResult<std::vector<MultiVector>> embed_multi_batch(std::vector<std::string> texts,
                                                                    std::string model) const = 0;
    virtual AsyncResult<DenseVector> embed_image(std::string image, std::string model) const = 0;
    virtual AsyncResult<std::vector<DenseVector>> embed_image_batch(std::vector<std::string> images,
                                                                    std::string model) const = 0;
    virtual AsyncResult<std::vector<float>> rerank_pairs(std::string query, std::vector<std::string> documents,
                                                         std::string model) const = 0;
};

}  // namespace zorv::embed
