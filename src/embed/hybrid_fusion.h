// A HYBRID embedded on the client becomes a FUSION over two inline PREFETCH searches, one with the
// dense and one with the sparse embedding, each carrying what the server-side HYBRID gives its
// stages: the candidate limit, the WHERE, the search PARAMS and the SCORE THRESHOLD of `query`.
#pragma once

#include "core/ast/query.h"
#include "core/error.h"
#include "embed/bm25_encoder.h"
#include "embed/embed_protocol.h"

namespace zorv::embed {

// `query` is the statement whose ranking node is `hybrid`; it is only read.
core::Result<core::QueryExpr> hybrid_fusion(const core::Query& query, const core::QueryExpr::Hybrid& hybrid,
                                            DenseVector dense, SparseVector sparse);

}  // namespace zorv::embed
