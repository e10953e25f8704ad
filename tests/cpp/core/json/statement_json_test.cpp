#include "core/json/statement_json.h"

#include <gtest/gtest.h>
#include <simdjson.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/parser/parser.h"
#include "test_support.h"

namespace zorv::core {
namespace {

using test_support::must_parse;
using test_support::TextCase;

std::string json_of(const std::string& text) {
    std::string out;
    write_statement_json(must_parse(text), out);
    return out;
}

class StatementJson : public ::testing::TestWithParam<TextCase> {};

TEST_P(StatementJson, WritesTheCanonicalForm) { EXPECT_EQ(json_of(GetParam().input), GetParam().expected); }

// Bodies shared by many rows.
const std::string kNoOutput = R"("output":{"payload":null,"vectors":null})";

INSTANTIATE_TEST_SUITE_P(
    Kinds, StatementJson,
    ::testing::Values(
        TextCase{"SHOW COLLECTIONS", R"({"ShowCollections":{}})"}, TextCase{"SHOW QUOTAS", R"({"ShowQuotas":{}})"},
        TextCase{"SHOW COLLECTION articles", R"({"ShowCollection":"articles"})"},
        TextCase{"SHOW SHARD KEYS ON COLLECTION tenants", R"({"ShowShardKeys":"tenants"})"},
        TextCase{"DROP COLLECTION articles", R"({"DropCollection":{"collection":"articles"}})"},
        TextCase{"DROP INDEX ON COLLECTION articles FOR category",
                 R"({"DropIndex":{"collection":"articles","field":"category"}})"},
        TextCase{
            "DROP SHARD KEY ? ON COLLECTION tenants",
            R"({"DropShardKey":{"collection":"tenants","shard_key":{"PositionalParam":[0,{"start":15,"end":16}]}}})"},
        TextCase{"CREATE SHARD KEY 'us' ON COLLECTION t WITH (shards_number = 2, placement = [1, 5], "
                 "initial_state = 'partialsnapshot')",
                 R"({"CreateShardKey":{"collection":"t","shard_key":{"Keyword":"us"},"shards_number":2,)"
                 R"("replication_factor":null,"placement":[1,5],"initial_state":"PartialSnapshot"}})"},
        TextCase{
            "CREATE INDEX ON COLLECTION a FOR category",
            R"({"CreateIndex":{"collection":"a","field":"category","field_type":"keyword","options":[],"wait":null}})"},
        TextCase{"CREATE INDEX ON COLLECTION a FOR t TYPE keyword WITH (is_tenant = true) WAIT false",
                 R"({"CreateIndex":{"collection":"a","field":"t","field_type":"keyword",)"
                 R"("options":[["is_tenant",{"Bool":true}]],"wait":false}})"},
        TextCase{"DELETE FROM products WHERE id = 7",
                 R"({"Delete":{"collection":"products","selector":{"Id":{"Number":7}},"shard_key":null,"wait":null}})"},
        TextCase{
            "CLEAR PAYLOAD FROM products WHERE id = 7",
            R"({"ClearPayload":{"collection":"products","selector":{"Id":{"Number":7}},"shard_key":null,"wait":null}})"},
        TextCase{"DELETE FROM p WHERE id IN (1, 'u') SHARD 'eu' WAIT true",
                 R"({"Delete":{"collection":"p","selector":{"Ids":[{"Number":1},{"String":"u"}]},)"
                 R"("shard_key":{"Keyword":"eu"},"wait":true}})"},
        TextCase{
            "DELETE PAYLOAD price, stock.eu FROM p WHERE a = 1",
            R"({"DeletePayload":{"collection":"p","keys":["price","stock.eu"],)"
            R"("selector":{"Filter":{"Compare":{"field":"a","op":"Eq","value":{"Int":1}}}},"shard_key":null,"wait":null}})"},
        TextCase{"DELETE VECTOR image FROM docs WHERE id = 1 SHARD 3",
                 R"({"DeleteVector":{"collection":"docs","selector":{"Id":{"Number":1}},"vector_names":["image"],)"
                 R"("shard_key":{"Number":3},"wait":null}})"},
        TextCase{"UPDATE p SET PAYLOAD = {a: 1} WHERE id = 2",
                 R"({"UpdatePayload":{"collection":"p","selector":{"Id":{"Number":2}},"payload":[["a",{"Int":1}]],)"
                 R"("shard_key":null,"wait":null}})"},
        TextCase{"UPDATE p SET PAYLOAD = {a: 1} KEY 'stock' OVERWRITE WHERE id = 2",
                 R"({"UpdatePayload":{"collection":"p","selector":{"Id":{"Number":2}},"payload":[["a",{"Int":1}]],)"
                 R"("key":"stock","overwrite":true,"shard_key":null,"wait":null}})"},
        TextCase{
            "UPSERT INTO p VALUES {id: 1, price: 9.5}",
            R"({"Upsert":{"collection":"p","points":[{"id":{"Number":1},"vectors":null,"payload":[["price",{"Float":9.5}]]}],)"
            R"("embedding":null,"embed":[],"shard_key":null,"wait":null}})"},
        TextCase{
            "UPSERT INTO p VALUES {id: 1, vector: {a: [0.1], b: [1, 2]}}",
            R"({"Upsert":{"collection":"p","points":[{"id":{"Number":1},"vectors":{"Named":[["a",{"Dense":[0.1]}],)"
            R"(["b",{"Dense":[1.0,2.0]}]]},"payload":[]}],"embedding":null,"embed":[],"shard_key":null,"wait":null}})"},
        TextCase{"UPSERT INTO p VALUES ? WAIT true",
                 R"({"Upsert":{"collection":"p","points":[[0,{"start":21,"end":22}]],"embedding":null,"embed":[],)"
                 R"("shard_key":null,"wait":true}})"},
        TextCase{
            "UPSERT INTO p VALUES {id: 1, v: 3} UPDATE FILTER v < 3 UPDATE MODE insert_only SHARD 42",
            R"({"Upsert":{"collection":"p","points":[{"id":{"Number":1},"vectors":null,"payload":[["v",{"Int":3}]]}],)"
            R"("embedding":null,"embed":[],"update_filter":{"Compare":{"field":"v","op":"Lt","value":{"Int":3}}},)"
            R"("update_mode":"insert_only","shard_key":{"Number":42},"wait":null}})"},
        TextCase{
            "UPSERT INTO a VALUES {id: 5, body: 'B'} EMBED body INTO s USING SPARSE",
            R"({"Upsert":{"collection":"a","points":[{"id":{"Number":5},"vectors":null,"payload":[["body",{"Str":"B"}]]}],)"
            R"("embedding":null,"embed":[{"source_field":"body","target_vector":"s","kind":{"Sparse":{"model":null}}}],)"
            R"("shard_key":null,"wait":null}})"},
        TextCase{
            "UPSERT INTO a VALUES {id: 2, body: 'x'} USING MODEL 'bm25' ON body",
            R"({"Upsert":{"collection":"a","points":[{"id":{"Number":2},"vectors":null,"payload":[["body",{"Str":"x"}]]}],)"
            R"("embedding":{"Dense":{"model":"bm25","vector":null,"field":"body"}},"embed":[],"shard_key":null,"wait":null}})"},
        TextCase{
            "UPDATE p SET VECTOR VALUES {id: 1, vector: [0.5, 0.25]}",
            R"({"UpdateVector":{"collection":"p","points":[{"id":{"Number":1},"vectors":{"Unnamed":{"Dense":[0.5,0.25]}}}],)"
            R"("shard_key":null,"wait":null}})"},
        TextCase{
            "COUNT FROM p WHERE a IS NULL WITH (exact = true)",
            R"({"Count":{"collection":{"Explicit":"p"},"filter":{"IsNull":{"field":"a"}},"shard_key":null,"exact":true}})"},
        TextCase{"FACET color FROM p LIMIT :n",
                 R"({"Facet":{"key":"color","collection":{"Explicit":"p"},"filter":null,"limit":null,"exact":null,)"
                 R"("shard_key":null,"limit_param":":n","limit_span":{"start":25,"end":27}}})"},
        TextCase{
            "SCROLL FROM c LIMIT 10",
            R"({"Scroll":{"collection":"c","limit":10,"filter":null,"after":null,"order_by":null,"shard_key":null,)"
            R"("with_payload":null,"with_vector":null}})"},
        TextCase{
            "SCROLL FROM c WHERE a = 1 AFTER 100 ORDER BY price DESC START FROM 10 SHARD 'eu' WITH PAYLOAD true "
            "WITH VECTOR LIMIT :n",
            R"({"Scroll":{"collection":"c","limit":null,"filter":{"Compare":{"field":"a","op":"Eq","value":{"Int":1}}},)"
            R"("after":{"Number":100},"order_by":{"field":"price","direction":"Desc","start_from":{"Int":10}},)"
            R"("shard_key":{"Keyword":"eu"},"with_payload":"All","with_vector":"All","limit_param":":n",)"
            R"("limit_span":{"start":117,"end":119}}})"},
        TextCase{"SET QUOTA (max_collections = 100) WAIT TRUE",
                 R"({"SetQuota":{"config":[["max_collections",{"Int":100}]],"wait":true}})"},
        TextCase{
            "BATCH { DELETE FROM a WHERE id = 7; QUERY ? FROM b } PARAMS (exact = false)",
            R"({"Batch":{"statements":[{"Delete":{"collection":"a","selector":{"Id":{"Number":7}},"shard_key":null,)"
            R"("wait":null}},{"Query":{"ctes":[],"collection":{"Explicit":"b"},)"
            R"("expression":{"Nearest":{"input":{"PositionalParam":[0,{"start":42,"end":43}]},"using":null,"prefetch":[],)"
            R"("mmr":null}},"filter":null,"params":null,"score_threshold":null,"group":null,)" +
                kNoOutput +
                R"(,"page":{"limit":null,"offset":null},"shard_key":null}}],"wait":null,"params":{"hnsw_ef":null,"exact":false,)"
                R"("acorn":null,"max_selectivity":null,"indexed_only":null,"quantization":null,"rrf_k":null,"rrf_weights":null,)"
                R"("idf":null,"timeout":null,"consistency":null}}})"}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return "Case" + std::to_string(info.index); });

INSTANTIATE_TEST_SUITE_P(
    Queries, StatementJson,
    ::testing::Values(
        TextCase{
            "QUERY [0.1, 2] FROM c LIMIT 10",
            R"({"Query":{"ctes":[],"collection":{"Explicit":"c"},"expression":{"Nearest":{"input":{"Vector":{"Dense":[0.1,2.0]}},)"
            R"("using":null,"prefetch":[],"mmr":null}},"filter":null,"params":null,"score_threshold":null,"group":null,)" +
                kNoOutput + R"(,"page":{"limit":10,"offset":null},"shard_key":null}})"},
        TextCase{
            "QUERY SAMPLE RANDOM FROM c LIMIT :k OFFSET ?",
            R"({"Query":{"ctes":[],"collection":{"Explicit":"c"},"expression":"SampleRandom","filter":null,"params":null,)"
            R"("score_threshold":null,"group":null,)" +
                kNoOutput +
                R"(,"page":{"limit":null,"offset":null,"limit_param":":k","offset_param":"?0",)"
                R"("limit_span":{"start":33,"end":35},"offset_span":{"start":43,"end":44}},"shard_key":null}})"},
        TextCase{
            "QUERY TEXT :q MODEL 'm' OPTIONS {lang: 'en'} FROM d USING s AS SPARSE PARAMS (hnsw_ef = 128, "
            "consistency = 'majority') LIMIT 1",
            R"({"Query":{"ctes":[],"collection":{"Explicit":"d"},"expression":{"Nearest":{"input":{"Text":{"text":"","model":"m",)"
            R"("text_param":":q","options":[["lang",{"Str":"en"}]]}},"using":{"name":"s","kind":"Sparse","multi":false},)"
            R"("prefetch":[],"mmr":null}},"filter":null,"params":{"hnsw_ef":128,"exact":null,"acorn":null,"max_selectivity":null,)"
            R"("indexed_only":null,"quantization":null,"rrf_k":null,"rrf_weights":null,"idf":null,"timeout":null,)"
            R"("consistency":"Majority"},"score_threshold":null,"group":null,)" +
                kNoOutput + R"(,"page":{"limit":1,"offset":null},"shard_key":null}})"},
        TextCase{
            "QUERY RECOMMEND POSITIVE (1) STRATEGY sum_scores FROM m GROUP BY g WITH PAYLOAD INCLUDE (a, b) "
            "WITH VECTOR (v) LIMIT 2",
            R"({"Query":{"ctes":[],"collection":{"Explicit":"m"},"expression":{"Recommend":{"positive":[{"Point":{"Number":1}}],)"
            R"("negative":[],"strategy":"SumScores","using":null,"prefetch":[]}},"filter":null,"params":null,)"
            R"("score_threshold":null,"group":{"field":"g","size":null,"lookup":null},)"
            R"("output":{"payload":{"Include":["a","b"]},"vectors":{"Names":["v"]}},"page":{"limit":2,"offset":null},)"
            R"("shard_key":null}})"},
        TextCase{
            "QUERY FUSION DBSF FROM c PREFETCH (QUERY [1] USING d LIMIT 5) WHERE a != 'x' LIMIT 3",
            R"({"Query":{"ctes":[],"collection":{"Explicit":"c"},"expression":{"Fusion":{"method":"Dbsf","prefetch":[)"
            R"({"source":{"Query":{"ctes":[],"collection":"Inherited","expression":{"Nearest":{"input":{"Vector":)"
            R"({"Dense":[1.0]}},"using":{"name":"d","kind":null,"multi":false},"prefetch":[],"mmr":null}},"filter":null,)"
            R"("params":null,"score_threshold":null,"group":null,)" +
                kNoOutput +
                R"(,"page":{"limit":5,"offset":null},"shard_key":null}},"filter":null,"score_threshold":null,"lookup":null}]}},)"
                R"("filter":{"Not":{"operand":{"Compare":{"field":"a","op":"Eq","value":{"Str":"x"}}}}},"params":null,)"
                R"("score_threshold":null,"group":null,)" +
                kNoOutput + R"(,"page":{"limit":3,"offset":null},"shard_key":null}})"}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return "Case" + std::to_string(info.index); });

INSTANTIATE_TEST_SUITE_P(
    Nodes, StatementJson,
    ::testing::Values(
        TextCase{
            "QUERY FORMULA $score + boost DEFAULTS (boost = 0) FROM p PREFETCH (QUERY [0.4] USING d LIMIT 2) LIMIT 1",
            R"({"Query":{"ctes":[],"collection":{"Explicit":"p"},"expression":{"Formula":{"expression":{"Sum":{"left":)"
            R"({"Variable":{"name":"$score"}},"right":{"Variable":{"name":"boost"}}}},"defaults":[["boost",{"Int":0}]],)"
            R"("prefetch":[{"source":{"Query":{"ctes":[],"collection":"Inherited","expression":{"Nearest":{"input":)"
            R"({"Vector":{"Dense":[0.4]}},"using":{"name":"d","kind":null,"multi":false},"prefetch":[],"mmr":null}},)"
            R"("filter":null,"params":null,"score_threshold":null,"group":null,)" +
                kNoOutput +
                R"(,"page":{"limit":2,"offset":null},"shard_key":null}},"filter":null,"score_threshold":null,"lookup":null}]}},)"
                R"("filter":null,"params":null,"score_threshold":null,"group":null,)" +
                kNoOutput + R"(,"page":{"limit":1,"offset":null},"shard_key":null}})"},
        TextCase{
            "QUERY HYBRID TEXT :t FROM p LIMIT 1",
            R"({"Query":{"ctes":[],"collection":{"Explicit":"p"},"expression":{"Hybrid":{"text":"","model":null,)"
            R"("dense_vector":null,"sparse_vector":null,"fusion":"Rrf","text_param":":t"}},"filter":null,"params":null,)"
            R"("score_threshold":null,"group":null,)" +
                kNoOutput + R"(,"page":{"limit":1,"offset":null},"shard_key":null}})"},
        TextCase{
            "QUERY POINT 1 FROM p WHERE g GEO_RADIUS {center: {lat: 1.5, lon: 2}, radius: 1e16} AND n = "
            "18446744073709551615 "
            "AND m = -9223372036854775808 AND k IS NOT NULL AND d = {a: null, b: [1]} LIMIT 1",
            R"({"Query":{"ctes":[],"collection":{"Explicit":"p"},"expression":{"Nearest":{"input":{"Point":{"Number":1}},)"
            R"("using":null,"prefetch":[],"mmr":null}},"filter":{"And":{"operands":[{"GeoRadius":{"field":"g",)"
            R"("center":{"lat":1.5,"lon":2.0},"radius":1e+16}},{"Compare":{"field":"n","op":"Eq","value":)"
            R"({"UInt":18446744073709551615}}},{"Compare":{"field":"m","op":"Eq","value":{"Int":-9223372036854775808}}},)"
            R"({"Not":{"operand":{"IsNull":{"field":"k"}}}},{"Compare":{"field":"d","op":"Eq","value":{"Dict":)"
            R"([["a","Null"],["b",{"List":[{"Int":1}]}]]}}}]}},"params":null,"score_threshold":null,"group":null,)" +
                kNoOutput + R"(,"page":{"limit":1,"offset":null},"shard_key":null}})"},
        TextCase{
            "CREATE COLLECTION a (v VECTOR(4, COSINE))",
            R"({"CreateCollection":{"collection":"a","mode":{"Dense":{"model":null}},"vectors":[{"name":"v","size":4,)"
            R"("distance":"Cosine","hnsw":null,"quantization":null,"multivector":null,"vectors":null}],)"
            R"("sparse_vectors":[],"config":null}})"},
        TextCase{
            "CREATE COLLECTION r HYBRID RERANK",
            R"({"CreateCollection":{"collection":"r","mode":"Rerank","vectors":[],"sparse_vectors":[],"config":null}})"},
        TextCase{
            "CREATE COLLECTION i (c VECTOR(2, DOT) WITH QUANTIZATION (type = 'scalar', quantile = 0.99)) "
            "WITH HNSW (m = 16)",
            R"({"CreateCollection":{"collection":"i","mode":{"Dense":{"model":null}},"vectors":[{"name":"c","size":2,)"
            R"("distance":"Dot","hnsw":null,"quantization":{"qtype":"Scalar","always_ram":false,"quantile":0.99,)"
            R"("bits":null,"compression":null,"encoding":null,"query_encoding":null,"memory":null},"multivector":null,)"
            R"("vectors":null}],"sparse_vectors":[],"config":{"vectors":null,"hnsw":{"m":16,"ef_construct":null,)"
            R"("full_scan_threshold":null,"max_indexing_threads":null,"on_disk":null,"payload_m":null,)"
            R"("inline_storage":null,"memory":null},"optimizers":null,"params":null,"quantization":null,)"
            R"("quantization_update":null,"wal":null,"strict_mode":null,"metadata":null,"vector_diffs":[],)"
            R"("sparse_vector_diffs":[]}}})"},
        TextCase{
            "ALTER COLLECTION a WITH VECTOR e (QUANTIZATION (disabled = true)) WITH METADATA (x = 1)",
            R"({"AlterCollection":{"collection":"a","config":{"vectors":null,"hnsw":null,"optimizers":null,"params":null,)"
            R"("quantization":null,"quantization_update":null,"wal":null,"strict_mode":null,"metadata":[["x",{"Int":1}]],)"
            R"("vector_diffs":[{"name":"e","hnsw":null,"quantization":{"disabled":true,"config":null},"vectors":null}],)"
            R"("sparse_vector_diffs":[]}}})"}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return "Case" + std::to_string(info.index); });

TEST(StatementJsonList, WritesOneArrayWithoutBlanks) {
    auto statements = parse_script("SHOW COLLECTIONS; DROP COLLECTION a");
    ASSERT_TRUE(statements);
    std::string out;
    write_statement_list_json(*statements, out);
    EXPECT_EQ(out, R"([{"ShowCollections":{}},{"DropCollection":{"collection":"a"}}])");
    std::string empty;
    write_statement_list_json({}, empty);
    EXPECT_EQ(empty, "[]");
}

// Every statement of the corpora writes JSON that a strict reader accepts.
TEST(StatementJsonCorpus, EveryStatementWritesValidJson) {
    simdjson::dom::parser reader;
    for (const char* name : {"query_corpus.zorv", "mutation_corpus.zorv", "ddl_corpus.zorv"}) {
        std::ifstream in(std::string(ZORV_TEST_DATA_DIR) + "/" + name);
        ASSERT_TRUE(in) << name;
        std::string line;
        while (std::getline(in, line)) {
            if (line.find_first_not_of(" \t\r") == std::string::npos || line.starts_with("--")) continue;
            auto statements = parse_script(line);
            if (!statements) continue;  // the corpora hold some statements that fail on purpose
            std::string out;
            write_statement_list_json(*statements, out);
            simdjson::dom::element doc;
            EXPECT_EQ(reader.parse(out).get(doc), simdjson::SUCCESS) << line << "\n" << out;
        }
    }
}

}  // namespace
}  // namespace zorv::core
