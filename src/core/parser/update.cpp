// DELETE, CLEAR PAYLOAD and UPDATE, and the SHARD/WAIT tail that every point mutation ends with.
#include <string>
#include <utility>
#include <vector>

#include "core/diagnostics.h"
#include "core/parser/filter.h"
#include "core/parser/helpers.h"
#include "core/parser/mutation.h"
#include "core/text.h"

namespace zorv::core {
namespace {

using mutation_detail::parse_row_object;
using mutation_detail::take_pair;

// where := WHERE filter, turned into the points it selects (an id equality or id IN list
// becomes the ids themselves).
Result<PointSelector> parse_where_selector(Parser& parser) {
    ZORV_CHECK(parser.expect_token(TokenKind::Where));
    Filter filter = ZORV_TRY(parse_filter(parser));
    return filter_to_point_selector(std::move(filter));
}

// names := name {"," name}
Result<std::vector<std::string>> parse_name_list(Parser& parser) {
    std::vector<std::string> names;
    do {
        names.push_back(ZORV_TRY(parser.parse_identifier()));
    } while (parser.accept(TokenKind::Comma));
    return names;
}

template <class Record>
Result<Statement> finish_mutation(Parser& parser, Box<Record> boxed) {
    MutationTail tail = ZORV_TRY(parse_mutation_tail(parser));
    boxed->shard_key = std::move(tail.shard_key);
    boxed->wait = tail.wait;
    return Statement{std::move(boxed)};
}

// set_payload := PAYLOAD "=" object { KEY 'path' | OVERWRITE } WHERE filter mutation_tail
//   (collection read, SET consumed, PAYLOAD current)
Result<Statement> parse_set_payload(Parser& parser, std::string collection) {
    parser.take_token();  // PAYLOAD
    ZORV_CHECK(parser.expect_token(TokenKind::Equals));
    Box<UpdatePayload> boxed;
    UpdatePayload& update = *boxed;
    update.collection = std::move(collection);
    update.payload = ZORV_TRY(parse_object_literal(parser));
    for (;;) {
        const Token& tok = parser.current();
        if (tok.kind == TokenKind::Key) {
            if (update.key) return fail(Diag::ParseDuplicateClause, "duplicate KEY clause", tok.span);
            parser.take_token();
            update.key = ZORV_TRY(parse_string_literal(parser));
        } else if (tok.kind == TokenKind::Overwrite) {
            if (update.overwrite) {
                return fail(Diag::ParseDuplicateClause, "duplicate OVERWRITE clause", tok.span);
            }
            parser.take_token();
            update.overwrite = true;
        } else {
            break;
        }
    }
    update.selector = ZORV_TRY(parse_where_selector(parser));
    return finish_mutation(parser, std::move(boxed));
}

std::unexpected<ZorvError> update_vector_error(std::string message, Span row) {
    return fail(Diag::ValidationUpdateVector, std::move(message), row);
}

// vector_row := "{" id: point_id, vector: vectors "}" and nothing else
Result<UpdateVectorRow> parse_update_vector_row(Parser& parser) {
    auto [pairs, span] = ZORV_TRY(parse_row_object(parser));
    std::optional<Literal> id = take_pair(pairs, "id");
    if (!id) return update_vector_error("each UPDATE VECTOR row requires an id", span);
    PointId point_id = ZORV_TRY(literal_to_point_id(std::move(*id), span));
    std::optional<Literal> vector = take_pair(pairs, "vector");
    if (!vector) return update_vector_error("each UPDATE VECTOR row requires a vector", span);
    PointVectors vectors = ZORV_TRY(literal_to_vector_input(std::move(*vector), span));
    if (!pairs.empty()) {
        return update_vector_error("UPDATE VECTOR VALUES rows accept only id and vector, not " +
                                       quote_for_message(pairs.front().first),
                                   span);
    }
    return UpdateVectorRow{std::move(point_id), std::move(vectors)};
}

// set_vector := VECTOR VALUES vector_row {"," vector_row} mutation_tail
//             | VECTOR [name] "=" value WHERE ID "=" point_id mutation_tail
//   (collection read, SET consumed, VECTOR current)
Result<Statement> parse_set_vector(Parser& parser, std::string collection) {
    parser.take_token();  // VECTOR
    Box<UpdateVector> boxed;
    UpdateVector& update = *boxed;
    update.collection = std::move(collection);
    if (parser.accept(TokenKind::Values)) {
        do {
            update.points.push_back(ZORV_TRY(parse_update_vector_row(parser)));
        } while (parser.accept(TokenKind::Comma));
        return finish_mutation(parser, std::move(boxed));
    }
    std::optional<std::string> name;
    if (!parser.check(TokenKind::Equals)) name = ZORV_TRY(parser.parse_identifier());
    ZORV_CHECK(parser.expect_token(TokenKind::Equals));
    const Span value_span = parser.current().span;
    Literal value = ZORV_TRY(parse_literal(parser));
    UpdateVectorRow row;
    if (name) {
        VectorValue vector = ZORV_TRY(literal_to_vector(std::move(value), value_span));
        row.vectors = PointVectors{NamedVectors{{std::move(*name), std::move(vector)}}};
    } else {
        row.vectors = ZORV_TRY(literal_to_vector_input(std::move(value), value_span));
    }
    // Only the exact form WHERE ID = point: a single-row update names its point directly.
    ZORV_CHECK(parser.expect_token(TokenKind::Where));
    ZORV_CHECK(parser.expect_token(TokenKind::Id));
    ZORV_CHECK(parser.expect_token(TokenKind::Equals));
    row.id = ZORV_TRY(parse_point_id(parser, "UPDATE VECTOR"));
    update.points.push_back(std::move(row));
    return finish_mutation(parser, std::move(boxed));
}

}  // namespace

// mutation_tail := { SHARD shard_key | WAIT (TRUE | FALSE) }, each at most once; a second SHARD
// ends the tail unread, a second WAIT is refused once its boolean is read.
Result<MutationTail> parse_mutation_tail(Parser& parser) {
    MutationTail tail;
    for (;;) {
        if (parser.check(TokenKind::Shard) && !tail.shard_key) {
            parser.take_token();
            tail.shard_key = ZORV_TRY(parse_shard_key(parser));
        } else if (parser.check(TokenKind::Wait)) {
            std::optional<bool> wait = ZORV_TRY(parser.parse_wait_clause());
            if (tail.wait) {
                return fail(Diag::ParseDuplicateClause, "duplicate WAIT clause", parser.current().span);
            }
            tail.wait = wait;
        } else {
            return tail;
        }
    }
}

// delete := DELETE VECTOR names FROM collection WHERE filter mutation_tail
//         | DELETE PAYLOAD keys FROM collection WHERE filter mutation_tail
//         | DELETE FROM collection WHERE filter mutation_tail
Result<Statement> parse_delete(Parser& parser) {
    ZORV_CHECK(parser.expect_token(TokenKind::Delete));
    if (parser.accept(TokenKind::Vector)) {
        Box<DeleteVector> boxed;
        boxed->vector_names = ZORV_TRY(parse_name_list(parser));
        ZORV_CHECK(parser.expect_token(TokenKind::From));
        boxed->collection = ZORV_TRY(parser.parse_identifier());
        boxed->selector = ZORV_TRY(parse_where_selector(parser));
        return finish_mutation(parser, std::move(boxed));
    }
    if (parser.accept(TokenKind::Payload)) {
        Box<DeletePayload> boxed;
        boxed->keys = ZORV_TRY(parse_name_list(parser));
        ZORV_CHECK(parser.expect_token(TokenKind::From));
        boxed->collection = ZORV_TRY(parser.parse_identifier());
        boxed->selector = ZORV_TRY(parse_where_selector(parser));
        return finish_mutation(parser, std::move(boxed));
    }
    ZORV_CHECK(parser.expect_token(TokenKind::From));
    Box<Delete> boxed;
    boxed->collection = ZORV_TRY(parser.parse_identifier());
    boxed->selector = ZORV_TRY(parse_where_selector(parser));
    return finish_mutation(parser, std::move(boxed));
}

// clear := CLEAR PAYLOAD FROM collection WHERE filter mutation_tail
Result<Statement> parse_clear_payload(Parser& parser) {
    ZORV_CHECK(parser.expect_token(TokenKind::Clear));
    ZORV_CHECK(parser.expect_token(TokenKind::Payload));
    ZORV_CHECK(parser.expect_token(TokenKind::From));
    Box<ClearPayload> boxed;
    boxed->collection = ZORV_TRY(parser.parse_identifier());
    boxed->selector = ZORV_TRY(parse_where_selector(parser));
    return finish_mutation(parser, std::move(boxed));
}

// update := UPDATE collection SET (set_payload | set_vector)
Result<Statement> parse_update(Parser& parser) {
    ZORV_CHECK(parser.expect_token(TokenKind::Update));
    std::string collection = ZORV_TRY(parser.parse_identifier());
    ZORV_CHECK(parser.expect_token(TokenKind::Set));
    switch (parser.current().kind) {
        case TokenKind::Payload: return parse_set_payload(parser, std::move(collection));
        case TokenKind::Vector: return parse_set_vector(parser, std::move(collection));
        default: return fail(Diag::ParseUpdate, "expected VECTOR or PAYLOAD after SET", parser.current().span);
    }
}

}  // namespace zorv::core
