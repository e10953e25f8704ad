// CREATE COLLECTION with its vector definitions, CREATE INDEX, CREATE SHARD KEY and the DROPs.
#include <array>
#include <limits>
#include <string>

#include "core/parser/collection_config.h"
#include "core/parser/ddl.h"
#include "core/parser/helpers.h"
#include "core/parser/settings.h"
#include "core/text.h"

namespace zorv::core {
namespace {

using Kind = Literal::Kind;

constexpr std::uint64_t max_vector_size = 65536;

std::unexpected<ZorvError> syntax_error(std::string message, Span span) {
    return fail(Diag::ParseSyntax, std::move(message), span);
}

// mode: HYBRID RERANK | HYBRID { DENSE VECTOR name | SPARSE VECTOR name }
//     | USING [DENSE] MODEL 'model' | USING HYBRID
Result<CreateCollectionMode> parse_create_mode(Parser& parser) {
    if (parser.accept(TokenKind::Hybrid)) {
        if (parser.accept(TokenKind::Rerank)) return CreateCollectionMode{CreateCollectionMode::Rerank{}};
        CreateCollectionMode::Hybrid hybrid;
        while (parser.check(TokenKind::Dense) || parser.check(TokenKind::Sparse)) {
            const bool dense = parser.take_token().kind == TokenKind::Dense;
            if (!parser.accept(TokenKind::Vector)) {
                return syntax_error("expected VECTOR after DENSE/SPARSE", parser.current().span);
            }
            std::string name = ZORV_TRY(parser.parse_identifier());
            (dense ? hybrid.dense_vector : hybrid.sparse_vector) = std::move(name);
        }
        return CreateCollectionMode{std::move(hybrid)};
    }
    if (!parser.accept(TokenKind::Using)) return CreateCollectionMode{};
    if (parser.accept(TokenKind::Hybrid)) {
        if (parser.check(TokenKind::Dense)) {
            return fail(Diag::ValidationCreateModel,
                        "HYBRID does not accept a single dense MODEL; configure the executor model or provide explicit "
                        "vector dimensions",
                        parser.current().span);
        }
        return CreateCollectionMode{CreateCollectionMode::Hybrid{}};
    }
    parser.accept(TokenKind::Dense);
    std::string model = ZORV_TRY(parse_model_clause(parser));
    return CreateCollectionMode{CreateCollectionMode::Dense{std::move(model)}};
}

// A number token that must hold a whole size from 1 to 65536.
Result<std::uint64_t> parse_vector_size(Parser& parser) {
    const Token tok = parser.current();
    const double value = ZORV_TRY(parse_number(parser));
    const std::optional<std::uint64_t> size = integral_float(value);
    if (!size || *size == 0) return syntax_error("vector size must be a positive integer", tok.span);
    if (*size > max_vector_size) return fail(Diag::ParseVectorSize, "vector size must not exceed 65536", tok.span);
    return *size;
}

Result<DistanceMetric> parse_distance(Parser& parser) {
    const Token& tok = parser.current();
    DistanceMetric metric{};
    switch (tok.kind) {
        case TokenKind::Cosine: metric = DistanceMetric::Cosine; break;
        case TokenKind::Dot: metric = DistanceMetric::Dot; break;
        case TokenKind::Euclid: metric = DistanceMetric::Euclid; break;
        case TokenKind::Manhattan: metric = DistanceMetric::Manhattan; break;
        default: return syntax_error("expected distance metric (COSINE, DOT, EUCLID, MANHATTAN)", tok.span);
    }
    parser.take_token();
    return metric;
}

// dense-def: name VECTOR "(" size "," metric ")" { WITH ( HNSW | QUANTIZATION | MULTIVECTOR | VECTOR ) list }
Result<DenseVectorDef> parse_dense_def(Parser& parser, std::string name) {
    DenseVectorDef def;
    def.name = std::move(name);
    Delimited shape = ZORV_TRY(Delimited::open_flat(parser, TokenKind::LParen));
    def.size = ZORV_TRY(parse_vector_size(parser));
    ZORV_CHECK(parser.expect_token(TokenKind::Comma));
    def.distance = ZORV_TRY(parse_distance(parser));
    ZORV_CHECK(shape.close());
    while (parser.accept(TokenKind::With)) {
        const Token& keyword = parser.current();
        switch (keyword.kind) {
            case TokenKind::Hnsw:
            case TokenKind::Quantization:
            case TokenKind::Multivector:
            case TokenKind::Vector: parser.take_token(); break;
            default:
                return syntax_error(
                    "expected HNSW, QUANTIZATION, MULTIVECTOR, or VECTOR after WITH for vector configuration",
                    keyword.span);
        }
        switch (keyword.kind) {
            case TokenKind::Hnsw: def.hnsw = ZORV_TRY(parse_hnsw_settings(parser)); break;
            case TokenKind::Quantization:
                def.quantization = ZORV_TRY(parse_quantization_settings(parser)).config;
                break;
            case TokenKind::Multivector:
                ZORV_CHECK(parse_multivector_settings(parser));
                def.multivector = true;
                break;
            default: def.vectors = ZORV_TRY(parse_vector_storage_settings(parser)); break;
        }
    }
    return def;
}

// Settings of a later block replace those it gives; the others keep their earlier value.
void merge_sparse_index(std::optional<SparseIndexSettings>& into, const SparseIndexSettings& later) {
    if (!into) {
        into = later;
        return;
    }
    if (later.full_scan_threshold) into->full_scan_threshold = later.full_scan_threshold;
    if (later.on_disk) into->on_disk = later.on_disk;
    if (later.datatype) into->datatype = later.datatype;
    if (later.memory) into->memory = later.memory;
}

// sparse-def: name SPARSE { WITH ( SPARSE | INDEX ) list }
Result<SparseVectorDef> parse_sparse_def(Parser& parser, std::string name) {
    SparseVectorDef def;
    def.name = std::move(name);
    while (parser.accept(TokenKind::With)) {
        const Token& keyword = parser.take_token();
        if (keyword.kind != TokenKind::Sparse && keyword.kind != TokenKind::Index) {
            return syntax_error("expected SPARSE or INDEX after WITH for sparse vector configuration", keyword.span);
        }
        SparseVectorSettings settings = ZORV_TRY(parse_sparse_settings(parser));
        if (settings.index) merge_sparse_index(def.index, *settings.index);
        if (settings.modifier) def.modifier = std::move(settings.modifier);
    }
    return def;
}

// vector-defs: "(" [ vector-def { "," vector-def } [ "," ] ] ")"
Result<void> parse_vector_defs(Parser& parser, CreateCollection& create) {
    Delimited list = ZORV_TRY(Delimited::open(parser, TokenKind::LParen));
    while (!list.at_close() && !parser.at_end()) {
        std::string name = ZORV_TRY(parser.parse_identifier());
        if (parser.accept(TokenKind::Vector)) {
            create.vectors.push_back(ZORV_TRY(parse_dense_def(parser, std::move(name))));
        } else if (parser.accept(TokenKind::Sparse)) {
            create.sparse_vectors.push_back(ZORV_TRY(parse_sparse_def(parser, std::move(name))));
        } else {
            return syntax_error("expected VECTOR or SPARSE after vector name", parser.current().span);
        }
        if (parser.accept(TokenKind::Comma)) continue;
        if (!list.at_close() && !parser.at_end()) return syntax_error("expected comma or )", parser.current().span);
    }
    ZORV_CHECK(list.close());
    return {};
}

// create-collection: COLLECTION name [ mode ] [ vector-defs ] with-clauses
Result<Statement> parse_create_collection(Parser& parser) {
    ZORV_CHECK(parser.expect_token(TokenKind::Collection));
    CreateCollection create;
    create.collection = ZORV_TRY(parser.parse_identifier());
    create.mode = ZORV_TRY(parse_create_mode(parser));
    if (parser.check(TokenKind::LParen)) ZORV_CHECK(parse_vector_defs(parser, create));
    std::optional<CollectionSettings> config = ZORV_TRY(parse_collection_with_clauses(parser, ClauseMode::Create));
    if (config) create.config = Box<CollectionSettings>(std::move(*config));
    return Statement{Box<CreateCollection>(std::move(create))};
}

// The TYPE word: an unquoted canonical index type name in any case.
Result<std::string> parse_index_type(Parser& parser) {
    const Token tok = parser.current();
    if (tok.kind == TokenKind::String) {
        return fail(Diag::ParseIndexType, "index TYPE must be an unquoted canonical type name", tok.span);
    }
    std::string type = to_ascii_lower(ZORV_TRY(parser.parse_identifier()));
    if (!is_index_type_name(type)) {
        return fail(Diag::ParseIndexType, "unknown index field type " + quote_for_message(type), tok.span);
    }
    return type;
}

// create-index: INDEX ON COLLECTION name FOR field [ TYPE type ] [ WITH settings-list ] [ WAIT bool ]
Result<Statement> parse_create_index(Parser& parser) {
    parser.take_token();  // INDEX
    ZORV_CHECK(parser.expect_token(TokenKind::On));
    ZORV_CHECK(parser.expect_token(TokenKind::Collection));
    CreateIndex index;
    index.collection = ZORV_TRY(parser.parse_identifier());
    ZORV_CHECK(parser.expect_token(TokenKind::For));
    index.field = ZORV_TRY(parser.parse_identifier());
    if (parser.accept(TokenKind::Type)) index.field_type = ZORV_TRY(parse_index_type(parser));
    if (parser.check(TokenKind::With)) {
        const Span with_span = parser.take_token().span;
        index.options = ZORV_TRY(parse_config_list(parser));
        ZORV_CHECK(check_index_options(index.options, with_span));
    }
    index.wait = ZORV_TRY(parser.parse_wait_clause());
    return Statement{Box<CreateIndex>(std::move(index))};
}

constexpr std::array<std::string_view, 11> replica_states = {"Active",       "Dead",          "Partial",
                                                             "Initializing", "Listener",      "PartialSnapshot",
                                                             "Recovery",     "Resharding",    "ReshardingScaleDown",
                                                             "ActiveRead",   "ManualRecovery"};

std::unexpected<ZorvError> shard_option_error(std::string message, Span span) {
    return fail(Diag::ParseShardKeyConfig, std::move(message), span);
}

// An integer literal from 1 to 2^32 - 1.
Result<std::uint32_t> shard_count(const Literal& value, std::string_view name, Span span) {
    if (!value.is(Kind::Int) || value.as_int() <= 0) {
        return shard_option_error(std::string(name) + " must be a positive integer", span);
    }
    if (value.as_int() > std::numeric_limits<std::uint32_t>::max()) {
        return shard_option_error(std::string(name) + " must fit in an unsigned 32-bit integer", span);
    }
    return static_cast<std::uint32_t>(value.as_int());
}

Result<std::vector<std::uint64_t>> shard_placement(const Literal& value, Span span) {
    if (!value.is(Kind::List) || value.as_list().empty()) {
        return shard_option_error("placement must be a non-empty list of peer ids", span);
    }
    std::vector<std::uint64_t> peers;
    for (const Literal& peer : value.as_list()) {
        if (!peer.is(Kind::Int) || peer.as_int() < 0) {
            return shard_option_error("placement entries must be non-negative integers (peer ids)", span);
        }
        peers.push_back(static_cast<std::uint64_t>(peer.as_int()));
    }
    return peers;
}

Result<std::string> shard_initial_state(const Literal& value, Span span) {
    if (!value.is(Kind::Str)) return shard_option_error("initial_state must be a string", span);
    for (std::string_view state : replica_states) {
        if (equals_ignore_case(value.as_str(), state)) return std::string(state);
    }
    return shard_option_error("unknown replica state " + quote_for_message(value.as_str()), span);
}

Result<void> apply_shard_option(CreateShardKey& create, const LiteralEntry& entry, Span span) {
    const auto& [key, value] = entry;
    const std::string name = to_ascii_lower(key);
    if (name == "shards_number") create.shards_number = ZORV_TRY(shard_count(value, name, span));
    else if (name == "replication_factor") create.replication_factor = ZORV_TRY(shard_count(value, name, span));
    else if (name == "placement") create.placement = ZORV_TRY(shard_placement(value, span));
    else if (name == "initial_state") create.initial_state = ZORV_TRY(shard_initial_state(value, span));
    else {
        return shard_option_error("unknown CREATE SHARD KEY parameter " + quote_for_message(key) +
                                      ". Expected: shards_number, replication_factor, placement, initial_state",
                                  span);
    }
    return {};
}

// create-shard-key: SHARD KEY shard-key ON COLLECTION name [ WITH settings-list ]
Result<Statement> parse_create_shard_key(Parser& parser) {
    parser.take_token();  // SHARD
    ZORV_CHECK(parser.expect_token(TokenKind::Key));
    CreateShardKey create;
    create.shard_key = ZORV_TRY(parse_shard_key(parser));
    ZORV_CHECK(parser.expect_token(TokenKind::On));
    ZORV_CHECK(parser.expect_token(TokenKind::Collection));
    create.collection = ZORV_TRY(parser.parse_identifier());
    if (parser.check(TokenKind::With)) {
        const Span with_span = parser.take_token().span;
        const LiteralDict options = ZORV_TRY(parse_config_list(parser));
        for (const LiteralEntry& entry : options) ZORV_CHECK(apply_shard_option(create, entry, with_span));
    }
    return Statement{Box<CreateShardKey>(std::move(create))};
}

}  // namespace

// create: CREATE ( create-collection | create-index | create-shard-key )
Result<Statement> parse_create(Parser& parser) {
    parser.take_token();  // CREATE
    if (parser.check(TokenKind::Shard)) return parse_create_shard_key(parser);
    if (parser.check(TokenKind::Index)) return parse_create_index(parser);
    return parse_create_collection(parser);
}

// drop: DROP ( INDEX ON COLLECTION name FOR field | SHARD KEY shard-key ON COLLECTION name | COLLECTION name )
Result<Statement> parse_drop(Parser& parser) {
    parser.take_token();  // DROP
    if (parser.accept(TokenKind::Index)) {
        ZORV_CHECK(parser.expect_token(TokenKind::On));
        ZORV_CHECK(parser.expect_token(TokenKind::Collection));
        DropIndex drop;
        drop.collection = ZORV_TRY(parser.parse_identifier());
        ZORV_CHECK(parser.expect_token(TokenKind::For));
        drop.field = ZORV_TRY(parser.parse_identifier());
        return Statement{Box<DropIndex>(std::move(drop))};
    }
    if (parser.accept(TokenKind::Shard)) {
        ZORV_CHECK(parser.expect_token(TokenKind::Key));
        DropShardKey drop;
        drop.shard_key = ZORV_TRY(parse_shard_key(parser));
        ZORV_CHECK(parser.expect_token(TokenKind::On));
        ZORV_CHECK(parser.expect_token(TokenKind::Collection));
        drop.collection = ZORV_TRY(parser.parse_identifier());
        return Statement{Box<DropShardKey>(std::move(drop))};
    }
    ZORV_CHECK(parser.expect_token(TokenKind::Collection));
    DropCollection drop;
    drop.collection = ZORV_TRY(parser.parse_identifier());
    return Statement{Box<DropCollection>(std::move(drop))};
}

}  // namespace zorv::core
