// Settling the vector targets of a QUERY: USING names and kinds, and the HYBRID vector names, are
// matched against the collection's vectors; and the target flags and kind checks that decide which
// embedding a TEXT input gets and whether an IMAGE input may be embedded at all.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ast/query.h"
#include "core/error.h"
#include "embed/vector_names.h"

namespace zorv::embed {

// What a node's target is: a sparse vector, a multivector, or (neither) a dense single vector.
struct TargetFlags {
    bool sparse = false;
    bool multi = false;
    friend bool operator==(const TargetFlags&, const TargetFlags&) = default;
};

// True when some ranking node anywhere in the tree (CTEs and inline PREFETCH queries included) has
// a target whose name or kind the collection still has to settle.
bool query_needs_client_embedding(const core::Query& query);

// Settles USING targets and HYBRID vector names in place against `names`; targets settled before
// an error stay settled.
core::Result<void> resolve_query_vector_names(core::Query& query, std::string_view collection,
                                              const VectorNameLists& names);

// No USING is a dense single-vector target; a USING whose kind is unknown is ZORV-VECTOR-KIND.
core::Result<TargetFlags> using_target_flags(const std::optional<core::UsingVector>& using_);

// RERANK scores with a dense (or multivector) vector.
core::Result<void> check_rerank_target(TargetFlags flags);
// An IMAGE embeds to one dense vector.
core::Result<void> check_image_target(TargetFlags flags);

// The names joined with ", ", the unnamed vector written "<default>".
std::string format_vector_names(const std::vector<std::string>& names);

}  // namespace zorv::embed
