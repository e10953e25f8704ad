// An Embedder for the query-embedding tests: records every batch call and answers from canned
// rules, or with too few results, or with empty vectors. Single-threaded use only.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/diagnostics.h"
#include "embed/embedder.h"

namespace zorv::test_support {

using embed::AsyncResult;
using embed::Bm25Config;
using embed::Bm25Params;
using embed::DenseVector;
using embed::MultiVector;
using embed::SparseVector;

struct FakeCall {
    std::string op;  // the Embedder operation's name
    std::string model;
    std::vector<std::string> inputs;
    friend bool operator==(const FakeCall&, const FakeCall&) = default;
};

class FakeQueryEmbedder final : public embed::Embedder {
public:
    // Canned answers per input text; the defaults give every text the same small vector.
    std::function<DenseVector(const std::string&)> dense = [](const std::string&) { return DenseVector{0.5F, 0.25F}; };
    std::function<SparseVector(const std::string&)> sparse = [](const std::string&) {
        return SparseVector{{7}, {1.0F}};
    };
    std::function<MultiVector(const std::string&)> multi = [](const std::string&) {
        return MultiVector{{0.5F, 0.25F}, {0.125F, 1.0F}};
    };
    std::optional<std::size_t> answer_count;  // answer this many results, whatever the inputs
    bool answer_empty = false;                // empty vectors, multivectors and sparse vectors
    std::optional<core::ZorvError> failure;   // every batch call fails with this

    mutable std::vector<FakeCall> calls;

    AsyncResult<std::vector<DenseVector>> embed_dense_batch(std::vector<std::string> texts,
                                                            std::string model) const override {
        co_return answer("embed_dense_batch", std::move(model), std::move(texts), dense);
    }
    AsyncResult<std::vector<SparseVector>> embed_sparse_query_batch(std::string model,
                                                                    std::vector<std::string> texts) const override {
        co_return answer("embed_sparse_query_batch", std::move(model), std::move(texts), sparse);
    }
    AsyncResult<std::vector<MultiVector>> embed_multi_batch(std::vector<std::string> texts,
                                                            std::string model) const override {
        co_return answer("embed_multi_batch", std::move(model), std::move(texts), multi);
    }
    AsyncResult<std::vector<DenseVector>> embed_image_batch(std::vector<std::string> images,
                                                            std::string model) const override {
        co_return answer("embed_image_batch", std::move(model), std::move(images), dense);
    }

    // The single-input and document operations are not what query embedding calls.
    AsyncResult<DenseVector> embed_dense(std::string, std::string) const override { co_return unused(); }
    AsyncResult<SparseVector> embed_sparse_query(std::string, std::string) const override { co_return unused(); }
    AsyncResult<SparseVector> embed_sparse_document(std::string, std::string) const override { co_return unused(); }
    AsyncResult<std::vector<SparseVector>> embed_sparse_document_batch(std::string,
                                                                       std::vector<std::string>) const override {
        co_return unused();
    }
    AsyncResult<MultiVector> embed_multi(std::string, std::string) const override { co_return unused(); }
    AsyncResult<DenseVector> embed_image(std::string, std::string) const override { co_return unused(); }
    AsyncResult<std::vector<float>> rerank_pairs(std::string, std::vector<std::string>, std::string) const override {
        co_return unused();
    }
    std::optional<std::uint64_t> dimension() const override { return 2; }
    Bm25Params bm25_params() const override { return {}; }
    Bm25Config bm25_config() const override { return {}; }
    std::optional<std::uint64_t> multi_dimension() const override { return 2; }
    bool supports_model(std::string_view) const override { return true; }

private:
    template <class T>
    core::Result<std::vector<T>> answer(std::string op, std::string model, std::vector<std::string> inputs,
                                        const std::function<T(const std::string&)>& rule) const {
        calls.push_back(FakeCall{std::move(op), std::move(model), inputs});
        if (failure) return std::unexpected(*failure);
        std::vector<T> out;
        const std::size_t count = answer_count.value_or(inputs.size());
        for (std::size_t i = 0; i < count; ++i) {
            const std::string text = inputs.empty() ? std::string() : inputs[i % inputs.size()];
            out.push_back(answer_empty ? T{} : rule(text));
        }
        return out;
    }
    static std::unexpected<core::ZorvError> unused() {
        return core::fail(core::Diag::Embedding, "not used by query embedding");
    }
};

}  // namespace zorv::test_support
