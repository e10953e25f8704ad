#include "corpus.h"

#include <cstdio>
#include <random>

namespace zorv::bench {
namespace {

std::string vector_literal(std::mt19937& rng, int dims) {
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::string out = "[";
    char buf[32];
    for (int i = 0; i < dims; ++i) {
        if (i) out += ", ";
        std::snprintf(buf, sizeof buf, "%.6f", dist(rng));
        out += buf;
    }
    return out + "]";
}

}  // namespace

std::string mixed_script(std::size_t min_bytes) {
    static const char* fixed[] = {
        "QUERY TEXT 'wireless noise cancelling headphones' USING sparse FROM products "
        "WHERE category = 'audio' AND price BETWEEN 50 AND 300 LIMIT 20;\n",
        "-- hybrid search with fusion\nQUERY FUSION RRF PREFETCH (QUERY TEXT \"red shoes\" USING bm25 LIMIT 100), "
        "(QUERY TEXT 'red shoes' USING dense LIMIT 100) FROM shop WHERE in_stock = true LIMIT 10;\n",
        "UPSERT INTO docs VALUES (42, {\"title\": 'It''s here', \"tags\": ['a', 'b'], \"score\": 0.75});\n",
        "SCROLL FROM events WHERE payload.user.id = 'u-1' AND ts >= '2024-01-01T00:00:00Z' LIMIT 100;\n",
        "DELETE FROM docs WHERE id IN (1, 2, 3, 'a3f1c2d4-0000-4000-8000-000000000001');\n",
        "CREATE COLLECTION reviews (VECTOR dense SIZE 384 DISTANCE COSINE, SPARSE bm25) WITH (hnsw_m = 16);\n",
        "QUERY RECOMMEND POSITIVE (1, 2) NEGATIVE (3) FROM docs USING dense WHERE tags[].name != 'x' LIMIT 5;\n",
        "QUERY FORMULA score * 0.5 + exp(-1.5 * distance) FROM places LIMIT 10 OFFSET 20;\n",
    };
    std::mt19937 rng(7);
    std::string out;
    out.reserve(min_bytes + 8192);
    std::size_t i = 0;
    while (out.size() < min_bytes) {
        out += fixed[i % (sizeof fixed / sizeof *fixed)];
        if (i % 4 == 0) {
            out += "QUERY " + vector_literal(rng, 64) + " FROM docs USING dense WHERE lang = :lang LIMIT ?;\n";
        }
        ++i;
    }
    return out;
}

}  // namespace zorv::bench
