// One client-side embedding of a query: its kind, its request and its result.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "core/diagnostics.h"
#include "embed/bm25_encoder.h"
#include "embed/embed_protocol.h"

namespace zorv::embed {

// The order is the order in which the kinds are sent.
enum class EmbedKind : std::uint8_t { Dense, Sparse, Multi, Image };

inline constexpr EmbedKind kEmbedKinds[] = {EmbedKind::Dense, EmbedKind::Sparse, EmbedKind::Multi, EmbedKind::Image};

// "dense", "sparse", "multi", "image": the name messages use.
constexpr std::string_view embed_kind_name(EmbedKind kind) {
    switch (kind) {
        case EmbedKind::Dense: return "dense";
        case EmbedKind::Sparse: return "sparse";
        case EmbedKind::Multi: return "multi";
        case EmbedKind::Image: return "image";
    }
    return "dense";
}

// The code every failure of that kind carries.
constexpr core::Diag embed_kind_diag(EmbedKind kind) {
    switch (kind) {
        case EmbedKind::Dense: return core::Diag::Embedding;
        case EmbedKind::Sparse: return core::Diag::EmbeddingSparse;
        case EmbedKind::Multi: return core::Diag::EmbeddingMulti;
        case EmbedKind::Image: return core::Diag::EmbeddingImage;
    }
    return core::Diag::Embedding;
}

struct EmbeddingJob {
    std::string model;
    std::string input;  // the TEXT, or the IMAGE source as written
    EmbedKind kind = EmbedKind::Dense;
    friend bool operator==(const EmbeddingJob&, const EmbeddingJob&) = default;
};

// One result; the alternative index is the EmbedKind of the job it answers (Image holds a dense
// vector of its own alternative).
struct EmbeddingOutput {
    using Value = std::variant<DenseVector, SparseVector, MultiVector, DenseVector>;
    Value value;

    EmbedKind kind() const { return static_cast<EmbedKind>(value.index()); }

    static EmbeddingOutput dense(DenseVector v) { return {Value(std::in_place_index<0>, std::move(v))}; }
    static EmbeddingOutput sparse(SparseVector v) { return {Value(std::in_place_index<1>, std::move(v))}; }
    static EmbeddingOutput multi(MultiVector v) { return {Value(std::in_place_index<2>, std::move(v))}; }
    static EmbeddingOutput image(DenseVector v) { return {Value(std::in_place_index<3>, std::move(v))}; }

    friend bool operator==(const EmbeddingOutput&, const EmbeddingOutput&) = default;
};

}  // namespace zorv::embed
