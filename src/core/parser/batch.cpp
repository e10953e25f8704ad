// SET QUOTA, ALTER COLLECTION and BATCH.
#include <string>

#include "core/parser/collection_config.h"
#include "core/parser/ddl.h"
#include "core/parser/helpers.h"
#include "core/parser/search_params.h"

namespace zorv::core {
namespace {

std::unexpected<ZorvError> batch_member_error(StatementKind kind) {
    return fail(Diag::ValidationBatchMember,
                "BATCH members must be queries or mutations, got " + std::string(statement_category(kind)));
}

bool is_batch_member_kind(StatementKind kind) {
    switch (kind) {
        case StatementKind::Query:
        case StatementKind::Upsert:
        case StatementKind::Delete:
        case StatementKind::ClearPayload:
        case StatementKind::DeletePayload:
        case StatementKind::DeleteVector:
        case StatementKind::UpdateVector:
        case StatementKind::UpdatePayload: return true;
        default: return false;
    }
}

// The first member a BATCH does not take, in text order.
Result<void> check_batch_members(const std::vector<Statement>& members) {
    for (const Statement& member : members) {
        if (!is_batch_member_kind(member.kind())) return batch_member_error(member.kind());
    }
    return {};
}

// members: { statement ( ";" | before "}" ) }, the "{" consumed.
Result<std::vector<Statement>> parse_batch_members(Parser& parser, Delimited& body) {
    std::vector<Statement> members;
    while (true) {
        if (parser.at_end())
            return fail(Diag::ParseSyntax, "unterminated BATCH block, expected '}'", parser.end_span());
        if (body.at_close()) break;
        // A nested BATCH would recurse through the dispatch: refuse it at its keyword.
        if (parser.check(TokenKind::Batch)) {
            ZORV_CHECK(check_batch_members(members));
            return batch_member_error(StatementKind::Batch);
        }
        members.push_back(ZORV_TRY(parse_statement_dispatch(parser)));
        if (parser.at_end()) {
            return fail(Diag::ParseSyntax, "expected ';' or '}' after batch member", parser.end_span());
        }
        if (parser.accept(TokenKind::Semicolon) || body.at_close()) continue;
        return fail(Diag::ParseSyntax, "expected ';' or '}' after batch member", parser.current().span);
    }
    ZORV_CHECK(body.close());
    return members;
}

}  // namespace

// set-quota: SET QUOTA settings-list [ WAIT ( TRUE | FALSE ) ]
Result<Statement> parse_set_quota(Parser& parser) {
    parser.take_token();  // SET
    ZORV_CHECK(parser.expect_token(TokenKind::Quota));
    SetQuota quota;
    quota.config = ZORV_TRY(parse_config_list(parser));
    if (parser.accept(TokenKind::Wait)) {
        if (parser.accept(TokenKind::True)) quota.wait = true;
        else if (parser.accept(TokenKind::False)) quota.wait = false;
        else return fail(Diag::ParseQuota, "WAIT requires true or false", parser.current().span);
    }
    return Statement{Box<SetQuota>(std::move(quota))};
}

// alter: ALTER COLLECTION name with-clause { with-clause }
Result<Statement> parse_alter(Parser& parser) {
    parser.take_token();  // ALTER
    ZORV_CHECK(parser.expect_token(TokenKind::Collection));
    AlterCollection alter;
    alter.collection = ZORV_TRY(parser.parse_identifier());
    std::optional<CollectionSettings> config = ZORV_TRY(parse_collection_with_clauses(parser, ClauseMode::Alter));
    if (!config) {
        return fail(Diag::ParseAlterConfig, "ALTER COLLECTION requires at least one WITH clause",
                    parser.current().span);
    }
    alter.config = Box<CollectionSettings>(std::move(*config));
    return Statement{Box<AlterCollection>(std::move(alter))};
}

// batch: BATCH "{" member { ";" member } [ ";" ] "}" [ WAIT ( TRUE | FALSE ) ] [ PARAMS search-params ]
// member: a query or a point mutation
Result<Statement> parse_batch(Parser& parser) {
    parser.take_token();  // BATCH
    Batch batch;
    {
        Delimited body = ZORV_TRY(Delimited::open(parser, TokenKind::LBrace));
        batch.statements = ZORV_TRY(parse_batch_members(parser, body));
    }
    if (batch.statements.empty()) {
        return fail(Diag::ValidationBatchEmpty, "BATCH requires at least one member statement");
    }
    ZORV_CHECK(check_batch_members(batch.statements));
    batch.wait = ZORV_TRY(parser.parse_wait_clause());
    if (parser.accept(TokenKind::Params)) batch.params = ZORV_TRY(parse_search_params(parser));
    return Statement{Box<Batch>(std::move(batch))};
}

}  // namespace zorv::core
