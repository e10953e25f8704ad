// Readers of the HNSW, optimizer and quantization settings, written once over any ValueView: the
// REST decoder reads them from server JSON, the Python layer from Python objects.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "protocol/record_read.h"
#include "protocol/settings_records.h"
#include "protocol/value_view.h"

namespace zorv::protocol {

namespace detail {

inline ReadResult<StorageTier> storage_tier_from_word(std::string_view word) {
    if (word == "cold") return StorageTier::Cold;
    if (word == "cached") return StorageTier::Cached;
    if (word == "pinned") return StorageTier::Pinned;
    return read_failure("unknown variant `" + std::string(word) + "`, expected one of `cold`, `cached`, `pinned`");
}

// A one-key object names the tier by its key; the key's value must be null.
template <ValueView V>
ReadResult<StorageTier> storage_tier_from_object(const V& value) {
    std::size_t keys = 0;
    std::optional<ReadResult<StorageTier>> tier;
    value.for_each_member([&](std::string_view key, const V& unit) {
        if (++keys > 1) return false;
        if (unit.kind() != ValueKind::Null) tier = invalid_type(unit, "unit variant");
        else tier = storage_tier_from_word(key);
        return true;
    });
    if (keys != 1 || !tier) return read_failure("expected tagged enum dict to have exactly 1 key");
    return std::move(*tier);
}

template <ValueView V>
ReadResult<std::optional<StorageTier>> read_storage_tier(const V& value, bool buffered) {
    auto tier = [&]() -> ReadResult<StorageTier> {
        switch (value.kind()) {
            case ValueKind::String: return storage_tier_from_word(value.as_string());
            case ValueKind::Object: return storage_tier_from_object(value);
            case ValueKind::UInt:
                if (buffered && value.as_uint() <= 2) return static_cast<StorageTier>(value.as_uint());
                [[fallthrough]];
            case ValueKind::Int:
                if (buffered)
                    return read_failure("invalid value: " + describe_value(value) +
                                        ", expected variant index 0 <= i < 3");
                [[fallthrough]];
            default: return read_failure("expected either a str or dict for enum");
        }
    };
    if (value.kind() == ValueKind::Null) return std::optional<StorageTier>();
    auto read = tier();
    if (!read) return std::unexpected(std::move(read).error());
    return std::optional<StorageTier>(*read);
}

}  // namespace detail

// null, "cold" / "cached" / "pinned" (exact lower case), or a one-key object {"pinned": null}.
template <ValueView V>
ReadResult<std::optional<StorageTier>> decode_storage_tier(const V& value) {
    return detail::read_storage_tier(value, false);
}

// The tier inside quantization settings: also the indexes 0, 1 and 2.
template <ValueView V>
ReadResult<std::optional<StorageTier>> decode_buffered_storage_tier(const V& value) {
    return detail::read_storage_tier(value, true);
}

// null, "auto" in any ASCII case, or a non-negative integer.
template <ValueView V>
ReadResult<std::optional<OptimizerThreads>> decode_optimizer_threads(const V& value) {
    constexpr std::string_view expected = "a thread count or \"auto\"";
    switch (value.kind()) {
        case ValueKind::Null: return std::optional<OptimizerThreads>();
        case ValueKind::UInt: return OptimizerThreads{OptimizerThreads::ThreadCount{value.as_uint()}};
        case ValueKind::String: {
            const std::string_view text = value.as_string();
            if (text.size() == 4) {
                bool is_auto = true;
                for (std::size_t i = 0; i < 4; ++i) is_auto = is_auto && (text[i] | 0x20) == "auto"[i];
                if (is_auto) return OptimizerThreads{OptimizerThreads::Auto{}};
            }
            return read_failure("invalid value: " + describe_value(value) + ", expected " + std::string(expected));
        }
        case ValueKind::Int:
            return read_failure("invalid value: " + describe_value(value) + ", expected " + std::string(expected));
        default: return invalid_type(value, expected);
    }
}

template <ValueView V>
ReadResult<HnswConfig> read_hnsw_config(const V& value) {
    static constexpr std::array<FieldSpec, 8> fields{{{"m"},
                                                      {"ef_construct"},
                                                      {"full_scan_threshold"},
                                                      {"max_indexing_threads"},
                                                      {"on_disk"},
                                                      {"payload_m"},
                                                      {"inline_storage"},
                                                      {"memory"}}};
    return read_record<HnswConfig>(value, "HnswConfig", fields,
                                   [](HnswConfig& config, std::size_t field, const V& item) -> ReadResult<void> {
                                       switch (field) {
                                           case 0: return store(config.m, read_u64(item));
                                           case 1: return store(config.ef_construct, read_u64(item));
                                           case 2: return store(config.full_scan_threshold, read_u64(item));
                                           case 3: return store(config.max_indexing_threads, read_u64(item));
                                           case 4: return store(config.on_disk, read_bool(item));
                                           case 5: return store(config.payload_m, read_u64(item));
                                           case 6: return store(config.inline_storage, read_bool(item));
                                           default: return store(config.memory, decode_storage_tier(item));
                                       }
                                   });
}

template <ValueView V>
ReadResult<OptimizersConfig> read_optimizers_config(const V& value) {
    static constexpr std::array<FieldSpec, 9> fields{{{"deleted_threshold"},
                                                      {"vacuum_min_vector_number"},
                                                      {"default_segment_number"},
                                                      {"max_segment_size"},
                                                      {"memmap_threshold"},
                                                      {"indexing_threshold"},
                                                      {"flush_interval_sec"},
                                                      {"max_optimization_threads"},
                                                      {"prevent_unoptimized"}}};
    return read_record<OptimizersConfig>(value, "OptimizersConfig", fields,
                                         [](OptimizersConfig& config, std::size_t field,
                                            const V& item) -> ReadResult<void> {
                                             switch (field) {
                                                 case 0: return store(config.deleted_threshold, read_f64(item));
                                                 case 1: return store(config.vacuum_min_vector_number, read_u64(item));
                                                 case 2: return store(config.default_segment_number, read_u64(item));
                                                 case 3: return store(config.max_segment_size, read_u64(item));
                                                 case 4: return store(config.memmap_threshold, read_u64(item));
                                                 case 5: return store(config.indexing_threshold, read_u64(item));
                                                 case 6: return store(config.flush_interval_sec, read_u64(item));
                                                 case 7:
                                                     return store(config.max_optimization_threads,
                                                                  decode_optimizer_threads(item));
                                                 default: return store(config.prevent_unoptimized, read_bool(item));
                                             }
                                         });
}

template <ValueView V>
ReadResult<ScalarQuantization> read_scalar_quantization(const V& value) {
    static constexpr std::array<FieldSpec, 4> fields{{{"type", true}, {"quantile"}, {"always_ram"}, {"memory"}}};
    return read_record<ScalarQuantization>(value, "ScalarQuantization", fields,
                                           [](ScalarQuantization& config, std::size_t field,
                                              const V& item) -> ReadResult<void> {
                                               switch (field) {
                                                   case 0: return store(config.type, read_text(item));
                                                   case 1: return store(config.quantile, read_f64(item));
                                                   case 2: return store(config.always_ram, read_bool(item));
                                                   default:
                                                       return store(config.memory, decode_buffered_storage_tier(item));
                                               }
                                           });
}

template <ValueView V>
ReadResult<ProductQuantization> read_product_quantization(const V& value) {
    static constexpr std::array<FieldSpec, 3> fields{{{"compression", true}, {"always_ram"}, {"memory"}}};
    return read_record<ProductQuantization>(value, "ProductQuantization", fields,
                                            [](ProductQuantization& config, std::size_t field,
                                               const V& item) -> ReadResult<void> {
                                                switch (field) {
                                                    case 0: return store(config.compression, read_text(item));
                                                    case 1: return store(config.always_ram, read_bool(item));
                                                    default:
                                                        return store(config.memory, decode_buffered_storage_tier(item));
                                                }
                                            });
}

template <ValueView V>
ReadResult<BinaryQuantization> read_binary_quantization(const V& value) {
    static constexpr std::array<FieldSpec, 4> fields{{{"always_ram"}, {"encoding"}, {"query_encoding"}, {"memory"}}};
    return read_record<BinaryQuantization>(value, "BinaryQuantization", fields,
                                           [](BinaryQuantization& config, std::size_t field,
                                              const V& item) -> ReadResult<void> {
                                               switch (field) {
                                                   case 0: return store(config.always_ram, read_bool(item));
                                                   case 1: return store(config.encoding, read_text(item));
                                                   case 2: return store(config.query_encoding, read_text(item));
                                                   default:
                                                       return store(config.memory, decode_buffered_storage_tier(item));
                                               }
                                           });
}

template <ValueView V>
ReadResult<TurboQuantization> read_turbo_quantization(const V& value) {
    static constexpr std::array<FieldSpec, 3> fields{{{"bits"}, {"always_ram"}, {"memory"}}};
    return read_record<TurboQuantization>(value, "TurboQuantization", fields,
                                          [](TurboQuantization& config, std::size_t field,
                                             const V& item) -> ReadResult<void> {
                                              switch (field) {
                                                  case 0: return store(config.bits, read_text(item));
                                                  case 1: return store(config.always_ram, read_bool(item));
                                                  default:
                                                      return store(config.memory, decode_buffered_storage_tier(item));
                                              }
                                          });
}

namespace detail {

// One variant's wrapper: an object (never an array) whose key names the variant.
template <std::size_t Index, ValueView V, class ReadInner>
std::optional<QuantizationConfig> read_quantization_variant(const V& value, std::string_view key,
                                                            ReadInner read_inner) {
    using Inner = std::variant_alternative_t<Index, QuantizationConfig>;
    const std::array<FieldSpec, 1> fields{{{key, true}}};
    auto read = read_record<std::optional<Inner>>(
        value, "QuantizationConfig", fields,
        [&](std::optional<Inner>& inner, std::size_t /*field*/, const V& item) {
            return store(inner, read_inner(item));
        },
        false);
    if (!read) return std::nullopt;
    if (std::optional<Inner>& inner = *read; inner.has_value())
        return QuantizationConfig(std::in_place_index<Index>, std::move(*inner));
    return std::nullopt;
}

}  // namespace detail

// Tries scalar, product, binary and turbo in this order; the first that reads wins.
template <ValueView V>
ReadResult<QuantizationConfig> deserialize_quantization_config(const V& value) {
    if (auto config = detail::read_quantization_variant<0>(value, "scalar", read_scalar_quantization<V>))
        return *config;
    if (auto config = detail::read_quantization_variant<1>(value, "product", read_product_quantization<V>))
        return *config;
    if (auto config = detail::read_quantization_variant<2>(value, "binary", read_binary_quantization<V>))
        return *config;
    if (auto config = detail::read_quantization_variant<3>(value, "turbo", read_turbo_quantization<V>)) return *config;
    return read_failure("data did not match any variant of untagged enum QuantizationConfig");
}

}  // namespace zorv::protocol
