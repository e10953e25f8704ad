// Parser throughput: statements per second on realistic scripts.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "core/fmt/statement.h"
#include "core/parser/helpers.h"
#include "core/parser/parser.h"

namespace {

using namespace zorv::core;

std::string show_script() {
    static const char* forms[] = {
        "SHOW COLLECTIONS", "SHOW COLLECTION products",        "SHOW SHARD KEYS ON COLLECTION \"events-2024\"",
        "SHOW QUOTAS",      "show collection 'My Collection'",
    };
    std::string text;
    for (int i = 0; i < 256; ++i) {
        text += forms[i % 5];
        text += ";\n";
    }
    return text;
}

std::string vector_text(int dims) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::string text = "[";
    for (int i = 0; i < dims; ++i) {
        if (i) text += ", ";
        text += std::to_string(dist(rng));
    }
    return text + "]";
}

// Typical single-line QUERY statements: short vectors, filters, paging, hybrid and recommend forms.
const char* const kTypicalQueries[] = {
    "QUERY [0.12, -0.5, 0.33, 0.9] FROM docs LIMIT 10",
    "QUERY TEXT 'red running shoes' FROM shop USING sparse WHERE in_stock = true LIMIT 20",
    "QUERY [0.1, 0.2, 0.3, 0.4] FROM docs USING dense WHERE city = 'Berlin' AND price < 100 LIMIT 5 OFFSET 10",
    "QUERY RECOMMEND POSITIVE (1, 2, 3) NEGATIVE (7) FROM products USING image LIMIT 8",
    ("QUERY FUSION RRF FROM shop PREFETCH (QUERY TEXT 'tea' USING sparse LIMIT 50, QUERY [0.5, 0.1, 0.2, 0.7] "
     "USING dense LIMIT 50) LIMIT 10"),
    "QUERY ORDER BY price DESC FROM shop WHERE category IN ('a', 'b') LIMIT 25",
    "QUERY [0.3, 0.3, 0.1, 0.2] FROM docs WHERE tags[].name = 'news' AND year >= 2020 WITH PAYLOAD TRUE LIMIT 3",
    "QUERY SAMPLE RANDOM FROM docs LIMIT 5",
};

void BM_ParseTypicalQueries(benchmark::State& state) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        for (const char* text : kTypicalQueries) {
            auto r = parse_statement(text);
            if (!r) {
                state.SkipWithError(format_error(r.error()).c_str());
                return;
            }
            benchmark::DoNotOptimize(&*r);
        }
    }
    for (const char* text : kTypicalQueries) bytes += std::char_traits<char>::length(text);
    constexpr double n = std::size(kTypicalQueries);
    state.counters["statements/s"] = benchmark::Counter(n, benchmark::Counter::kIsIterationInvariantRate);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_ParseTypicalQueries);

// Canonical text of the same statements, already parsed.
void BM_FormatTypicalQueries(benchmark::State& state) {
    std::vector<Statement> statements;
    for (const char* text : kTypicalQueries) statements.push_back(*parse_statement(text));
    for (auto _ : state) {
        for (const Statement& statement : statements) {
            std::string text = format_statement(statement);
            benchmark::DoNotOptimize(text.data());
        }
    }
    state.counters["statements/s"] =
        benchmark::Counter(static_cast<double>(statements.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_FormatTypicalQueries);

void BM_ParseShowScript(benchmark::State& state) {
    const std::string text = show_script();
    for (auto _ : state) {
        auto r = parse_script(text);
        if (!r) {
            state.SkipWithError(format_error(r.error()).c_str());
            return;
        }
        benchmark::DoNotOptimize(r->data());
    }
    state.counters["statements/s"] = benchmark::Counter(256.0, benchmark::Counter::kIsIterationInvariantRate);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseShowScript);

// Lexing plus reading one 768-dimension vector literal, as a value-heavy statement does (the
// parser's lexing, as parse_statement uses it).
void BM_ParseVectorLiteral768(benchmark::State& state) {
    const std::string text = vector_text(768);
    for (auto _ : state) {
        auto tokens = lex_for_parser(text);
        Parser parser(text, std::move(*tokens));
        auto value = parse_literal(parser);
        if (!value) {
            state.SkipWithError(format_error(value.error()).c_str());
            return;
        }
        benchmark::DoNotOptimize(&*value);
    }
    state.counters["vectors/s"] = benchmark::Counter(1.0, benchmark::Counter::kIsIterationInvariantRate);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseVectorLiteral768);

// A bulk write: one UPSERT of 1,000 rows, each with a 384-dimension vector and two payload fields.
std::string bulk_upsert_text() {
    std::string text = "UPSERT INTO docs VALUES ";
    for (int i = 0; i < 1000; ++i) {
        if (i) text += ", ";
        text += "{id: " + std::to_string(i) + ", vector: " + vector_text(384) + ", title: 'document " +
                std::to_string(i) + "', year: " + std::to_string(1990 + i % 35) + "}";
    }
    return text;
}

void BM_ParseUpsert1000Rows384(benchmark::State& state) {
    const std::string text = bulk_upsert_text();
    for (auto _ : state) {
        auto r = parse_statement(text);
        if (!r) {
            state.SkipWithError(format_error(r.error()).c_str());
            return;
        }
        benchmark::DoNotOptimize(&*r);
    }
    state.counters["rows/s"] = benchmark::Counter(1000.0, benchmark::Counter::kIsIterationInvariantRate);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseUpsert1000Rows384)->Unit(benchmark::kMillisecond);

}  // namespace
