// Decoding large point replies: 10,000 hits with a 768-d vector and a small payload each (MB/s
// and hits/s), and a grouped query of 1,000 groups.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdint>
#include <string>

#include "plan/plan_op.h"
#include "runtime/rest/decode_reply.h"
#include "runtime/rest/reply_json.h"

namespace {

using zorv::plan::PlanOpKind;

constexpr int hit_count = 10'000;
constexpr int dimension = 768;
constexpr int group_count = 1'000;

void append_float(std::string& out, float x) {
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, x);
    out.append(buffer, written.ptr);
}

// One point as the server writes it: id, version, score, payload, vector.
void append_hit(std::string& out, int id, bool with_vector) {
    out += "{\"id\":" + std::to_string(id) + ",\"version\":3,\"score\":";
    append_float(out, 1.0F / static_cast<float>(id + 1));
    out += ",\"payload\":{\"title\":\"Document number " + std::to_string(id) +
           "\",\"city\":\"Oslo\",\"year\":" + std::to_string(1990 + id % 30) +
           ",\"price\":12.5,\"tags\":[\"a\",\"b\",\"c\"],\"meta\":{\"source\":\"crawl\",\"rank\":" +
           std::to_string(id % 7) + "}}";
    if (with_vector) {
        out += ",\"vector\":[";
        for (int i = 0; i < dimension; ++i) {
            if (i > 0) out += ',';
            append_float(out, static_cast<float>((id * 31 + i * 17) % 1000) / 997.0F - 0.5F);
        }
        out += ']';
    }
    out += '}';
}

std::string hits_reply() {
    std::string out = R"({"result":{"points":[)";
    for (int id = 0; id < hit_count; ++id) {
        if (id > 0) out += ',';
        append_hit(out, id, true);
    }
    return out + R"(]},"status":"ok","time":0.25,"usage":{"hardware":{"cpu":12,"vector_io_read":4096}}})";
}

std::string groups_reply() {
    std::string out = R"({"result":{"groups":[)";
    for (int g = 0; g < group_count; ++g) {
        if (g > 0) out += ',';
        out += "{\"id\":\"group-" + std::to_string(g) + "\",\"hits\":[";
        for (int h = 0; h < 3; ++h) {
            if (h > 0) out += ',';
            append_hit(out, g * 3 + h, false);
        }
        out += "]}";
    }
    return out + R"(]},"status":"ok","time":0.01})";
}

template <PlanOpKind K>
void parse_and_decode(benchmark::State& state, const std::string& reply, std::int64_t items) {
    const zorv::plan::PlanOp op = zorv::plan::make_op<K>();
    for (auto _ : state) {
        auto document = zorv::runtime::rest::parse_reply_json(reply, "http://localhost/collections/c", "zorv-1");
        if (!document) {
            state.SkipWithError(document.error().message.c_str());
            return;
        }
        auto decoded = zorv::runtime::rest::decode_rest_reply(op, document->root());
        if (!decoded) {
            state.SkipWithError(decoded.error().message.c_str());
            return;
        }
        benchmark::DoNotOptimize(decoded->data);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(reply.size()));
    state.SetItemsProcessed(state.iterations() * items);
}

// Parse and decode, as the backend does for one reply.
void BM_HitsReplyParseAndDecode(benchmark::State& state) {
    static const std::string reply = hits_reply();
    parse_and_decode<PlanOpKind::Query>(state, reply, hit_count);
}
BENCHMARK(BM_HitsReplyParseAndDecode)->Unit(benchmark::kMillisecond);

// The decoder alone over an already parsed reply.
void BM_HitsReplyDecode(benchmark::State& state) {
    static const std::string reply = hits_reply();
    auto document = zorv::runtime::rest::parse_reply_json(reply, "http://localhost/collections/c", "zorv-1");
    const zorv::plan::PlanOp op = zorv::plan::make_op<PlanOpKind::Query>();
    for (auto _ : state) {
        auto decoded = zorv::runtime::rest::decode_rest_reply(op, document->root());
        benchmark::DoNotOptimize(decoded->data);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(reply.size()));
    state.SetItemsProcessed(state.iterations() * hit_count);
}
BENCHMARK(BM_HitsReplyDecode)->Unit(benchmark::kMillisecond);

void BM_GroupsReplyParseAndDecode(benchmark::State& state) {
    static const std::string reply = groups_reply();
    parse_and_decode<PlanOpKind::QueryGroups>(state, reply, group_count);
}
BENCHMARK(BM_GroupsReplyParseAndDecode)->Unit(benchmark::kMicrosecond);

}  // namespace
