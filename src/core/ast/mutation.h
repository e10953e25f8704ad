// The point mutations: UPSERT, DELETE (points, payload keys, vectors), CLEAR PAYLOAD and UPDATE
// (payload, vectors).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/ast/filter.h"
#include "core/ast/literal.h"
#include "core/ast/vector.h"

namespace zorv::core {

// One row of UPSERT VALUES: a point, or a placeholder standing for one row or a list of rows.
struct UpsertRow {
    struct Point {
        PointId id;
        std::optional<PointVectors> vectors;
        LiteralDict payload;  // every key but id and vector, in written order
        friend bool operator==(const Point&, const Point&) = default;
    };

    // Tag order: the variant index is the kind.
    enum class Kind : std::uint8_t { Point, Param, PositionalParam };
    using Value = std::variant<Point, Placeholder>;
    Value value;

    Kind kind() const { return kind_with_placeholder<Kind>(value); }
    bool is(Kind k) const { return kind() == k; }

    friend bool operator==(const UpsertRow&, const UpsertRow&) = default;
};

// MODEL 'm', INTO/VECTOR name and ON [FIELD] name of one USING embedding.
struct EmbeddingClause {
    std::optional<std::string> model;
    std::optional<std::string> vector;
    std::optional<std::string> field;
    friend bool operator==(const EmbeddingClause&, const EmbeddingClause&) = default;
};

// The USING clause of UPSERT: how vectors are made from the text of the rows.
struct UpsertEmbedding {
    struct Dense {
        EmbeddingClause clause;
        friend bool operator==(const Dense&, const Dense&) = default;
    };
    struct Sparse {
        EmbeddingClause clause;
        friend bool operator==(const Sparse&, const Sparse&) = default;
    };
    struct Hybrid {
        std::optional<std::string> dense_model;
        std::optional<std::string> dense_vector;
        std::optional<std::string> dense_field;
        std::optional<std::string> sparse_model;
        std::optional<std::string> sparse_vector;
        std::optional<std::string> sparse_field;
        friend bool operator==(const Hybrid&, const Hybrid&) = default;
    };
    struct MultiVector {
        EmbeddingClause clause;
        friend bool operator==(const MultiVector&, const MultiVector&) = default;
    };
    struct Image {
        EmbeddingClause clause;
        friend bool operator==(const Image&, const Image&) = default;
    };
    // Two or more embeddings, none of them Multi.
    struct Multi {
        std::vector<UpsertEmbedding> embeddings;
        friend bool operator==(const Multi&, const Multi&) = default;
    };

    // Tag order: the variant index is the kind.
    enum class Kind : std::uint8_t { Dense, Sparse, Hybrid, MultiVector, Image, Multi };
    using Value = std::variant<Dense, Sparse, Hybrid, MultiVector, Image, Multi>;
    Value value;

    Kind kind() const { return static_cast<Kind>(value.index()); }
    bool is(Kind k) const { return kind() == k; }

    friend bool operator==(const UpsertEmbedding&, const UpsertEmbedding&) = default;
};

// The kind of one EMBED entry, each with its optional model.
struct EmbedFieldKind {
    enum class Kind : std::uint8_t { Dense, Sparse, Multi, Image };
    Kind kind = Kind::Dense;
    std::optional<std::string> model;
    friend bool operator==(const EmbedFieldKind&, const EmbedFieldKind&) = default;
};

// EMBED source INTO target [USING kind [MODEL 'm']].
struct EmbedField {
    std::string source_field;
    std::string target_vector;
    EmbedFieldKind kind;
    friend bool operator==(const EmbedField&, const EmbedField&) = default;
};

struct Upsert {
    std::string collection;
    std::vector<UpsertRow> points;  // at least one
    std::optional<UpsertEmbedding> embedding;
    std::vector<EmbedField> embed;
    std::optional<Filter> update_filter;
    std::optional<UpdateMode> update_mode;
    std::optional<ShardKey> shard_key;
    std::optional<bool> wait;
    friend bool operator==(const Upsert&, const Upsert&) = default;
};

struct Delete {
    std::string collection;
    PointSelector selector;
    std::optional<ShardKey> shard_key;
    std::optional<bool> wait;
    friend bool operator==(const Delete&, const Delete&) = default;
};

struct ClearPayload {
    std::string collection;
    PointSelector selector;
    std::optional<ShardKey> shard_key;
    std::optional<bool> wait;
    friend bool operator==(const ClearPayload&, const ClearPayload&) = default;
};

struct DeletePayload {
    std::string collection;
    std::vector<std::string> keys;  // one or more, as written
    PointSelector selector;
    std::optional<ShardKey> shard_key;
    std::optional<bool> wait;
    friend bool operator==(const DeletePayload&, const DeletePayload&) = default;
};

struct DeleteVector {
    std::string collection;
    PointSelector selector;
    std::vector<std::string> vector_names;  // one or more, as written; repeats are the planner's to refuse
    std::optional<ShardKey> shard_key;
    std::optional<bool> wait;
    friend bool operator==(const DeleteVector&, const DeleteVector&) = default;
};

struct UpdateVectorRow {
    PointId id;
    PointVectors vectors;
    friend bool operator==(const UpdateVectorRow&, const UpdateVectorRow&) = default;
};

struct UpdateVector {
    std::string collection;
    std::vector<UpdateVectorRow> points;  // one or more
    std::optional<ShardKey> shard_key;
    std::optional<bool> wait;
    friend bool operator==(const UpdateVector&, const UpdateVector&) = default;
};

struct UpdatePayload {
    std::string collection;
    PointSelector selector;
    LiteralDict payload;
    std::optional<std::string> key;  // the payload path written under
    bool overwrite = false;          // replace the whole payload instead of setting keys
    std::optional<ShardKey> shard_key;
    std::optional<bool> wait;
    friend bool operator==(const UpdatePayload&, const UpdatePayload&) = default;
};

}  // namespace zorv::core
