#include "runtime/executor/prepare.h"

#include <utility>

#include "runtime/executor/prepare_collection.h"
#include "runtime/executor/prepare_query.h"
#include "runtime/executor/prepare_upsert.h"

namespace zorv::runtime {

// Only these four kinds need the server's view or the embedder; BATCH members are not prepared.
AsyncResult<core::Statement> prepare_statement(Executor& executor, core::Statement statement) {
    using Kind = core::StatementKind;
    core::Result<void> done;
    switch (statement.kind()) {
        case Kind::Query: done = co_await prepare_query(executor, *statement.get<Kind::Query>()); break;
        case Kind::Upsert: done = co_await prepare_upsert(executor, *statement.get<Kind::Upsert>()); break;
        case Kind::CreateCollection:
            done = co_await complete_create_collection(executor, *statement.get<Kind::CreateCollection>());
            break;
        case Kind::AlterCollection:
            done = co_await check_alter_collection(executor, *statement.get<Kind::AlterCollection>());
            break;
        default: break;
    }
    if (!done) co_return std::unexpected(std::move(done).error());
    co_return std::move(statement);
}

}  // namespace zorv::runtime
