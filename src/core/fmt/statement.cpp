#include "core/fmt/statement.h"

#include "core/fmt/query.h"
#include "core/fmt/values.h"

namespace zorv::core {

std::string format_statement(const Statement& statement) {
    switch (statement.kind()) {
        case StatementKind::ShowCollections: return "SHOW COLLECTIONS";
        case StatementKind::ShowQuotas: return "SHOW QUOTAS";
        case StatementKind::ShowCollection:
            return "SHOW COLLECTION " + format_identifier(statement.get<StatementKind::ShowCollection>().name);
        case StatementKind::ShowShardKeys:
            return "SHOW SHARD KEYS ON COLLECTION " +
                   format_identifier(statement.get<StatementKind::ShowShardKeys>().name);
        case StatementKind::Query: return format_query_statement(*statement.get<StatementKind::Query>());
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
        case StatementKind::Batch: return std::string();
    }
    return std::string();
}

}  // namespace zorv::core
