#include "core/fmt/statement.h"

#include "core/fmt/ddl.h"
#include "core/fmt/mutation.h"
#include "core/fmt/query.h"
#include "core/fmt/read.h"
#include "core/fmt/search.h"
#include "core/fmt/values.h"

namespace zorv::core {
namespace {

// Members one per line, indented by two spaces, their own line breaks indented along.
void write_batch(TextSink& sink, const Batch& batch) {
    sink.text("BATCH {");
    for (const Statement& member : batch.statements) {
        const std::string text = format_statement(member);
        sink.text("\n  ");
        for (char c : text) {
            if (c == '\n') sink.text("\n  ");
            else sink.text(c);
        }
        sink.text(';');
    }
    sink.text("\n}");
    if (batch.wait) sink.text(*batch.wait ? " WAIT true" : " WAIT false");
    if (batch.params) {
        write_search_params(sink.text(" PARAMS ("), *batch.params);
        sink.text(')');
    }
}

}  // namespace

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
        case StatementKind::CreateCollection:
            write_create_collection(sink, *statement.get<StatementKind::CreateCollection>());
            return;
        case StatementKind::CreateIndex: write_create_index(sink, *statement.get<StatementKind::CreateIndex>()); return;
        case StatementKind::DropIndex: write_drop_index(sink, *statement.get<StatementKind::DropIndex>()); return;
        case StatementKind::CreateShardKey:
            write_create_shard_key(sink, *statement.get<StatementKind::CreateShardKey>());
            return;
        case StatementKind::DropShardKey:
            write_drop_shard_key(sink, *statement.get<StatementKind::DropShardKey>());
            return;
        case StatementKind::AlterCollection:
            write_alter_collection(sink, *statement.get<StatementKind::AlterCollection>());
            return;
        case StatementKind::DropCollection:
            write_drop_collection(sink, *statement.get<StatementKind::DropCollection>());
            return;
        case StatementKind::SetQuota: write_set_quota(sink, *statement.get<StatementKind::SetQuota>()); return;
        case StatementKind::Batch: write_batch(sink, *statement.get<StatementKind::Batch>()); return;
    }
}

std::string format_statement(const Statement& statement) { return print_to_string(write_statement, statement); }

}  // namespace zorv::core
