#include "core/fmt/statement.h"

#include "core/fmt/mutation.h"
#include "core/fmt/query.h"
#include "core/fmt/read.h"
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
        case StatementKind::Scroll: return format_scroll(*statement.get<StatementKind::Scroll>());
        case StatementKind::Count: return format_count(*statement.get<StatementKind::Count>());
        case StatementKind::Facet: return format_facet(*statement.get<StatementKind::Facet>());
        case StatementKind::Upsert: return format_upsert(*statement.get<StatementKind::Upsert>());
        case StatementKind::Delete: return format_delete(*statement.get<StatementKind::Delete>());
        case StatementKind::ClearPayload:
            return format_clear_payload(*statement.get<StatementKind::ClearPayload>());
        case StatementKind::DeletePayload:
            return format_delete_payload(*statement.get<StatementKind::DeletePayload>());
        case StatementKind::DeleteVector:
            return format_delete_vector(*statement.get<StatementKind::DeleteVector>());
        case StatementKind::UpdateVector:
            return format_update_vector(*statement.get<StatementKind::UpdateVector>());
        case StatementKind::UpdatePayload:
            return format_update_payload(*statement.get<StatementKind::UpdatePayload>());
        // Kinds whose records have not landed yet have no form of their own.
        case StatementKind::CreateCollection:
        case StatementKind::CreateIndex:
        case StatementKind::DropIndex:
        case StatementKind::CreateShardKey:
        case StatementKind::DropShardKey:
        case StatementKind::AlterCollection:
        case StatementKind::DropCollection:
        case StatementKind::SetQuota:
        case StatementKind::Batch: return std::string();
    }
    return std::string();
}

}  // namespace zorv::core
