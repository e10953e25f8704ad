#include "runtime/grpc_route/index_params.h"

#include <utility>

#include "runtime/grpc_route/ddl_words.h"

namespace zorv::runtime::rpc {

namespace {

using plan::PlanIndexParams;
using plan::PlanIndexType;

// Every index message has these three.
template <class Message>
core::Result<void> common_to_proto(const PlanIndexParams& params, Message& out) {
    if (params.on_disk) out.set_on_disk(*params.on_disk);
    if (params.enable_hnsw) out.set_enable_hnsw(*params.enable_hnsw);
    if (!params.memory) return {};
    auto memory = tier_to_proto(*params.memory);
    if (!memory) return std::unexpected(std::move(memory).error());
    out.set_memory(*memory);
    return {};
}

template <class Message>
void set_is_tenant(const PlanIndexParams& params, Message& out) {
    if (params.is_tenant) out.set_is_tenant(*params.is_tenant);
}

template <class Message>
void set_is_principal(const PlanIndexParams& params, Message& out) {
    if (params.is_principal) out.set_is_principal(*params.is_principal);
}

core::Result<void> keyword_to_proto(const PlanIndexParams& params, qdrant::KeywordIndexParams& out) {
    set_is_tenant(params, out);
    // The message's flag is its presence: a false prefix must leave it out.
    if (params.prefix.value_or(false)) out.mutable_prefix();
    return common_to_proto(params, out);
}

core::Result<void> integer_to_proto(const PlanIndexParams& params, qdrant::IntegerIndexParams& out) {
    if (params.lookup) out.set_lookup(*params.lookup);
    if (params.range) out.set_range(*params.range);
    set_is_principal(params, out);
    return common_to_proto(params, out);
}

void stopwords_to_proto(const plan::PlanStopwords& stopwords, qdrant::StopwordsSet& out) {
    for (const std::string& language : stopwords.languages) out.add_languages(language);
    for (const std::string& word : stopwords.custom) out.add_custom(word);
}

core::Result<void> text_to_proto(const PlanIndexParams& params, qdrant::TextIndexParams& out) {
    auto tokenizer = tokenizer_to_proto(params.tokenizer.value_or(plan::PlanTokenizer::Word));
    if (!tokenizer) return std::unexpected(std::move(tokenizer).error());
    out.set_tokenizer(*tokenizer);
    if (params.lowercase) out.set_lowercase(*params.lowercase);
    if (params.min_token_len) out.set_min_token_len(*params.min_token_len);
    if (params.max_token_len) out.set_max_token_len(*params.max_token_len);
    if (params.stopwords) stopwords_to_proto(*params.stopwords, *out.mutable_stopwords());
    if (params.phrase_matching) out.set_phrase_matching(*params.phrase_matching);
    if (params.stemmer) {
        auto& stemmer = *out.mutable_stemmer();
        if (params.stemmer->snowball) {
            stemmer.mutable_snowball()->set_language(*params.stemmer->snowball);
        } else {
            stemmer.mutable_disabled();
        }
    }
    if (params.ascii_folding) out.set_ascii_folding(*params.ascii_folding);
    return common_to_proto(params, out);
}

}  // namespace

core::Result<void> field_index_params_to_proto(const plan::PlanFieldIndex& index, qdrant::PayloadIndexParams& out) {
    const PlanIndexParams& params = index.params;
    switch (index.field_type) {
        case PlanIndexType::Keyword: return keyword_to_proto(params, *out.mutable_keyword_index_params());
        case PlanIndexType::Integer: return integer_to_proto(params, *out.mutable_integer_index_params());
        case PlanIndexType::Float: {
            auto& f = *out.mutable_float_index_params();
            set_is_principal(params, f);
            return common_to_proto(params, f);
        }
        case PlanIndexType::Geo: return common_to_proto(params, *out.mutable_geo_index_params());
        case PlanIndexType::Text: return text_to_proto(params, *out.mutable_text_index_params());
        case PlanIndexType::Bool: return common_to_proto(params, *out.mutable_bool_index_params());
        case PlanIndexType::Datetime: {
            auto& datetime = *out.mutable_datetime_index_params();
            set_is_principal(params, datetime);
            return common_to_proto(params, datetime);
        }
        case PlanIndexType::Uuid: {
            auto& uuid = *out.mutable_uuid_index_params();
            set_is_tenant(params, uuid);
            return common_to_proto(params, uuid);
        }
    }
    // Never a uuid fallback for a code past the table.
    auto refused = field_type_to_proto(index.field_type);
    if (!refused) return std::unexpected(std::move(refused).error());
    return {};
}

}  // namespace zorv::runtime::rpc
