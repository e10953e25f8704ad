// Canonical text of collection settings: option lists, vector definitions and the WITH clauses.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/ast/collection.h"
#include "core/ast/ddl.h"
#include "core/fmt/sink.h"

namespace zorv::core {

// The "key = value" items of a block, joined by ", "; nullopt when nothing is set.
std::optional<std::string> format_hnsw_config(const HnswSettings& hnsw);
std::optional<std::string> format_vector_storage(const VectorStorageSettings& vectors);
std::optional<std::string> format_config_entries(const LiteralDict& entries);
// Never empty: the type is always printed.
std::string format_quantization_config(const QuantizationSettings& quantization);
// The WITH clauses in their fixed order, one text each.
std::vector<std::string> format_collection_config_clauses(const CollectionSettings& settings);
// "name VECTOR(size, METRIC) [WITH ...]" and "name SPARSE [WITH SPARSE (...)]".
std::string format_dense_vector_def(const DenseVectorDef& def);
std::string format_sparse_vector_def(const SparseVectorDef& def);

// The same items written into a sink (nothing at all when nothing is set).
void write_hnsw_items(TextSink& sink, const HnswSettings& hnsw);
void write_vector_storage_items(TextSink& sink, const VectorStorageSettings& vectors);
void write_config_entries(TextSink& sink, const LiteralDict& entries);
void write_quantization_items(TextSink& sink, const QuantizationSettings& quantization);
void write_dense_vector_def(TextSink& sink, const DenseVectorDef& def);
void write_sparse_vector_def(TextSink& sink, const SparseVectorDef& def);

}  // namespace zorv::core
