// Decoding a large collection-information reply: 50 named dense vectors (half with per-vector
// HNSW and quantization settings) and 200 payload indexes, with typed collection settings.
#include <benchmark/benchmark.h>

#include <string>

#include "runtime/rest/collection_info.h"
#include "runtime/rest/reply_json.h"

namespace {

std::string collection_reply() {
    std::string vectors;
    for (int v = 0; v < 50; ++v) {
        if (v > 0) vectors += ',';
        vectors.append("\"vector_").append(std::to_string(v)).append("\":{\"size\":").append(std::to_string(128 + v));
        vectors.append(",\"distance\":\"Cosine\"");
        if (v % 2 == 0)
            vectors +=
                ",\"hnsw_config\":{\"m\":32,\"ef_construct\":200},\"quantization_config\":{\"scalar\":"
                "{\"type\":\"int8\",\"quantile\":0.99}},\"on_disk\":true,\"datatype\":\"float16\"";
        vectors += '}';
    }
    std::string indexes;
    const char* types[] = {"keyword", "integer", "float", "datetime", "uuid"};
    for (int i = 0; i < 200; ++i) {
        if (i > 0) indexes += ',';
        const std::string type = types[i % 5];
        indexes.append("\"field_").append(std::to_string(i)).append("\":{\"data_type\":\"").append(type);
        indexes.append("\",\"params\":{\"type\":\"").append(type).append("\",\"is_tenant\":");
        indexes.append(i % 3 == 0 ? "true" : "false").append(",\"on_disk\":false},\"points\":");
        indexes.append(std::to_string(i * 1000)).append("}");
    }
    return R"({"result":{"status":"green","optimizer_status":"ok","indexed_vectors_count":120000,"points_count":250000,)"
           R"("segments_count":8,"config":{"params":{"vectors":{)" +
           vectors +
           R"(},"shard_number":2,"replication_factor":1,"write_consistency_factor":1,"on_disk_payload":true,)"
           R"("sparse_vectors":{"bm25":{"modifier":"idf"},"splade":{"index":{"on_disk":true}}}},)"
           R"("hnsw_config":{"m":16,"ef_construct":128,"full_scan_threshold":10000,"max_indexing_threads":0,"on_disk":false},)"
           R"("optimizer_config":{"deleted_threshold":0.2,"vacuum_min_vector_number":1000,"default_segment_number":4,)"
           R"("max_segment_size":null,"memmap_threshold":null,"indexing_threshold":10000,"flush_interval_sec":5,)"
           R"("max_optimization_threads":null},"wal_config":{"wal_capacity_mb":32,"wal_segments_ahead":0},)"
           R"("quantization_config":{"scalar":{"type":"int8","quantile":0.99,"always_ram":true}}},"payload_schema":{)" +
           indexes + R"(}},"status":"ok","time":0.0002})";
}

// Parse and decode, as the backend does for one reply.
void BM_CollectionInfoParseAndDecode(benchmark::State& state) {
    const std::string reply = collection_reply();
    for (auto _ : state) {
        auto document = zorv::runtime::rest::parse_reply_json(reply, "http://localhost/collections/c", "zorv-1");
        auto schema = zorv::runtime::rest::decode_collection_info(document->root());
        if (!schema) {
            state.SkipWithError(schema.error().message.c_str());
            return;
        }
        benchmark::DoNotOptimize(schema->schema.vectors.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * reply.size()));
}
BENCHMARK(BM_CollectionInfoParseAndDecode)->Unit(benchmark::kMicrosecond);

// The decoder alone over an already parsed reply.
void BM_CollectionInfoDecode(benchmark::State& state) {
    const std::string reply = collection_reply();
    auto document = zorv::runtime::rest::parse_reply_json(reply, "http://localhost/collections/c", "zorv-1");
    if (!document) {
        state.SkipWithError(document.error().message.c_str());
        return;
    }
    for (auto _ : state) {
        auto schema = zorv::runtime::rest::decode_collection_info(document->root());
        benchmark::DoNotOptimize(schema->schema.payload_indexes.data());
    }
}
BENCHMARK(BM_CollectionInfoDecode)->Unit(benchmark::kMicrosecond);

}  // namespace
