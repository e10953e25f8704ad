#include "runtime/grpc_route/collection_schema.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string>

#include "core/diagnostics.h"
#include "protocol/response.h"
#include "qdrant/collections.pb.h"
#include "runtime/grpc_route/proto_words.h"

namespace zorv::runtime::rpc {

namespace {

using plan::JsonObject;
using plan::JsonValue;
using protocol::StorageTier;

template <std::size_t N>
using Words = proto_words::Words<N>;

constexpr const auto& status_words = proto_words::status;
constexpr const auto& distance_words = proto_words::distance;
constexpr const auto& datatype_words = proto_words::datatype;
constexpr const auto& sharding_words = proto_words::sharding;
constexpr const auto& modifier_words = proto_words::modifier;
constexpr const auto& compression_words = proto_words::compression;
constexpr const auto& encoding_words = proto_words::encoding;
constexpr const auto& query_encoding_words = proto_words::query_encoding;
constexpr const auto& bits_words = proto_words::bits;
constexpr const auto& tokenizer_words = proto_words::tokenizer;
// Index 0 is the unknown type, which no index has: refused like any number past the table.
constexpr const auto& schema_words = proto_words::schema;

// Reads one collection's message; the first unknown number stops the reading.
class Reader {
public:
    explicit Reader(std::string_view collection) : collection_(collection) {}

    std::optional<core::ZorvError>& error() { return error_; }

    template <std::size_t N>
    std::string word(const Words<N>& words, int number, std::string_view what) {
        if (number >= 0 && static_cast<std::size_t>(number) < N && !words[static_cast<std::size_t>(number)].empty()) {
            return std::string(words[static_cast<std::size_t>(number)]);
        }
        refuse(what, number);
        return {};
    }

    // 1..3 are the tiers; 0 is none.
    std::optional<StorageTier> tier(int number) {
        if (number >= 1 && number <= 3) return static_cast<StorageTier>(number - 1);
        if (number != 0) refuse("memory tier", number);
        return std::nullopt;
    }

    void put_tier(JsonObject& object, bool has, int number) {
        if (!has) return;
        if (auto found = tier(number)) object.insert_or_assign("memory", std::string(storage_tier_word(*found)));
    }

    void refuse(std::string_view what, int number) {
        if (error_) return;
        error_ = core::make_error(core::Diag::BackendEnvelope, "collection info carries unknown " + std::string(what) +
                                                                   " " + std::to_string(number));
        error_->add_field("collection", std::string(collection_));
    }

private:
    std::string_view collection_;
    std::optional<core::ZorvError> error_;
};

JsonObject hnsw_object(Reader& reader, const qdrant::HnswConfigDiff& hnsw) {
    JsonObject out;
    if (hnsw.has_m()) out.insert_or_assign("m", std::uint64_t{hnsw.m()});
    if (hnsw.has_ef_construct()) out.insert_or_assign("ef_construct", std::uint64_t{hnsw.ef_construct()});
    if (hnsw.has_full_scan_threshold()) {
        out.insert_or_assign("full_scan_threshold", std::uint64_t{hnsw.full_scan_threshold()});
    }
    if (hnsw.has_max_indexing_threads()) {
        out.insert_or_assign("max_indexing_threads", std::uint64_t{hnsw.max_indexing_threads()});
    }
    if (hnsw.has_payload_m()) out.insert_or_assign("payload_m", std::uint64_t{hnsw.payload_m()});
    if (hnsw.has_on_disk()) out.insert_or_assign("on_disk", hnsw.on_disk());
    if (hnsw.has_inline_storage()) out.insert_or_assign("inline_storage", hnsw.inline_storage());
    reader.put_tier(out, hnsw.has_memory(), hnsw.memory());
    return out;
}

protocol::HnswConfig hnsw_record(Reader& reader, const qdrant::HnswConfigDiff& hnsw) {
    protocol::HnswConfig out;
    if (hnsw.has_m()) out.m = hnsw.m();
    if (hnsw.has_ef_construct()) out.ef_construct = hnsw.ef_construct();
    if (hnsw.has_full_scan_threshold()) out.full_scan_threshold = hnsw.full_scan_threshold();
    if (hnsw.has_max_indexing_threads()) out.max_indexing_threads = hnsw.max_indexing_threads();
    if (hnsw.has_payload_m()) out.payload_m = hnsw.payload_m();
    if (hnsw.has_on_disk()) out.on_disk = hnsw.on_disk();
    if (hnsw.has_inline_storage()) out.inline_storage = hnsw.inline_storage();
    if (hnsw.has_memory()) out.memory = reader.tier(hnsw.memory());
    return out;
}

protocol::OptimizersConfig optimizers_record(const qdrant::OptimizersConfigDiff& config) {
    protocol::OptimizersConfig out;
    if (config.has_deleted_threshold()) out.deleted_threshold = config.deleted_threshold();
    if (config.has_vacuum_min_vector_number()) out.vacuum_min_vector_number = config.vacuum_min_vector_number();
    if (config.has_default_segment_number()) out.default_segment_number = config.default_segment_number();
    if (config.has_max_segment_size()) out.max_segment_size = config.max_segment_size();
    if (config.has_memmap_threshold()) out.memmap_threshold = config.memmap_threshold();
    if (config.has_indexing_threshold()) out.indexing_threshold = config.indexing_threshold();
    if (config.has_flush_interval_sec()) out.flush_interval_sec = config.flush_interval_sec();
    if (config.has_max_optimization_threads()) {
        const auto& threads = config.max_optimization_threads();
        if (threads.has_value()) {
            out.max_optimization_threads =
                protocol::OptimizerThreads{protocol::OptimizerThreads::ThreadCount{threads.value()}};
        } else if (threads.has_setting()) {
            out.max_optimization_threads = protocol::OptimizerThreads{protocol::OptimizerThreads::Auto{}};
        }
    }
    if (config.has_prevent_unoptimized()) out.prevent_unoptimized = config.prevent_unoptimized();
    return out;
}

std::optional<protocol::QuantizationConfig> quantization_record(Reader& reader, const qdrant::QuantizationConfig& q) {
    if (q.has_scalar()) {
        const auto& scalar = q.scalar();
        protocol::ScalarQuantization out{.type = "int8"};
        if (scalar.has_quantile()) out.quantile = protocol::score_f64(scalar.quantile());
        if (scalar.has_always_ram()) out.always_ram = scalar.always_ram();
        if (scalar.has_memory()) out.memory = reader.tier(scalar.memory());
        return out;
    }
    if (q.has_product()) {
        const auto& product = q.product();
        protocol::ProductQuantization out{.compression =
                                              reader.word(compression_words, product.compression(), "compression")};
        if (product.has_always_ram()) out.always_ram = product.always_ram();
        if (product.has_memory()) out.memory = reader.tier(product.memory());
        return out;
    }
    if (q.has_binary()) {
        const auto& binary = q.binary();
        protocol::BinaryQuantization out;
        if (binary.has_always_ram()) out.always_ram = binary.always_ram();
        if (binary.has_encoding()) out.encoding = reader.word(encoding_words, binary.encoding(), "binary encoding");
        if (binary.has_query_encoding() && binary.query_encoding().has_setting()) {
            out.query_encoding =
                reader.word(query_encoding_words, binary.query_encoding().setting(), "binary query encoding");
        }
        if (binary.has_memory()) out.memory = reader.tier(binary.memory());
        return out;
    }
    if (q.has_turboquant()) {
        const auto& turbo = q.turboquant();
        protocol::TurboQuantization out;
        if (turbo.has_bits()) out.bits = reader.word(bits_words, turbo.bits(), "turbo bits");
        if (turbo.has_always_ram()) out.always_ram = turbo.always_ram();
        if (turbo.has_memory()) out.memory = reader.tier(turbo.memory());
        return out;
    }
    return std::nullopt;
}

// {"scalar": {...}} and so on, the REST form of a vector's own quantization.
std::optional<JsonValue> quantization_json(Reader& reader, const qdrant::QuantizationConfig& q) {
    JsonObject inner;
    std::string method;
    if (q.has_scalar()) {
        method = "scalar";
        const auto& scalar = q.scalar();
        inner.insert_or_assign("type", "int8");
        if (scalar.has_quantile()) {
            const auto quantile = static_cast<double>(scalar.quantile());
            inner.insert_or_assign("quantile", std::isfinite(quantile) ? JsonValue(quantile) : JsonValue(nullptr));
        }
        if (scalar.has_always_ram()) inner.insert_or_assign("always_ram", scalar.always_ram());
        reader.put_tier(inner, scalar.has_memory(), scalar.memory());
    } else if (q.has_product()) {
        method = "product";
        const auto& product = q.product();
        inner.insert_or_assign("compression", reader.word(compression_words, product.compression(), "compression"));
        if (product.has_always_ram()) inner.insert_or_assign("always_ram", product.always_ram());
        reader.put_tier(inner, product.has_memory(), product.memory());
    } else if (q.has_binary()) {
        method = "binary";
        const auto& binary = q.binary();
        if (binary.has_always_ram()) inner.insert_or_assign("always_ram", binary.always_ram());
        if (binary.has_encoding()) {
            inner.insert_or_assign("encoding", reader.word(encoding_words, binary.encoding(), "binary encoding"));
        }
        if (binary.has_query_encoding() && binary.query_encoding().has_setting()) {
            inner.insert_or_assign("query_encoding",
                                   reader.word(query_encoding_words, binary.query_encoding().setting(),
                                               "binary query encoding"));
        }
        reader.put_tier(inner, binary.has_memory(), binary.memory());
    } else if (q.has_turboquant()) {
        method = "turbo";
        const auto& turbo = q.turboquant();
        if (turbo.has_always_ram()) inner.insert_or_assign("always_ram", turbo.always_ram());
        if (turbo.has_bits()) inner.insert_or_assign("bits", reader.word(bits_words, turbo.bits(), "turbo bits"));
        reader.put_tier(inner, turbo.has_memory(), turbo.memory());
    } else {
        return std::nullopt;
    }
    JsonObject outer;
    outer.insert_or_assign(method, std::move(inner));
    return JsonValue(std::move(outer));
}

protocol::DenseVectorInfo vector_info(Reader& reader, const qdrant::VectorParams& params,
                                      std::optional<std::string> name) {
    protocol::DenseVectorInfo out;
    out.name = std::move(name);
    out.size = params.size();
    out.distance = reader.word(distance_words, params.distance(), "distance");
    if (params.has_hnsw_config()) out.hnsw = hnsw_object(reader, params.hnsw_config());
    if (params.has_quantization_config()) out.quantization = quantization_json(reader, params.quantization_config());
    if (params.has_multivector_config()) {
        const int comparator = params.multivector_config().comparator();
        if (comparator != 0) reader.refuse("multivector comparator", comparator);
        JsonObject multivector;
        multivector.insert_or_assign("comparator", "max_sim");
        out.multivector = std::move(multivector);
    }
    if (params.has_on_disk()) out.on_disk = params.on_disk();
    if (params.has_datatype()) out.datatype = reader.word(datatype_words, params.datatype(), "datatype");
    if (params.has_memory()) {
        if (auto found = reader.tier(params.memory())) out.memory = std::string(storage_tier_word(*found));
    }
    return out;
}

protocol::SparseVectorInfo sparse_info(Reader& reader, const std::string& name, const qdrant::SparseVectorParams& p) {
    protocol::SparseVectorInfo out{.name = name, .index = std::nullopt, .modifier = std::nullopt};
    if (p.has_modifier()) out.modifier = reader.word(modifier_words, p.modifier(), "modifier");
    if (p.has_index()) {
        const auto& index = p.index();
        JsonObject object;
        if (index.has_full_scan_threshold()) {
            object.insert_or_assign("full_scan_threshold", std::uint64_t{index.full_scan_threshold()});
        }
        if (index.has_on_disk()) object.insert_or_assign("on_disk", index.on_disk());
        if (index.has_datatype()) {
            object.insert_or_assign("datatype", reader.word(datatype_words, index.datatype(), "datatype"));
        }
        reader.put_tier(object, index.has_memory(), index.memory());
        out.index = std::move(object);
    }
    return out;
}

// The index parameters the REST form carries, by kind; is_tenant also comes back on its own.
JsonObject index_params(Reader& reader, const qdrant::PayloadIndexParams& params, std::optional<bool>& is_tenant) {
    JsonObject out;
    auto on_disk = [&out](bool has, bool value) {
        if (has) out.insert_or_assign("on_disk", value);
    };
    switch (params.index_params_case()) {
        case qdrant::PayloadIndexParams::kKeywordIndexParams: {
            const auto& p = params.keyword_index_params();
            on_disk(p.has_on_disk(), p.on_disk());
            if (p.has_prefix()) out.insert_or_assign("prefix", true);
            if (p.has_is_tenant()) {
                out.insert_or_assign("is_tenant", p.is_tenant());
                is_tenant = p.is_tenant();
            }
            reader.put_tier(out, p.has_memory(), p.memory());
            break;
        }
        case qdrant::PayloadIndexParams::kIntegerIndexParams: {
            const auto& p = params.integer_index_params();
            on_disk(p.has_on_disk(), p.on_disk());
            if (p.has_is_principal()) out.insert_or_assign("is_principal", p.is_principal());
            reader.put_tier(out, p.has_memory(), p.memory());
            break;
        }
        case qdrant::PayloadIndexParams::kFloatIndexParams: {
            const auto& p = params.float_index_params();
            on_disk(p.has_on_disk(), p.on_disk());
            reader.put_tier(out, p.has_memory(), p.memory());
            break;
        }
        case qdrant::PayloadIndexParams::kGeoIndexParams: {
            const auto& p = params.geo_index_params();
            on_disk(p.has_on_disk(), p.on_disk());
            reader.put_tier(out, p.has_memory(), p.memory());
            break;
        }
        case qdrant::PayloadIndexParams::kBoolIndexParams: {
            const auto& p = params.bool_index_params();
            on_disk(p.has_on_disk(), p.on_disk());
            reader.put_tier(out, p.has_memory(), p.memory());
            break;
        }
        case qdrant::PayloadIndexParams::kDatetimeIndexParams: {
            const auto& p = params.datetime_index_params();
            on_disk(p.has_on_disk(), p.on_disk());
            reader.put_tier(out, p.has_memory(), p.memory());
            break;
        }
        case qdrant::PayloadIndexParams::kTextIndexParams: {
            const auto& p = params.text_index_params();
            if (p.has_lowercase()) out.insert_or_assign("lowercase", p.lowercase());
            on_disk(p.has_on_disk(), p.on_disk());
            out.insert_or_assign("tokenizer", reader.word(tokenizer_words, p.tokenizer(), "tokenizer"));
            if (p.has_min_token_len()) out.insert_or_assign("min_token_len", std::uint64_t{p.min_token_len()});
            if (p.has_max_token_len()) out.insert_or_assign("max_token_len", std::uint64_t{p.max_token_len()});
            break;
        }
        case qdrant::PayloadIndexParams::kUuidIndexParams: {
            const auto& p = params.uuid_index_params();
            on_disk(p.has_on_disk(), p.on_disk());
            if (p.has_is_tenant()) {
                out.insert_or_assign("is_tenant", p.is_tenant());
                is_tenant = p.is_tenant();
            }
            break;
        }
        case qdrant::PayloadIndexParams::INDEX_PARAMS_NOT_SET: break;
    }
    return out;
}

void read_params(Reader& reader, const qdrant::CollectionParams& params, protocol::CollectionSettings& out) {
    if (params.has_vectors_config()) {
        const auto& vectors = params.vectors_config();
        if (vectors.has_params()) {
            out.vectors.push_back(vector_info(reader, vectors.params(), std::nullopt));
        } else if (vectors.has_params_map()) {
            for (const auto& [name, vector] : vectors.params_map().map()) out.dense_vectors.push_back(name);
            std::ranges::sort(out.dense_vectors);
            for (const std::string& name : out.dense_vectors) {
                out.vectors.push_back(vector_info(reader, vectors.params_map().map().at(name), name));
            }
        }
    }
    if (params.has_sparse_vectors_config()) {
        for (const auto& [name, sparse] : params.sparse_vectors_config().map()) {
            out.sparse_vectors.push_back(sparse_info(reader, name, sparse));
        }
        std::ranges::sort(out.sparse_vectors, {}, &protocol::SparseVectorInfo::name);
    }
    out.params.shard_number = params.shard_number();
    if (params.has_replication_factor()) out.params.replication_factor = params.replication_factor();
    if (params.has_sharding_method()) {
        out.params.sharding_method = reader.word(sharding_words, params.sharding_method(), "sharding method");
    }
    out.params.on_disk_payload = params.on_disk_payload();
    if (params.has_payload() && params.payload().has_memory()) {
        if (auto found = reader.tier(params.payload().memory())) {
            out.params.payload_memory = std::string(storage_tier_word(*found));
        }
    }
}

}  // namespace

core::Result<protocol::CollectionSchema> collection_schema_from_proto(const qdrant::CollectionInfo& info,
                                                                      std::string_view collection) {
    Reader reader(collection);
    protocol::CollectionSchema out;
    out.status = reader.word(status_words, info.status(), "status");
    out.points_count = info.has_points_count() ? info.points_count() : 0;
    if (info.has_indexed_vectors_count()) out.indexed_vectors_count = info.indexed_vectors_count();
    out.segments_count = info.segments_count();

    if (info.has_config()) {
        const auto& config = info.config();
        if (config.has_params()) read_params(reader, config.params(), out.schema);
        if (config.has_hnsw_config()) out.schema.hnsw = hnsw_record(reader, config.hnsw_config());
        if (config.has_optimizer_config()) out.schema.optimizers = optimizers_record(config.optimizer_config());
        if (config.has_quantization_config()) {
            out.schema.quantization = quantization_record(reader, config.quantization_config());
        }
    }

    for (const auto& [field, entry] : info.payload_schema()) {
        protocol::PayloadIndexInfo index{.field = field, .data_type = {}, .params = {}, .is_tenant = std::nullopt};
        index.data_type = reader.word(schema_words, entry.data_type(), "schema type");
        if (entry.has_params()) index.params = index_params(reader, entry.params(), index.is_tenant);
        out.schema.payload_indexes.push_back(std::move(index));
    }
    std::ranges::sort(out.schema.payload_indexes, {}, &protocol::PayloadIndexInfo::field);

    if (reader.error()) return std::unexpected(std::move(*reader.error()));
    return out;
}

}  // namespace zorv::runtime::rpc
