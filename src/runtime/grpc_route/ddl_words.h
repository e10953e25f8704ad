// The words and codes of collection settings as Qdrant's protobuf numbers, and the uint32 width
// check. Nothing outside a table is mapped to a default: it is refused before any call.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/error.h"
#include "plan/collection_config.h"
#include "plan/index.h"
#include "qdrant/collections.pb.h"

namespace zorv::runtime::rpc {

inline constexpr std::uint64_t uint32_max = 4294967295U;

// ZORV-GRPC-DDL-RANGE naming `setting` when `value` does not fit a uint32 field.
core::Result<std::uint32_t> check_uint32(std::string_view setting, std::uint64_t value);
core::Result<std::optional<std::uint32_t>> check_uint32(std::string_view setting,
                                                        const std::optional<std::uint64_t>& value);

// ZORV-GRPC-DDL-WORD: "unsupported {setting} '{word}' on the gRPC path; use {words}".
// Product compression compares exact bytes; the other three ignore ASCII case.
core::Result<qdrant::CompressionRatio> compression_to_proto(std::string_view word);
core::Result<qdrant::BinaryQuantizationEncoding> binary_encoding_to_proto(std::string_view word);
core::Result<qdrant::BinaryQuantizationQueryEncoding::Setting> query_encoding_to_proto(std::string_view word);
core::Result<qdrant::TurboQuantBitSize> turbo_bits_to_proto(std::string_view word);
// A replica state by its canonical name, in any ASCII case.
core::Result<qdrant::ReplicaState> replica_state_to_proto(std::string_view word);

// Plan codes outside their table are refused the same way, the word being "code {n}".
core::Result<qdrant::Distance> distance_to_proto(plan::PlanDistance distance);
core::Result<qdrant::Datatype> datatype_to_proto(plan::PlanDatatype datatype);
core::Result<qdrant::Memory> tier_to_proto(plan::StorageTier tier);
core::Result<qdrant::TokenizerType> tokenizer_to_proto(plan::PlanTokenizer tokenizer);
// The FieldType number of CreateFieldIndex: keyword 0 ... uuid 7.
core::Result<int> field_type_to_proto(plan::PlanIndexType type);

}  // namespace zorv::runtime::rpc
