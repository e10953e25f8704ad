// The statement tree: one tagged union over the 24 statement kinds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/ast/ddl.h"
#include "core/ast/literal.h"
#include "core/ast/mutation.h"
#include "core/ast/query.h"
#include "core/ast/read.h"
#include "core/ast/search.h"

namespace zorv::core {

struct Statement;

// Queries and mutations run as one unit; members never nest another BATCH.
struct Batch {
    std::vector<Statement> statements;
    std::optional<bool> wait;
    std::optional<SearchParams> params;
    friend bool operator==(const Batch&, const Batch&) = default;
};

struct ShowCollections {
    friend bool operator==(const ShowCollections&, const ShowCollections&) = default;
};
struct ShowCollection {
    std::string name;
    friend bool operator==(const ShowCollection&, const ShowCollection&) = default;
};
struct ShowShardKeys {
    std::string name;
    friend bool operator==(const ShowShardKeys&, const ShowShardKeys&) = default;
};
struct ShowQuotas {
    friend bool operator==(const ShowQuotas&, const ShowQuotas&) = default;
};

enum class StatementKind : std::uint8_t {
    Query,
    Scroll,
    Upsert,
    CreateCollection,
    CreateIndex,
    DropIndex,
    CreateShardKey,
    DropShardKey,
    AlterCollection,
    DropCollection,
    ShowCollections,
    ShowCollection,
    ShowShardKeys,
    Delete,
    ClearPayload,
    DeletePayload,
    DeleteVector,
    UpdateVector,
    UpdatePayload,
    Count,
    Facet,
    ShowQuotas,
    SetQuota,
    Batch,
};

// A tag plus one small payload: records are boxed, SHOW names inline. Copying copies the tree.
// The variant index is the StatementKind; walkers switch over kind() or std::visit the node.
struct Statement {
    using Node = std::variant<Box<Query>, Box<Scroll>, Box<Upsert>, Box<CreateCollection>, Box<CreateIndex>,
                              Box<DropIndex>, Box<CreateShardKey>, Box<DropShardKey>, Box<AlterCollection>,
                              Box<DropCollection>, ShowCollections, ShowCollection, ShowShardKeys, Box<Delete>,
                              Box<ClearPayload>, Box<DeletePayload>, Box<DeleteVector>, Box<UpdateVector>,
                              Box<UpdatePayload>, Box<Count>, Box<Facet>, ShowQuotas, Box<SetQuota>, Box<Batch>>;
    Node node;

    StatementKind kind() const { return static_cast<StatementKind>(node.index()); }

    template <StatementKind K>
    auto& get() {
        return std::get<static_cast<std::size_t>(K)>(node);
    }
    template <StatementKind K>
    const auto& get() const {
        return std::get<static_cast<std::size_t>(K)>(node);
    }

    friend bool operator==(const Statement&, const Statement&) = default;
};

static_assert(std::variant_size_v<Statement::Node> == 24);

// The variant name ("Query", "ShowCollections", ...), also the key of the statement JSON.
std::string_view statement_kind_name(StatementKind kind);
// The word that names a kind in messages: "QUERY", "DDL", "DROP", "SHOW", "mutation", ...
std::string_view statement_category(StatementKind kind);

}  // namespace zorv::core
