// The QUERY statement record: clauses, ranking expressions, query inputs, prefetch stages and
// common table expressions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "core/ast/filter.h"
#include "core/ast/formula.h"
#include "core/ast/literal.h"
#include "core/ast/search.h"
#include "core/ast/vector.h"
#include "core/error.h"

namespace zorv::core {

struct Query;

// The value of USING: a named vector, optionally with its kind. AS MULTI sets Dense and multi.
struct UsingVector {
    std::string name;
    std::optional<VectorKind> kind;
    bool multi = false;
    friend bool operator==(const UsingVector&, const UsingVector&) = default;
};

enum class RecommendStrategy : std::uint8_t { AverageVector, BestScore, SumScores };
enum class FusionMethod : std::uint8_t { Rrf, Dbsf };

// "AverageVector", "Rrf", ... (the variant names).
std::string_view recommend_strategy_name(RecommendStrategy strategy);
std::string_view fusion_method_name(FusionMethod method);

// A vector-like input of a ranking expression.
struct QueryInput {
    struct Text {
        std::string text;  // empty while a placeholder stands for it
        std::optional<std::string> model;
        std::optional<Placeholder> text_param;
        LiteralDict options;
        friend bool operator==(const Text&, const Text&) = default;
    };
    // The same inference inputs that vectors carry.
    using Image = VectorValue::Image;
    using Object = VectorValue::Object;

    // Tag order: the variant index is the kind; the Placeholder alternative is Param or PositionalParam.
    enum class Kind : std::uint8_t { Text, Image, Object, Vector, Point, Param, PositionalParam };
    using Value = std::variant<Text, Image, Object, VectorValue, PointId, Placeholder>;
    Value value;

    Kind kind() const { return kind_with_placeholder<Kind>(value); }
    bool is(Kind k) const { return kind() == k; }

    // Param and PositionalParam both give the Placeholder.
    template <Kind K>
    auto& get() {
        return std::get<slot(K)>(value);
    }
    template <Kind K>
    const auto& get() const {
        return std::get<slot(K)>(value);
    }

    friend bool operator==(const QueryInput&, const QueryInput&) = default;

private:
    static constexpr std::size_t slot(Kind k) {
        return k == Kind::PositionalParam ? static_cast<std::size_t>(Kind::Param) : static_cast<std::size_t>(k);
    }
};

// The variant name ("Text", "Vector", ...).
std::string_view query_input_kind_name(QueryInput::Kind kind);

struct PrefetchLookup {
    std::string collection;
    std::optional<std::string> vector;
    std::optional<ShardKey> shard_key;
    friend bool operator==(const PrefetchLookup&, const PrefetchLookup&) = default;
};

// A nested QUERY body written in place, or the name of a common table expression.
struct PrefetchSource {
    enum class Kind : std::uint8_t { Query, Cte };
    using Value = std::variant<Box<zorv::core::Query>, std::string>;
    Value value;

    Kind kind() const { return static_cast<Kind>(value.index()); }
    bool is(Kind k) const { return kind() == k; }

    const zorv::core::Query& query() const { return *std::get<0>(value); }
    zorv::core::Query& query() { return *std::get<0>(value); }
    const std::string& cte_name() const { return std::get<1>(value); }

    static PrefetchSource nested(Box<zorv::core::Query> query);
    static PrefetchSource cte(std::string name) {
        return PrefetchSource{Value(std::in_place_index<1>, std::move(name))};
    }

    friend bool operator==(const PrefetchSource&, const PrefetchSource&) = default;
};

// One candidate stage of a PREFETCH list.
struct Prefetch {
    PrefetchSource source;
    std::optional<Box<Filter>> filter;
    std::optional<double> score_threshold;
    std::optional<PrefetchLookup> lookup;
    friend bool operator==(const Prefetch&, const Prefetch&) = default;
};

using PrefetchList = std::vector<Prefetch>;

// WITH name AS ( QUERY ... ): names compare ignoring ASCII case.
struct CteDefinition {
    std::string name;
    Box<zorv::core::Query> query;
    friend bool operator==(const CteDefinition&, const CteDefinition&) = default;
};

struct Mmr {
    double diversity = 0.0;        // within [0, 1]
    std::uint64_t candidates = 1;  // at least 1
    friend bool operator==(const Mmr&, const Mmr&) = default;
};

struct ContextPair {
    QueryInput positive;
    QueryInput negative;
    friend bool operator==(const ContextPair&, const ContextPair&) = default;
};

struct FeedbackItem {
    QueryInput example;
    double score = 0.0;
    friend bool operator==(const FeedbackItem&, const FeedbackItem&) = default;
};

// The naive strategy, the only one there is.
struct FeedbackStrategy {
    double a = 0.0;
    double b = 0.0;
    double c = 0.0;
    friend bool operator==(const FeedbackStrategy&, const FeedbackStrategy&) = default;
};

// How a QUERY finds and scores points. `using_` holds the USING clause (the JSON key "using") and
// `prefetch` the PREFETCH list; the body reader moves both in after the clauses are read.
struct QueryExpr {
    struct Points {
        std::vector<PointId> ids;  // at least one
        friend bool operator==(const Points&, const Points&) = default;
    };
    struct Nearest {
        QueryInput input;
        std::optional<UsingVector> using_;
        PrefetchList prefetch;
        std::optional<Box<Mmr>> mmr;
        friend bool operator==(const Nearest&, const Nearest&) = default;
    };
    struct Recommend {
        std::vector<QueryInput> positive;  // at least one
        std::vector<QueryInput> negative;
        std::optional<RecommendStrategy> strategy;
        std::optional<UsingVector> using_;
        PrefetchList prefetch;
        friend bool operator==(const Recommend&, const Recommend&) = default;
    };
    struct Context {
        std::vector<ContextPair> pairs;  // at least one
        std::optional<UsingVector> using_;
        PrefetchList prefetch;
        friend bool operator==(const Context&, const Context&) = default;
    };
    struct Discover {
        QueryInput target;
        std::vector<ContextPair> context;  // at least one
        std::optional<UsingVector> using_;
        PrefetchList prefetch;
        friend bool operator==(const Discover&, const Discover&) = default;
    };
    struct OrderBy {
        std::string field;
        OrderDirection direction = OrderDirection::Asc;
        std::optional<Literal> start_from;
        friend bool operator==(const OrderBy&, const OrderBy&) = default;
    };
    struct SampleRandom {
        friend bool operator==(const SampleRandom&, const SampleRandom&) = default;
    };
    struct Fusion {
        FusionMethod method = FusionMethod::Rrf;
        PrefetchList prefetch;
        friend bool operator==(const Fusion&, const Fusion&) = default;
    };
    struct Formula {
        Box<FormulaExpr> expression;
        LiteralDict defaults;
        PrefetchList prefetch;
        friend bool operator==(const Formula&, const Formula&) = default;
    };
    struct RelevanceFeedback {
        QueryInput target;
        std::vector<FeedbackItem> feedback;  // at least one
        FeedbackStrategy strategy;
        std::optional<UsingVector> using_;
        PrefetchList prefetch;
        friend bool operator==(const RelevanceFeedback&, const RelevanceFeedback&) = default;
    };
    struct Hybrid {
        std::string text;  // empty while a placeholder stands for it
        std::optional<std::string> model;
        std::optional<std::string> dense_vector;
        std::optional<std::string> sparse_vector;
        FusionMethod fusion = FusionMethod::Rrf;
        std::optional<Placeholder> text_param;
        friend bool operator==(const Hybrid&, const Hybrid&) = default;
    };
    struct Rerank {
        QueryInput input;
        std::string model;
        std::optional<UsingVector> using_;
        PrefetchList prefetch;
        friend bool operator==(const Rerank&, const Rerank&) = default;
    };
    struct CrossRerank {
        std::string query;  // empty while a placeholder stands for it
        std::string model;
        std::optional<std::string> field;
        PrefetchList prefetch;
        std::optional<Placeholder> query_param;
        friend bool operator==(const CrossRerank&, const CrossRerank&) = default;
    };

    // Tag order: the variant index is the kind.
    enum class Kind : std::uint8_t {
        Points,
        Nearest,
        Recommend,
        Context,
        Discover,
        OrderBy,
        SampleRandom,
        Fusion,
        Formula,
        RelevanceFeedback,
        Hybrid,
        Rerank,
        CrossRerank,
    };
    using Node = std::variant<Points, Nearest, Recommend, Context, Discover, OrderBy, SampleRandom, Fusion, Formula,
                              RelevanceFeedback, Hybrid, Rerank, CrossRerank>;
    Node node;

    Kind kind() const { return static_cast<Kind>(node.index()); }
    bool is(Kind k) const { return kind() == k; }

    template <Kind K>
    auto& get() {
        return std::get<static_cast<std::size_t>(K)>(node);
    }
    template <Kind K>
    const auto& get() const {
        return std::get<static_cast<std::size_t>(K)>(node);
    }

    // The USING slot of the kinds that take one; nullptr for the others.
    std::optional<UsingVector>* using_slot();
    const std::optional<UsingVector>* using_slot() const;
    // The PREFETCH list of the kinds that take one; nullptr for the others.
    PrefetchList* prefetch_list();
    const PrefetchList* prefetch_list() const;

    friend bool operator==(const QueryExpr&, const QueryExpr&) = default;
};

static_assert(std::variant_size_v<QueryExpr::Node> == 13);

// The variant name ("Points", "Nearest", ...), also the key of the statement JSON.
std::string_view query_expr_kind_name(QueryExpr::Kind kind);

struct GroupLookup {
    std::string collection;
    std::optional<PayloadSelector> payload;
    std::optional<VectorSelector> vectors;
    friend bool operator==(const GroupLookup&, const GroupLookup&) = default;
};

struct GroupBy {
    std::string field;
    std::optional<std::uint64_t> size;  // at least 1
    std::optional<GroupLookup> lookup;
    friend bool operator==(const GroupBy&, const GroupBy&) = default;
};

// Absent selectors mean the clause was not written; no default is supplied here.
struct OutputSelection {
    std::optional<PayloadSelector> payload;
    std::optional<VectorSelector> vectors;
    friend bool operator==(const OutputSelection&, const OutputSelection&) = default;
};

// A placeholder LIMIT or OFFSET leaves the number absent and keeps the placeholder until binding
// replaces it.
struct Page {
    std::optional<std::uint64_t> limit;  // at least 1
    std::optional<std::uint64_t> offset;
    std::optional<Placeholder> limit_param;
    std::optional<Placeholder> offset_param;
    friend bool operator==(const Page&, const Page&) = default;
};

struct Query {
    std::vector<CteDefinition> ctes;  // only on the body that follows WITH
    CollectionRef collection;
    SourceSpan collection_span;  // the token after FROM; not part of the statement JSON
    QueryExpr expression;
    std::optional<Box<Filter>> filter;
    std::optional<SearchParams> params;
    std::optional<double> score_threshold;
    std::optional<GroupBy> group;
    OutputSelection output;
    Page page;
    std::optional<ShardKey> shard_key;
    friend bool operator==(const Query&, const Query&) = default;
};

}  // namespace zorv::core
