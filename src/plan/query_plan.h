// The ranking side of a search in plan form: query inputs, query variants, prefetch stages and
// search parameters. PlanQueryRequest (plan_op.h) holds them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/ast/literal.h"
#include "core/ast/search.h"
#include "core/ast/vector.h"
#include "plan/filter.h"
#include "plan/formula.h"

namespace zorv::plan {

using PlanShardKey = std::variant<std::uint64_t, std::string>;

// An input of a vector query: a vector (dense, sparse, multi, or an inference document, image or
// object the server embeds) or a point id whose stored vector is used.
struct PlanQueryInput {
    enum class Kind : std::uint8_t { Vector, Point };
    std::variant<core::VectorValue, PlanPointId> value;

    Kind kind() const { return static_cast<Kind>(value.index()); }
    const core::VectorValue& vector() const { return std::get<0>(value); }
    const PlanPointId& point() const { return std::get<1>(value); }
    friend bool operator==(const PlanQueryInput&, const PlanQueryInput&) = default;
};

struct PlanMmr {
    double diversity = 0.0;
    std::uint64_t candidates_limit = 1;
    friend bool operator==(const PlanMmr&, const PlanMmr&) = default;
};

struct PlanContextPair {
    PlanQueryInput positive;
    PlanQueryInput negative;
    friend bool operator==(const PlanContextPair&, const PlanContextPair&) = default;
};

struct PlanFeedback {
    PlanQueryInput example;
    double score = 0.0;
    friend bool operator==(const PlanFeedback&, const PlanFeedback&) = default;
};

// The ranking of a request or stage.
struct PlanQuery {
    struct Nearest {
        PlanQueryInput input;
        std::optional<PlanMmr> mmr;
        friend bool operator==(const Nearest&, const Nearest&) = default;
    };
    struct Recommend {
        std::vector<PlanQueryInput> positive;
        std::vector<PlanQueryInput> negative;
        std::optional<std::string> strategy;  // "average_vector", "best_score" or "sum_scores"
        friend bool operator==(const Recommend&, const Recommend&) = default;
    };
    struct Discover {
        PlanQueryInput target;
        std::vector<PlanContextPair> context;
        friend bool operator==(const Discover&, const Discover&) = default;
    };
    struct Context {
        std::vector<PlanContextPair> pairs;
        friend bool operator==(const Context&, const Context&) = default;
    };
    struct OrderBy {
        std::string key;
        std::optional<std::string> direction;  // "asc" or "desc"
        std::optional<core::Literal> start_from;
        friend bool operator==(const OrderBy&, const OrderBy&) = default;
    };
    struct Fusion {
        std::string method;  // "rrf" or "dbsf"
        friend bool operator==(const Fusion&, const Fusion&) = default;
    };
    struct Rrf {
        std::optional<std::uint64_t> k;
        std::optional<std::vector<double>> weights;
        friend bool operator==(const Rrf&, const Rrf&) = default;
    };
    struct Formula {
        PlanExpression formula;
        std::optional<PlanDefaultObject> defaults;
        friend bool operator==(const Formula&, const Formula&) = default;
    };
    struct Sample {
        std::string method = "random";
        friend bool operator==(const Sample&, const Sample&) = default;
    };
    struct RelevanceFeedback {
        PlanQueryInput target;
        std::vector<PlanFeedback> feedback;
        double a = 0.0;  // the naive strategy's three weights
        double b = 0.0;
        double c = 0.0;
        friend bool operator==(const RelevanceFeedback&, const RelevanceFeedback&) = default;
    };

    enum class Kind : std::uint8_t {
        Nearest,
        Recommend,
        Discover,
        Context,
        OrderBy,
        Fusion,
        Rrf,
        Formula,
        Sample,
        RelevanceFeedback,
    };
    using Node =
        std::variant<Nearest, Recommend, Discover, Context, OrderBy, Fusion, Rrf, Formula, Sample, RelevanceFeedback>;
    Node node;

    Kind kind() const { return static_cast<Kind>(node.index()); }
    template <Kind K>
    const auto& get() const {
        return std::get<static_cast<std::size_t>(K)>(node);
    }
    template <Kind K>
    auto& get() {
        return std::get<static_cast<std::size_t>(K)>(node);
    }
    friend bool operator==(const PlanQuery&, const PlanQuery&) = default;
};

struct PlanAcorn {
    bool enable = false;
    std::optional<double> max_selectivity;
    friend bool operator==(const PlanAcorn&, const PlanAcorn&) = default;
};

// IDF statistics: the global corpus, or the points a non-empty filter selects.
struct PlanIdf {
    std::optional<PlanFilter> corpus;  // absent: global
    friend bool operator==(const PlanIdf&, const PlanIdf&) = default;
};

// The search part of PARAMS; never built with every field absent.
struct PlanSearchParams {
    std::optional<std::uint64_t> hnsw_ef;
    std::optional<bool> exact;
    std::optional<PlanAcorn> acorn;
    std::optional<bool> indexed_only;
    std::optional<core::QuantizationSearchParams> quantization;
    std::optional<PlanIdf> idf;
    friend bool operator==(const PlanSearchParams&, const PlanSearchParams&) = default;
};

struct PlanLookupLocation {
    std::string collection;
    std::optional<std::string> vector;
    std::optional<PlanShardKey> shard_key;
    friend bool operator==(const PlanLookupLocation&, const PlanLookupLocation&) = default;
};

// One prefetch stage; a stage may nest further stages.
struct PlanPrefetch {
    std::optional<PlanQuery> query;
    std::optional<std::vector<PlanPrefetch>> prefetch;
    std::optional<std::string> using_;
    std::optional<PlanFilter> filter;
    std::optional<PlanSearchParams> params;
    std::optional<double> score_threshold;
    std::optional<std::uint64_t> limit;
    std::optional<PlanLookupLocation> lookup_from;
    friend bool operator==(const PlanPrefetch&, const PlanPrefetch&) = default;
};

}  // namespace zorv::plan
