#include "plan/collection_config.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

#include "core/diagnostics.h"
#include "core/text.h"
#include "plan/values.h"

namespace zorv::plan {

namespace {

using Kind = core::Literal::Kind;

std::string turbo_bits(double bits) {
    static constexpr std::array<std::pair<double, std::string_view>, 4> kNamed = {{
        {1.5, "bits1_5"},
        {2.0, "bits2"},
        {4.0, "bits4"},
        {1.0, "bits1"},
    }};
    for (const auto& [value, name] : kNamed) {
        if (std::fabs(bits - value) < std::numeric_limits<double>::epsilon()) return std::string(name);
    }
    std::array<char, 32> buf{};
    auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), bits);
    return "bits" + std::string(buf.data(), end);
}

// 2^64 is exact as a double; anything below it that is integral converts without loss.
std::optional<std::uint64_t> exact_u64(double x) {
    if (!(x >= 0.0) || x >= 18446744073709551616.0 || std::trunc(x) != x) return std::nullopt;
    return static_cast<std::uint64_t>(x);
}

core::Result<std::optional<std::uint64_t>> read_integer_option(const OptionList& options, std::string_view name,
                                                               std::uint64_t min, std::string_view rule) {
    const core::Literal* value = find_option(options, name);
    if (value == nullptr) return std::nullopt;
    std::optional<std::uint64_t> n;
    if (value->is(Kind::Int) && value->as_int() >= 0) n = static_cast<std::uint64_t>(value->as_int());
    if (value->is(Kind::Float)) n = exact_u64(value->as_float());
    if (!n || *n < min)
        return std::unexpected(collection_config_error(std::string(name) + " must be " + std::string(rule), value));
    return n;
}

PlanVectorParams lower_dense_vector(const core::DenseVectorDef& def) {
    PlanVectorParams params;
    params.size = def.size;
    params.distance = def.distance;
    params.hnsw_config = def.hnsw;
    if (def.quantization) params.quantization_config = lower_quantization(*def.quantization);
    if (def.vectors) {
        params.on_disk = def.vectors->on_disk;
        params.memory = def.vectors->memory;
        params.datatype = def.vectors->datatype;
    }
    params.multivector = def.multivector;
    return params;
}

PlanSparseModifier sparse_modifier(const std::string& text) {
    return core::equals_ignore_case(text, "none") ? PlanSparseModifier::None : PlanSparseModifier::Idf;
}

void apply_params(PlanCollectionConfig& config, const core::CollectionParamsSettings& params) {
    config.replication_factor = params.replication_factor;
    config.write_consistency_factor = params.write_consistency_factor;
    config.read_fan_out_factor = params.read_fan_out_factor;
    config.read_fan_out_delay_ms = params.read_fan_out_delay_ms;
    config.shard_number = params.shard_number;
    config.on_disk_payload = params.on_disk_payload;
    config.payload_memory = params.payload_memory;
    if (params.sharding_method) {
        config.sharding_method = core::equals_ignore_case(*params.sharding_method, "custom")
                                     ? PlanShardingMethod::Custom
                                     : PlanShardingMethod::Auto;
    }
    if (params.shard_keys) {
        auto& keys = config.shard_keys.emplace();
        keys.reserve(params.shard_keys->size());
        for (const core::ShardKey& key : *params.shard_keys) keys.push_back(to_plan_shard_key(key));
    }
}

constexpr std::array<std::string_view, 3> kWalOptions = {"wal_capacity_mb", "wal_segments_ahead", "wal_retain_closed"};

core::Result<PlanWalConfig> lower_wal(const OptionList& options) {
    for (const auto& [name, value] : options) {
        bool known = false;
        for (std::string_view option : kWalOptions) known = known || core::equals_ignore_case(name, option);
        if (!known) {
            return std::unexpected(
                collection_config_error("unknown WAL parameter " + core::quote_for_message(name) +
                                        ". Expected: wal_capacity_mb, wal_segments_ahead, wal_retain_closed"));
        }
    }
    PlanWalConfig wal;
    wal.wal_capacity_mb = ZORV_TRY(read_positive_option(options, "wal_capacity_mb"));
    wal.wal_segments_ahead = ZORV_TRY(read_nonnegative_option(options, "wal_segments_ahead"));
    wal.wal_retain_closed = ZORV_TRY(read_nonnegative_option(options, "wal_retain_closed"));
    return wal;
}

// The collection-wide storage clause fills what each vector left unset.
void fill_storage(PlanVectorParams& params, const core::VectorStorageSettings& storage) {
    if (!params.on_disk) params.on_disk = storage.on_disk;
    if (!params.memory) params.memory = storage.memory;
    if (!params.datatype) params.datatype = storage.datatype;
}

void fill_storage(PlanVectors& vectors, const core::VectorStorageSettings& storage) {
    if (auto* single = std::get_if<PlanVectorParams>(&vectors)) {
        fill_storage(*single, storage);
        return;
    }
    for (auto& [name, params] : std::get<VectorNameMap<PlanVectorParams>>(vectors)) fill_storage(params, storage);
}

core::Result<void> apply_settings(PlanCollectionConfig& config, const core::CollectionSettings& settings) {
    if (settings.hnsw) config.hnsw_config = settings.hnsw;
    if (settings.optimizers) config.optimizers_config = lower_optimizers_config(*settings.optimizers);
    if (settings.params) apply_params(config, *settings.params);
    if (settings.quantization) config.quantization_config = lower_quantization(*settings.quantization);
    if (settings.wal) config.wal_config = ZORV_TRY(lower_wal(*settings.wal));
    if (settings.strict_mode) config.strict_mode_config = ZORV_TRY(lower_strict_mode(*settings.strict_mode));
    if (settings.metadata) config.metadata = settings.metadata;
    if (settings.vectors && config.vectors) fill_storage(*config.vectors, *settings.vectors);
    return {};
}

}  // namespace

core::ZorvError collection_config_error(std::string message, const core::Literal* value) {
    std::optional<core::Span> span;
    if (value != nullptr && value->is_placeholder()) span = value->as_placeholder().span.get();
    return core::make_error(core::Diag::PlanCollectionConfig, std::move(message), span);
}

PlanQuantization lower_quantization(const core::QuantizationSettings& settings) {
    PlanQuantization out;
    switch (settings.qtype) {
        case core::QuantizationKind::Scalar: out.kind = PlanQuantization::Scalar{"int8", settings.quantile}; break;
        case core::QuantizationKind::Binary:
            out.kind = PlanQuantization::Binary{settings.encoding, settings.query_encoding};
            break;
        case core::QuantizationKind::Product:
            out.kind = PlanQuantization::Product{settings.compression ? core::to_ascii_lower(*settings.compression)
                                                                      : std::string("x4")};
            break;
        case core::QuantizationKind::Turbo: {
            PlanQuantization::Turbo turbo;
            if (settings.bits) turbo.bits = turbo_bits(*settings.bits);
            out.kind = std::move(turbo);
            break;
        }
    }
    // The clause has no way to say always_ram = false apart from leaving it out.
    if (settings.always_ram) out.always_ram = true;
    out.memory = settings.memory;
    return out;
}

PlanOptimizersConfig lower_optimizers_config(const core::OptimizerSettings& o) {
    PlanOptimizersConfig out{o.deleted_threshold,      o.vacuum_min_vector_number,
                             o.default_segment_number, o.max_segment_size,
                             o.memmap_threshold,       o.indexing_threshold,
                             o.flush_interval_sec,     std::nullopt,
                             o.prevent_unoptimized};
    if (o.max_optimization_threads) {
        const core::ThreadCount& threads = *o.max_optimization_threads;
        out.max_optimization_threads = threads.auto_ ? PlanThreadCount(ThreadsAuto{}) : PlanThreadCount(threads.value);
    }
    return out;
}

const core::Literal* find_option(const OptionList& options, std::string_view name) {
    for (const auto& [key, value] : options) {
        if (core::equals_ignore_case(key, name)) return &value;
    }
    return nullptr;
}

core::Result<std::optional<std::uint64_t>> read_nonnegative_option(const OptionList& options, std::string_view name) {
    return read_integer_option(options, name, 0, "a non-negative integer");
}

core::Result<std::optional<std::uint64_t>> read_positive_option(const OptionList& options, std::string_view name) {
    return read_integer_option(options, name, 1, "a positive integer");
}

core::Result<PlanCollectionConfig> lower_create_collection(const core::CreateCollection& create) {
    PlanCollectionConfig config;
    VectorNameMap<PlanVectorParams> dense;
    for (const core::DenseVectorDef& def : create.vectors) dense.insert_or_assign(def.name, lower_dense_vector(def));
    VectorNameMap<PlanSparseVectorParams> sparse;
    for (const core::SparseVectorDef& def : create.sparse_vectors) {
        PlanSparseVectorParams params{def.index,
                                      def.modifier ? sparse_modifier(*def.modifier) : PlanSparseModifier::Idf};
        sparse.insert_or_assign(def.name, params);
    }
    if (!dense.empty()) config.vectors = PlanVectors(std::move(dense));
    if (!sparse.empty()) config.sparse_vectors = std::move(sparse);
    if (create.config) ZORV_CHECK(apply_settings(config, **create.config));
    return config;
}

}  // namespace zorv::plan
