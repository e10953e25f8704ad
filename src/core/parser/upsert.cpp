// UPSERT: rows of points or placeholders, then the optional USING, EMBED, UPDATE and SHARD/WAIT
// clauses in that order.
#include <string>
#include <utility>

#include "core/diagnostics.h"
#include "core/parser/filter.h"
#include "core/parser/helpers.h"
#include "core/parser/mutation.h"
#include "core/text.h"

namespace zorv::core {

namespace mutation_detail {

Result<RowObject> parse_row_object(Parser& parser) {
    const std::uint64_t start = parser.current().span.start;
    LiteralDict pairs = ZORV_TRY(parse_object_literal(parser));
    return RowObject{std::move(pairs), Span{start, parser.previous().span.end}};
}

std::optional<Literal> take_pair(LiteralDict& pairs, std::string_view key) {
    for (auto it = pairs.begin(); it != pairs.end(); ++it) {
        if (!equals_ignore_case(it->first, key)) continue;
        Literal value = std::move(it->second);
        pairs.erase(it);
        return value;
    }
    return std::nullopt;
}

}  // namespace mutation_detail

namespace {

using mutation_detail::parse_row_object;
using mutation_detail::take_pair;

// row := ":" name | "?" | "{" id: point_id [, vector: vectors] {, key: value} "}"
Result<UpsertRow> parse_upsert_row(Parser& parser) {
    if (parser.check(TokenKind::Colon) || parser.check(TokenKind::Question)) {
        Placeholder placeholder = ZORV_TRY(parse_placeholder(parser));
        return UpsertRow{std::move(placeholder)};
    }
    auto [pairs, span] = ZORV_TRY(parse_row_object(parser));
    std::optional<Literal> id = take_pair(pairs, "id");
    if (!id) return fail(Diag::ValidationUpsertId, "each UPSERT row requires an id", span);
    UpsertRow::Point point;
    point.id = ZORV_TRY(literal_to_point_id(std::move(*id), span));
    // Only "vector" names the vectors: "vectors" stays an ordinary payload key.
    if (std::optional<Literal> vector = take_pair(pairs, "vector")) {
        point.vectors = ZORV_TRY(literal_to_vector_input(std::move(*vector), span));
    }
    point.payload = std::move(pairs);
    return UpsertRow{std::move(point)};
}

// details := { MODEL 'm' | (VECTOR | INTO) name | ON [FIELD] name }, each at most once; a
// repeat ends the details and is left for the caller.
Result<EmbeddingClause> parse_clause_details(Parser& parser) {
    EmbeddingClause clause;
    for (;;) {
        if (!clause.model && parser.check(TokenKind::Model)) {
            parser.take_token();
            clause.model = ZORV_TRY(parse_string_literal(parser));
        } else if (!clause.vector && (parser.check(TokenKind::Vector) || parser.check(TokenKind::Into))) {
            parser.take_token();
            clause.vector = ZORV_TRY(parser.parse_identifier());
        } else if (!clause.field && parser.check(TokenKind::On)) {
            parser.take_token();
            parser.accept(TokenKind::Field);
            clause.field = ZORV_TRY(parser.parse_identifier());
        } else {
            return clause;
        }
    }
}

// hybrid := HYBRID { DENSE details | SPARSE details }, each at most once   (HYBRID consumed)
Result<UpsertEmbedding> parse_hybrid_embedding(Parser& parser) {
    UpsertEmbedding::Hybrid hybrid;
    bool dense = false;
    bool sparse = false;
    while (parser.check(TokenKind::Dense) || parser.check(TokenKind::Sparse)) {
        const Token& tok = parser.take_token();
        bool& seen = tok.kind == TokenKind::Dense ? dense : sparse;
        if (seen) {
            return fail(Diag::ParseEmbedding, "duplicate clause in HYBRID embedding spec", tok.span);
        }
        seen = true;
        EmbeddingClause clause = ZORV_TRY(parse_clause_details(parser));
        if (tok.kind == TokenKind::Dense) {
            hybrid.dense_model = std::move(clause.model);
            hybrid.dense_vector = std::move(clause.vector);
            hybrid.dense_field = std::move(clause.field);
        } else {
            hybrid.sparse_model = std::move(clause.model);
            hybrid.sparse_vector = std::move(clause.vector);
            hybrid.sparse_field = std::move(clause.field);
        }
    }
    return UpsertEmbedding{std::move(hybrid)};
}

// embedding := hybrid | (DENSE | SPARSE | MULTI | MULTIVECTOR | IMAGE) details
//            | details starting at MODEL, VECTOR, INTO or ON (dense)
Result<UpsertEmbedding> parse_embedding(Parser& parser) {
    const Token& tok = parser.current();
    if (parser.accept(TokenKind::Hybrid)) return parse_hybrid_embedding(parser);
    if (parser.accept(TokenKind::Dense))
        return UpsertEmbedding{UpsertEmbedding::Dense{ZORV_TRY(parse_clause_details(parser))}};
    if (parser.accept(TokenKind::Sparse)) {
        return UpsertEmbedding{UpsertEmbedding::Sparse{ZORV_TRY(parse_clause_details(parser))}};
    }
    if (parser.accept_word("MULTIVECTOR") || parser.accept_word("MULTI")) {
        return UpsertEmbedding{UpsertEmbedding::MultiVector{ZORV_TRY(parse_clause_details(parser))}};
    }
    if (parser.accept_word("IMAGE")) {
        return UpsertEmbedding{UpsertEmbedding::Image{ZORV_TRY(parse_clause_details(parser))}};
    }
    switch (tok.kind) {
        case TokenKind::Model:
        case TokenKind::Vector:
        case TokenKind::Into:
        case TokenKind::On: return UpsertEmbedding{UpsertEmbedding::Dense{ZORV_TRY(parse_clause_details(parser))}};
        default:
            return fail(Diag::ParseEmbedding,
                        "USING requires DENSE, SPARSE, HYBRID, MULTI, IMAGE, MODEL, VECTOR, INTO, or ON FIELD",
                        tok.span);
    }
}

// using := USING embedding {"," embedding}   (USING consumed)
Result<UpsertEmbedding> parse_using_embeddings(Parser& parser) {
    UpsertEmbedding first = ZORV_TRY(parse_embedding(parser));
    if (!parser.check(TokenKind::Comma)) return first;
    UpsertEmbedding::Multi multi;
    multi.embeddings.push_back(std::move(first));
    while (parser.accept(TokenKind::Comma)) multi.embeddings.push_back(ZORV_TRY(parse_embedding(parser)));
    return UpsertEmbedding{std::move(multi)};
}

// embed_kind := (DENSE | SPARSE | MULTI | MULTIVECTOR | IMAGE) [MODEL 'm'] | MODEL 'm'   (USING consumed)
Result<EmbedFieldKind> parse_embed_kind(Parser& parser) {
    using K = EmbedFieldKind::Kind;
    EmbedFieldKind kind;
    if (parser.accept_word("DENSE")) {
        kind.kind = K::Dense;
    } else if (parser.accept_word("SPARSE")) {
        kind.kind = K::Sparse;
    } else if (parser.accept_word("MULTIVECTOR") || parser.accept_word("MULTI")) {
        kind.kind = K::Multi;
    } else if (parser.accept_word("IMAGE")) {
        kind.kind = K::Image;
    } else if (!parser.check(TokenKind::Model)) {
        return fail(Diag::ParseEmbed, "EMBED USING requires DENSE, SPARSE, MULTI, IMAGE, or MODEL",
                    parser.current().span);
    }
    kind.model = ZORV_TRY(parse_optional_model(parser));
    return kind;
}

// embed_entry := source INTO target [USING embed_kind]
Result<EmbedField> parse_embed_entry(Parser& parser) {
    EmbedField entry;
    entry.source_field = ZORV_TRY(parser.parse_identifier());
    ZORV_CHECK(parser.expect_token(TokenKind::Into));
    entry.target_vector = ZORV_TRY(parser.parse_identifier());
    if (parser.accept(TokenKind::Using)) entry.kind = ZORV_TRY(parse_embed_kind(parser));
    return entry;
}

// update_clauses := { UPDATE MODE mode | UPDATE FILTER filter }, each at most once
Result<void> parse_update_clauses(Parser& parser, Upsert& upsert) {
    while (parser.check(TokenKind::Update)) {
        const Token& update = parser.current();
        const TokenKind next = parser.lookahead(1).kind;
        if (next == TokenKind::Mode) {
            if (upsert.update_mode) {
                return fail(Diag::ParseDuplicateClause, "duplicate UPDATE MODE clause", update.span);
            }
            parser.take_token();
            parser.take_token();
            if (parser.accept_word("upsert")) {
                upsert.update_mode = UpdateMode::Upsert;
            } else if (parser.accept_word("update_only")) {
                upsert.update_mode = UpdateMode::UpdateOnly;
            } else if (parser.accept_word("insert_only")) {
                upsert.update_mode = UpdateMode::InsertOnly;
            } else {
                return fail(Diag::ParseUpsertMode, "UPDATE MODE requires insert_only, update_only, or upsert",
                            parser.current().span);
            }
        } else if (next == TokenKind::Filter) {
            if (upsert.update_filter) {
                return fail(Diag::ParseDuplicateClause, "duplicate UPDATE FILTER clause", update.span);
            }
            parser.take_token();
            parser.take_token();
            upsert.update_filter = ZORV_TRY(parse_filter(parser));
        } else {
            return {};
        }
    }
    return {};
}

}  // namespace

// upsert := UPSERT INTO collection VALUES row {"," row} [using] [EMBED embed_entry {"," embed_entry}]
//           [update_clauses] mutation_tail
Result<Statement> parse_upsert(Parser& parser) {
    ZORV_CHECK(parser.expect_token(TokenKind::Upsert));
    ZORV_CHECK(parser.expect_token(TokenKind::Into));
    Box<Upsert> boxed;
    Upsert& upsert = *boxed;
    upsert.collection = ZORV_TRY(parser.parse_identifier());
    ZORV_CHECK(parser.expect_token(TokenKind::Values));
    do {
        upsert.points.push_back(ZORV_TRY(parse_upsert_row(parser)));
    } while (parser.accept(TokenKind::Comma));
    if (parser.accept(TokenKind::Using)) upsert.embedding = ZORV_TRY(parse_using_embeddings(parser));
    if (parser.accept(TokenKind::Embed)) {
        do {
            upsert.embed.push_back(ZORV_TRY(parse_embed_entry(parser)));
        } while (parser.accept(TokenKind::Comma));
    }
    ZORV_CHECK(parse_update_clauses(parser, upsert));
    MutationTail tail = ZORV_TRY(parse_mutation_tail(parser));
    upsert.shard_key = std::move(tail.shard_key);
    upsert.wait = tail.wait;
    return Statement{std::move(boxed)};
}

}  // namespace zorv::core
