// An Embedder for tests: records every call, answers with canned vectors derived from the inputs,
// and can be told to answer fewer results than it was given inputs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/diagnostics.h"
#include "embed/embedder.h"

namespace zorv::embed::test_support {

struct FakeCall {
    std::string operation;
    std::vector<std::string> inputs;
    std::string model;
    friend bool operator==(const FakeCall&, const FakeCall&) = default;
};

class FakeEmbedder : public Embedder {
public:
    std::size_t width = 2;             // length of every dense vector and multivector row
    std::size_t missing = 0;           // results left out of every batch answer
    std::optional<std::uint64_t> dim;  // answer of dimension()
    bool empty_multi = false;          // multivectors come back without rows
    mutable std::vector<FakeCall> calls;

    // The dense vector of an input: its length, then 0.5 for the rest.
    DenseVector vector_for(const std::string& input) const {
        DenseVector out(width, 0.5F);
        if (!out.empty()) out[0] = static_cast<float>(input.size());
        return out;
    }

    AsyncResult<DenseVector> embed_dense(std::string text, std::string model) const override {
        record("embed_dense", {text}, model);
        co_return vector_for(text);
    }
    AsyncResult<SparseVector> embed_sparse_query(std::string model, std::string text) const override {
        record("embed_sparse_query", {text}, model);
        co_return sparse_for(text);
    }
    AsyncResult<SparseVector> embed_sparse_document(std::string model, std::string text) const override {
        record("embed_sparse_document", {text}, model);
        co_return sparse_for(text);
    }
    AsyncResult<std::vector<SparseVector>> embed_sparse_document_batch(std::string model,
                                                                       std::vector<std::string> texts) const override {
        record("embed_sparse_document_batch", texts, model);
        co_return answer<SparseVector>(texts, [](const std::string& t) { return sparse_for(t); });
    }
    AsyncResult<std::vector<SparseVector>> embed_sparse_query_batch(std::string model,
                                                                    std::vector<std::string> texts) const override {
        record("embed_sparse_query_batch", texts, model);
        co_return answer<SparseVector>(texts, [](const std::string& t) { return sparse_for(t); });
    }
    std::optional<std::uint64_t> dimension() const override { return dim; }
    Bm25Params bm25_params() const override { return {}; }
    Bm25Config bm25_config() const override { return {}; }
    std::optional<std::uint64_t> multi_dimension() const override { return std::nullopt; }
    bool supports_model(std::string_view /*model*/) const override { return true; }
    AsyncResult<std::vector<DenseVector>> embed_dense_batch(std::vector<std::string> texts,
                                                            std::string model) const override {
        record("embed_dense_batch", texts, model);
        co_return answer<DenseVector>(texts, [this](const std::string& t) { return vector_for(t); });
    }
    AsyncResult<MultiVector> embed_multi(std::string text, std::string model) const override {
        record("embed_multi", {text}, model);
        co_return multi_for(text);
    }
    AsyncResult<std::vector<MultiVector>> embed_multi_batch(std::vector<std::string> texts,
                                                            std::string model) const override {
        record("embed_multi_batch", texts, model);
        co_return answer<MultiVector>(texts, [this](const std::string& t) { return multi_for(t); });
    }
    AsyncResult<DenseVector> embed_image(std::string image, std::string model) const override {
        record("embed_image", {image}, model);
        co_return vector_for(image);
    }
    AsyncResult<std::vector<DenseVector>> embed_image_batch(std::vector<std::string> images,
                                                            std::string model) const override {
        record("embed_image_batch", images, model);
        co_return answer<DenseVector>(images, [this](const std::string& t) { return vector_for(t); });
    }
    AsyncResult<std::vector<float>> rerank_pairs(std::string query, std::vector<std::string> documents,
                                                 std::string model) const override {
        documents.insert(documents.begin(), std::move(query));
        record("rerank_pairs", documents, model);
        co_return std::vector<float>(documents.size() - 1, 0.5F);
    }

private:
    void record(const char* operation, const std::vector<std::string>& inputs, const std::string& model) const {
        calls.push_back({operation, inputs, model});
    }

    static SparseVector sparse_for(const std::string& input) {
        return {{static_cast<std::uint32_t>(input.size())}, {1.0F}};
    }

    MultiVector multi_for(const std::string& input) const {
        if (empty_multi) return {};
        return {vector_for(input), vector_for(input)};
    }

    template <class T, class Make>
    core::Result<std::vector<T>> answer(const std::vector<std::string>& inputs, Make make) const {
        std::vector<T> out;
        for (std::size_t i = 0; i + missing < inputs.size(); ++i) out.push_back(make(inputs[i]));
        return out;
    }
};

}  // namespace zorv::embed::test_support
