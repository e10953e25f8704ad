#include "core/ast/statement.h"

#include <array>

namespace zorv::core {

std::string_view statement_kind_name(StatementKind kind) {
    static constexpr std::array<std::string_view, 24> names = {
        "Query",          "Scroll",       "Upsert",          "CreateCollection", "CreateIndex",     "DropIndex",
        "CreateShardKey", "DropShardKey", "AlterCollection", "DropCollection",   "ShowCollections", "ShowCollection",
        "ShowShardKeys",  "Delete",       "ClearPayload",    "DeletePayload",    "DeleteVector",    "UpdateVector",
        "UpdatePayload",  "Count",        "Facet",           "ShowQuotas",       "SetQuota",        "Batch"};
    return names[static_cast<std::size_t>(kind)];
}

std::string_view statement_category(StatementKind kind) {
    switch (kind) {
        case StatementKind::Query: return "QUERY";
        case StatementKind::Scroll: return "SCROLL";
        case StatementKind::Upsert: return "UPSERT";
        case StatementKind::CreateCollection:
        case StatementKind::CreateIndex:
        case StatementKind::CreateShardKey:
        case StatementKind::AlterCollection: return "DDL";
        case StatementKind::DropIndex:
        case StatementKind::DropShardKey:
        case StatementKind::DropCollection: return "DROP";
        case StatementKind::ShowCollections:
        case StatementKind::ShowCollection:
        case StatementKind::ShowShardKeys:
        case StatementKind::ShowQuotas: return "SHOW";
        case StatementKind::Delete:
        case StatementKind::ClearPayload:
        case StatementKind::DeletePayload:
        case StatementKind::DeleteVector:
        case StatementKind::UpdateVector:
        case StatementKind::UpdatePayload: return "mutation";
        case StatementKind::Count: return "COUNT";
        case StatementKind::Facet: return "FACET";
        case StatementKind::SetQuota: return "SET QUOTA";
        case StatementKind::Batch: return "BATCH";
    }
    return "QUERY";
}

}  // namespace zorv::core
