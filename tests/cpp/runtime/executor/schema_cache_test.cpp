// The cache when the server refuses: a failed DDL operation leaves the entry where it was.
#include "runtime/executor/schema_cache.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "core/parser/parser.h"
#include "plan/planner.h"
#include "runtime/executor/fault_backend.h"
#include "runtime/rest/rest_fixture.h"

namespace zorv::runtime {
namespace {

using rest::test::run;

TEST(SchemaCacheFault, FailedDdlKeepsTheEntry) {
    const core::ZorvError refused("ZORV-BACKEND-HTTP", "Qdrant returned 500 Internal Server Error: busy",
                                  core::ErrorKind::Backend);
    for (const std::string text : {"DROP COLLECTION c", "DROP INDEX ON COLLECTION c FOR city",
                                   "ALTER COLLECTION c WITH HNSW (ef_construct = 120)"}) {
        auto backend = std::make_unique<test::FaultBackend>();
        backend->execute_failure = refused;
        auto executor = build_executor(std::move(backend), ExecutorSettings{}, nullptr);
        auto schema = std::make_shared<const protocol::CollectionSchema>();
        executor->schema_cache.insert("c", SchemaCacheEntry{schema, nullptr});

        auto op = plan::plan_statement(*core::parse_statement(text));
        ASSERT_TRUE(op) << text;
        auto reply = run(schema_for_dispatch(*executor, std::move(*op)));
        ASSERT_FALSE(reply) << text;
        EXPECT_EQ(core::format_error(reply.error()), core::format_error(refused)) << text;
        EXPECT_EQ(cached_schema(*executor, "c"), schema) << text;
    }
}

}  // namespace
}  // namespace zorv::runtime
