#include "embed/embedding_dimension.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <map>
#include <string_view>
#include <utility>
#include <variant>

#include "core/diagnostics.h"
#include "embed/http_embedder.h"
#include "embed/message_format.h"

namespace zorv::embed {

using core::Diag;
using core::fail;
using core::Result;

namespace {

icu::UnicodeString trimmed_lower(std::string_view text) {
    const icu::UnicodeString all =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    int32_t start = 0;
    int32_t end = all.length();
    while (start < end && u_isUWhiteSpace(all.char32At(start)) != 0) start += U16_LENGTH(all.char32At(start));
    while (end > start && u_isUWhiteSpace(all.char32At(end - 1)) != 0) end -= U16_LENGTH(all.char32At(end - 1));
    icu::UnicodeString out(all, start, end - start);
    out.toLower(icu::Locale::getRoot());
    return out;
}

bool present(const std::optional<std::string>& text) { return text && !text->empty(); }

// The answer of a known mode when there is nothing to probe.
Result<std::uint64_t> fallback_or_local_error(const std::optional<std::string>& requested_model) {
    if (!requested_model) return fallback_embedding_dimension;
    return fail(Diag::EmbeddingDim,
                "embedding_dimension must be configured when creating collections with USING MODEL in local "
                "inference mode");
}

AsyncResult<std::uint64_t> probe_service(InferenceSettings settings) {
    auto built = temporary_http_embedder(*settings.endpoint, settings.api_key.value_or(""), *settings.model, 1);
    if (!built) co_return std::unexpected(std::move(built.error()));
    std::shared_ptr<HttpEmbedder> probe = std::move(*built);
    std::vector<std::string> inputs;
    inputs.emplace_back("probe");
    auto items = co_await probe->embedding_request(std::move(inputs));
    if (!items) co_return std::unexpected(std::move(items.error()));
    if (items->empty()) co_return fail(Diag::Embedding, "embedding response contained no vectors");
    const EmbedItem& first = items->front();
    if (const auto* dense = std::get_if<DenseVector>(&first.embedding)) co_return dense->size();
    const auto& multi = std::get<MultiVector>(first.embedding);
    if (multi.empty()) co_return fail(Diag::Embedding, "embedding response multivector was empty");
    co_return multi.front().size();
}

// The size a row vector shows: a dense length, the first row of a multivector; nothing to compare
// for sparse, inference and empty multi-dense values.
std::optional<std::size_t> produced_size(const core::VectorValue& value) {
    if (const auto* dense = std::get_if<core::VectorValue::Dense>(&value.value)) return dense->values.size();
    if (const auto* multi = std::get_if<core::VectorValue::MultiDense>(&value.value)) {
        if (!multi->rows.empty()) return multi->rows.front().size();
    }
    return std::nullopt;
}

Result<void> check_one(const std::map<std::string, std::uint64_t>& sizes, const std::string& collection,
                       const std::string& name, const core::VectorValue& value) {
    const auto found = sizes.find(name);
    if (found == sizes.end()) return {};
    const std::optional<std::size_t> produced = produced_size(value);
    if (!produced || *produced == found->second) return {};
    return fail(Diag::EmbeddingDim,
                format_message("embedding dimension mismatch for collection '{}' vector '{}': model produced {}, "
                               "collection expects {}",
                               collection, name.empty() ? std::string("<default>") : name, *produced, found->second));
}

}  // namespace

bool is_known_inference_mode(const std::optional<InferenceSettings>& settings) {
    if (!settings) return true;
    const icu::UnicodeString mode = trimmed_lower(settings->inference_mode);
    return mode.isEmpty() || mode == UNICODE_STRING_SIMPLE("local") || mode == UNICODE_STRING_SIMPLE("external");
}

AsyncResult<std::uint64_t> probe_embedding_dimension(std::shared_ptr<const Embedder> embedder,
                                                     std::optional<InferenceSettings> settings,
                                                     std::optional<std::string> requested_model) {
    if (embedder) {
        if (const std::optional<std::uint64_t> dimension = embedder->dimension()) co_return *dimension;
    }
    if (!is_known_inference_mode(settings)) {
        if (settings->embedding_dimension != 0) co_return settings->embedding_dimension;
        if (!present(requested_model)) co_return fallback_embedding_dimension;
        co_return fail(Diag::EmbeddingDim,
                       "embedding_dimension must be configured when creating collections with USING MODEL");
    }
    if (settings && settings->embedding_dimension != 0) co_return settings->embedding_dimension;
    if (settings && present(settings->endpoint) && present(settings->model)) {
        co_return co_await probe_service(std::move(*settings));
    }
    co_return fallback_or_local_error(requested_model);
}

Result<void> check_embedding_dimension(const core::Upsert& upsert, const protocol::CollectionSchema& schema) {
    std::map<std::string, std::uint64_t> sizes;
    for (const protocol::DenseVectorInfo& vector : schema.schema.vectors) {
        // emplace keeps the first unnamed vector, should the schema list more than one.
        sizes.emplace(vector.name.value_or(""), vector.size);
    }
    for (const core::UpsertRow& row : upsert.points) {
        const auto* point = std::get_if<core::UpsertRow::Point>(&row.value);
        if (point == nullptr || !point->vectors) continue;
        if (const auto* named = std::get_if<core::NamedVectors>(&point->vectors->value)) {
            for (const auto& [name, value] : *named) {
                auto checked = check_one(sizes, upsert.collection, name, value);
                if (!checked) return checked;
            }
        } else if (const auto* unnamed = std::get_if<core::VectorValue>(&point->vectors->value)) {
            auto checked = check_one(sizes, upsert.collection, "", *unnamed);
            if (!checked) return checked;
        }
    }
    return {};
}

}  // namespace zorv::embed
