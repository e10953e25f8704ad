#include "core/fmt/statement.h"

#include "core/fmt/query.h"
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
        // Kinds whose records have not landed yet have no form of their own.
        case StatementKind::Scroll:
        case StatementKind::Upsert:
        case StatementKind::CreateCollection:
        case StatementKind::CreateIndex:
        case StatementKind::DropIndex:
        case StatementKind::CreateShardKey:
        case StatementKind::DropShardKey:
        case StatementKind::AlterCollection:
        case StatementKind::DropCollection:
        case StatementKind::Delete:
        case StatementKind::ClearPayload:
        case StatementKind::DeletePayload:
        case StatementKind::DeleteVector:
        case StatementKind::UpdateVector:
        case StatementKind::UpdatePayload:
        case StatementKind::Count:
        case StatementKind::Facet:
        case StatementKind::SetQuota:
        case StatementKind::Batch: return;
    }
}

std::string format_statement(const Statement& statement) { return print_to_string(write_statement, statement); }

}  // namespace zorv::core
