// The ranking of a search: the query variant, the prefetch stages that feed it and the vector
// name searched, for the top-level query and, recursively, for every PREFETCH source.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ast/query.h"
#include "core/error.h"
#include "plan/query_plan.h"

namespace zorv::plan {

// What one planned statement may emit. A CTE referenced twice is lowered twice, so a short text
// can ask for an exponential plan: the counts stop it at the first stage or element past the cap,
// which keeps lowering linear in what it emits.
class QueryBudget {
public:
    static constexpr std::uint64_t kMaxStages = 10000;
    static constexpr std::uint64_t kMaxVectorElements = 4194304;

    core::Result<void> add_stage();
    core::Result<void> add_vector_elements(std::uint64_t count);
    std::uint64_t stages() const { return stages_; }
    std::uint64_t vector_elements() const { return elements_; }

private:
    std::uint64_t stages_ = 0;
    std::uint64_t elements_ = 0;
};

// Prefetch stages below the statement's query, CTE references included; deeper fails.
inline constexpr unsigned kMaxQueryDepth = 64;

// The CTEs a query may reference: the first `count` entries of `ctes`.
struct CteScope {
    const std::vector<core::CteDefinition>* ctes = nullptr;
    std::size_t count = 0;
};

struct SearchRanking {
    PlanQuery query;
    std::vector<PlanPrefetch> prefetch;
    std::optional<std::string> using_;
};

// `depth` is the number of prefetch levels above `query`.
core::Result<SearchRanking> lower_search_pipeline(const core::Query& query, CteScope scope, QueryBudget& budget,
                                                  unsigned depth);
// The same written into `out` (as default-constructed): what is lowered in place is not moved
// through every layer.
core::Result<void> lower_search_pipeline_into(const core::Query& query, CteScope scope, QueryBudget& budget,
                                              unsigned depth, SearchRanking& out);
core::Result<PlanPrefetch> lower_prefetch(const core::Prefetch& source, CteScope scope, QueryBudget& budget,
                                          unsigned depth);
// Every expression but HYBRID and RERANK, which become whole pipelines.
core::Result<PlanQuery> lower_query_source(const core::QueryExpr& expr, QueryBudget& budget);
core::Result<void> lower_query_source_into(const core::QueryExpr& expr, QueryBudget& budget, PlanQuery& out);

// The model of a server-side inference input: the given one, else "Qdrant/bm25" for a vector
// named bm25 (any case), else unchanged.
std::optional<std::string> inference_model_name(const std::optional<std::string>& model, std::string_view vector_name);

// The CTE a PREFETCH source names, compared ignoring ASCII case; its index, or nothing.
std::optional<std::size_t> find_cte(CteScope scope, std::string_view name);

// The lookup location of a PREFETCH source.
PlanLookupLocation lower_lookup(const core::PrefetchLookup& lookup);

// The candidate limit of each stage of a HYBRID: (LIMIT + OFFSET) * 10, or 100 without LIMIT;
// ZORV-VALIDATION-LIMIT-OVERFLOW past 64 bits.
core::Result<std::uint64_t> hybrid_candidate_limit(const core::Page& page);

// ZORV-VALIDATION-NESTING.
core::ZorvError nesting_error();

}  // namespace zorv::plan
