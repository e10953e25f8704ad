// BM25 encoding throughput (targets on one core: documents >= 50 MB/s of English prose, one
// unbroken 1 MB token under Prefix >= 10 MB/s, and 4 MB costing about 4x as much).
#include <benchmark/benchmark.h>

#include <string>

#include "embed/bm25_encoder.h"

namespace {

using zorv::embed::Bm25Encoder;
using zorv::embed::Bm25Settings;

Bm25Encoder make_encoder(const Bm25Settings& settings) {
    return zorv::embed::build_bm25_encoder(zorv::embed::build_bm25_config(settings).value());
}

// English prose with some variety of words, stop words and punctuation.
std::string english_prose(std::size_t min_bytes) {
    static const char* const sentences[] = {
        "The quick brown fox jumps over the lazy dog, while the farmers were running to their fields. ",
        "Researchers discovered that vector databases index embeddings for approximate nearest neighbour search. ",
        "In the morning she walked along the river and counted 42 boats drifting slowly towards the harbour. ",
        "Sparse vectors keep only the terms that occur in a document, weighted by saturation and length. ",
        "Nobody expected the committee's decision; it changed how cities planned their public transport. ",
    };
    std::string text;
    for (std::size_t i = 0; text.size() < min_bytes; ++i) text += sentences[(i * 7 + i / 5) % 5];
    return text;
}

void BM_EncodeDocumentProse(benchmark::State& state) {
    const Bm25Encoder encoder = make_encoder({});
    const std::string text = english_prose(1 << 20);
    for (auto _ : state) {
        auto vector = zorv::embed::encode_document(encoder, text);
        benchmark::DoNotOptimize(vector->indices.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_EncodeDocumentProse)->Unit(benchmark::kMillisecond);

void BM_EncodeQuery(benchmark::State& state) {
    const Bm25Encoder encoder = make_encoder({});
    const std::string text = "Which vector databases index running embeddings for nearest neighbour search?";
    for (auto _ : state) {
        auto vector = zorv::embed::encode_query(encoder, text);
        benchmark::DoNotOptimize(vector->indices.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_EncodeQuery);

void BM_BuildEncoder(benchmark::State& state) {
    const auto config = zorv::embed::build_bm25_config({}).value();
    for (auto _ : state) {
        Bm25Encoder encoder = zorv::embed::build_bm25_encoder(config);
        benchmark::DoNotOptimize(encoder.stopwords.size());
    }
}
BENCHMARK(BM_BuildEncoder);

// One unbroken token of state.range(0) MB under Prefix: linear in its length.
void BM_PrefixLongToken(benchmark::State& state) {
    const Bm25Encoder encoder = make_encoder({.tokenizer = "prefix", .stemmer = "none"});
    const std::string text(static_cast<std::size_t>(state.range(0)) << 20, 'x');
    for (auto _ : state) {
        auto vector = zorv::embed::encode_document(encoder, text);
        benchmark::DoNotOptimize(vector->indices.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_PrefixLongToken)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);

}  // namespace
