#include "core/fmt/statement.h"

#include "core/fmt/mutation.h"
#include "core/fmt/query.h"
#include "core/fmt/read.h"
#include "core/fmt/values.h"

namespace zorv::core {

void write_statement(TextSink& sink, const Statement& statement) {
    switch (statement.kind()) {
        case StatementKind::ShowCollections: sink.text("SHOW COLLECTIONS"); return;
        case StatementKind::ShowQuotas: sink.text("SHOW QUOTAS"); return;
        case StatementKind::ShowCollection:
            sink.text("SHOW COLLECTION ").identifier(statement.get<StatementKind::ShowCollection>().name);
            return;
        case StatementKind::ShowShardKeys:
            sink.text("SHOW SHARD KEYS ON COLLECTION ").identifier(statement.get<StatementKind::ShowShardKeys>().name);
            return;
        case StatementKind::Query: write_query_statement(sink, *statement.get<StatementKind::Query>()); return;
        case StatementKind::Scroll: write_scroll(sink, *statement.get<StatementKind::Scroll>()); return;
        case StatementKind::Count: write_count(sink, *statement.get<StatementKind::Count>()); return;
        case StatementKind::Facet: write_facet(sink, *statement.get<StatementKind::Facet>()); return;
        case StatementKind::Upsert: write_upsert(sink, *statement.get<StatementKind::Upsert>()); return;
        case StatementKind::Delete: write_delete(sink, *statement.get<StatementKind::Delete>()); return;
        case StatementKind::ClearPayload:
            write_clear_payload(sink, *statement.get<StatementKind::ClearPayload>());
            return;
        case StatementKind::DeletePayload:
            write_delete_payload(sink, *statement.get<StatementKind::DeletePayload>());
            return;
        case StatementKind::DeleteVector:
            write_delete_vector(sink, *statement.get<StatementKind::DeleteVector>());
            return;
        case StatementKind::UpdateVector:
            write_update_vector(sink, *statement.get<StatementKind::UpdateVector>());
            return;
        case StatementKind::UpdatePayload:
            write_update_payload(sink, *statement.get<StatementKind::UpdatePayload>());
            return;
        // Kinds whose records have not landed yet have no form of their own.
        case StatementKind::CreateCollection:
        case StatementKind::CreateIndex:
        case StatementKind::DropIndex:
        case StatementKind::CreateShardKey:
        case StatementKind::DropShardKey:
        case StatementKind::AlterCollection:
        case StatementKind::DropCollection:
        case StatementKind::SetQuota:
        case StatementKind::Batch: return;
    }
}

std::string format_statement(const Statement& statement) { return print_to_string(write_statement, statement); }

}  // namespace zorv::core
