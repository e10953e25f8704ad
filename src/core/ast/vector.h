// Vectors written in statements, and the one set of shape rules that turns literals into
// vectors and point ids (used by the parsers and again by the binders).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "core/ast/literal.h"
#include "core/error.h"

namespace zorv::core {

// One vector value.
struct VectorValue {
    struct Dense {
        std::vector<float> values;  // never empty
        friend bool operator==(const Dense&, const Dense&) = default;
    };
    struct Sparse {
        std::vector<std::uint32_t> indices;  // as written: neither sorted nor deduplicated
        std::vector<float> values;           // same non-zero length as indices
        friend bool operator==(const Sparse&, const Sparse&) = default;
    };
    struct MultiDense {
        std::vector<std::vector<float>> rows;  // at least one row, none empty; lengths may differ
        friend bool operator==(const MultiDense&, const MultiDense&) = default;
    };
    // Inference inputs: the embedding service computes the vector later.
    struct Document {
        std::string text;
        std::optional<std::string> model;
        LiteralDict options;
        friend bool operator==(const Document&, const Document&) = default;
    };
    struct Image {
        std::string source;  // the image reference exactly as written
        std::optional<std::string> model;
        LiteralDict options;
        friend bool operator==(const Image&, const Image&) = default;
    };
    struct Object {
        Box<Literal> object;  // always a Dict
        std::optional<std::string> model;
        LiteralDict options;
        friend bool operator==(const Object&, const Object&) = default;
    };

    // Tag order: the variant index is the kind; the Placeholder alternative is Param or PositionalParam.
    enum class Kind : std::uint8_t { Dense, Sparse, MultiDense, Document, Image, Object, Param, PositionalParam };
    using Value = std::variant<Dense, Sparse, MultiDense, Document, Image, Object, Placeholder>;
    Value value;

    Kind kind() const { return kind_with_placeholder<Kind>(value); }
    bool is(Kind k) const { return kind() == k; }

    friend bool operator==(const VectorValue&, const VectorValue&) = default;
};

using NamedVectors = std::vector<std::pair<std::string, VectorValue>>;

// All vectors of one UPSERT or UPDATE VECTOR row.
struct PointVectors {
    // Unnamed: the collection's unnamed vector; Named: (name, vector) pairs as written, possibly
    // none; Param and PositionalParam stand for the whole value.
    enum class Kind : std::uint8_t { Unnamed, Named, Param, PositionalParam };
    using Value = std::variant<VectorValue, NamedVectors, Placeholder>;
    Value value;

    Kind kind() const { return kind_with_placeholder<Kind>(value); }
    bool is(Kind k) const { return kind() == k; }

    friend bool operator==(const PointVectors&, const PointVectors&) = default;
};

// Errors carry `span` as given, kind Validation. Placeholders without a span of their own take
// `span`. The literal is consumed: float buffers move into the result.
Result<VectorValue> literal_to_vector(Literal literal, std::optional<Span> span);
Result<PointVectors> literal_to_vector_input(Literal literal, std::optional<Span> span);
Result<PointId> literal_to_point_id(Literal literal, Span span);

// A Document, Image or Object input when the pairs carry text, image or object; nullopt when
// they carry none of them. Only reads the pairs.
Result<std::optional<VectorValue>> inference_vector_from_dict(const LiteralDict& pairs, std::optional<Span> span);

}  // namespace zorv::core
