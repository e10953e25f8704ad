#include "embed/embed_protocol.h"

#include <simdjson.h>

#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include "embed/message_format.h"

#include "core/diagnostics.h"

namespace zorv::embed {

using core::Diag;
using core::fail;

namespace {

void append_json_string(std::string& out, std::string_view text) {
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    for (char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    out += "\\u00";
                    out += hex[static_cast<unsigned char>(c) >> 4];
                    out += hex[static_cast<unsigned char>(c) & 0xf];
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

void append_json_strings(std::string& out, const std::vector<std::string>& texts) {
    out += '[';
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i > 0) out += ',';
        append_json_string(out, texts[i]);
    }
    out += ']';
}

using simdjson::dom::element;
using simdjson::dom::element_type;
using Decoded = std::expected<std::vector<EmbedItem>, std::string>;

std::string shortest(double value) {
    std::array<char, 32> buf{};
    auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value);
    return std::string(buf.data(), end);
}

bool is_number(element e) {
    auto t = e.type();
    return t == element_type::INT64 || t == element_type::UINT64 || t == element_type::DOUBLE;
}

double number_value(element e) {
    switch (e.type()) {
        case element_type::INT64: return static_cast<double>(int64_t(e));
        case element_type::UINT64: return static_cast<double>(uint64_t(e));
        default: return double(e);
    }
}

// A JSON number as the nearest 32-bit float; a finite number beyond its range is an error.
std::expected<float, std::string> to_f32(element e) {
    double value = number_value(e);
    auto narrowed = static_cast<float>(value);
    if (std::isinf(narrowed) && !std::isinf(value)) {
        return std::unexpected(format_message("number {} is out of range for a 32-bit float", shortest(value)));
    }
    return narrowed;
}

std::optional<std::uint64_t> non_negative_integer(element e) {
    if (e.type() == element_type::UINT64) return uint64_t(e);
    if (e.type() == element_type::INT64 && int64_t(e) >= 0) return static_cast<std::uint64_t>(int64_t(e));
    return std::nullopt;
}

std::expected<DenseVector, std::string> read_row(simdjson::dom::array row) {
    DenseVector out;
    out.reserve(row.size());
    for (element n : row) {
        auto value = to_f32(n);
        if (!value) return std::unexpected(std::move(value.error()));
        out.push_back(*value);
    }
    return out;
}

bool all_numbers(simdjson::dom::array a) {
    for (element e : a) {
        if (!is_number(e)) return false;
    }
    return true;
}

// An array of numbers (dense; the empty array included) or an array of arrays of numbers.
std::expected<std::variant<DenseVector, MultiVector>, std::string> read_payload(element e) {
    const std::string no_variant = "data did not match any variant of untagged enum EmbeddingPayload";
    if (e.type() != element_type::ARRAY) return std::unexpected(no_variant);
    simdjson::dom::array outer = e;
    if (all_numbers(outer)) {
        auto row = read_row(outer);
        if (!row) return std::unexpected(std::move(row.error()));
        return std::move(*row);
    }
    for (element r : outer) {
        if (r.type() != element_type::ARRAY || !all_numbers(simdjson::dom::array(r))) {
            return std::unexpected(no_variant);
        }
    }
    MultiVector multi;
    multi.reserve(outer.size());
    for (element r : outer) {
        auto row = read_row(r);
        if (!row) return std::unexpected(std::move(row.error()));
        multi.push_back(std::move(*row));
    }
    return multi;
}

std::expected<EmbedItem, std::string> read_item(element e, std::size_t position) {
    std::optional<element> index;
    std::optional<element> embedding;
    if (e.type() == element_type::OBJECT) {
        for (auto field : simdjson::dom::object(e)) {
            std::optional<element>* slot = nullptr;
            if (field.key == "index") slot = &index;
            if (field.key == "embedding") slot = &embedding;
            if (slot == nullptr) continue;
            if (slot->has_value()) {
                return std::unexpected(format_message("duplicate field `{}` in data[{}]", field.key, position));
            }
            *slot = field.value;
        }
        if (!index) return std::unexpected(format_message("missing field `index` in data[{}]", position));
        if (!embedding) return std::unexpected(format_message("missing field `embedding` in data[{}]", position));
    } else if (e.type() == element_type::ARRAY && simdjson::dom::array(e).size() == 2) {
        index = simdjson::dom::array(e).at(0).value();
        embedding = simdjson::dom::array(e).at(1).value();
    } else {
        return std::unexpected(
            format_message("data[{}] is neither an object nor an [index, embedding] pair", position));
    }
    auto number = non_negative_integer(*index);
    if (!number) return std::unexpected(format_message("data[{}].index is not a non-negative integer", position));
    auto payload = read_payload(*embedding);
    if (!payload) return std::unexpected(std::move(payload.error()));
    return EmbedItem{*number, std::move(*payload)};
}

Decoded read_data(element data) {
    if (data.type() != element_type::ARRAY) return std::unexpected("`data` is not an array");
    std::vector<EmbedItem> items;
    std::size_t position = 0;
    for (element e : simdjson::dom::array(data)) {
        auto item = read_item(e, position++);
        if (!item) return std::unexpected(std::move(item.error()));
        items.push_back(std::move(*item));
    }
    return items;
}

// simdjson's parser is not cheap to set up and not thread-safe: one per thread.
simdjson::dom::parser& thread_parser() {
    thread_local simdjson::dom::parser parser = [] {
        simdjson::dom::parser p;
        [[maybe_unused]] auto error = p.allocate(simdjson::SIMDJSON_PADDING, embed_reply_max_depth);
        return p;
    }();
    return parser;
}

std::expected<element, std::string> parse(std::string_view body) {
    element root;
    auto error = thread_parser().parse(body.data(), body.size()).get(root);
    if (error == simdjson::DEPTH_ERROR) {
        return std::unexpected(format_message("reply nests deeper than {} levels", embed_reply_max_depth));
    }
    if (error) return std::unexpected(std::string(simdjson::error_message(error)));
    return root;
}

struct CallText {
    Diag diag;
    std::string_view label;
};

CallText call_text(EmbedCallKind kind) {
    switch (kind) {
        case EmbedCallKind::Image: return {Diag::EmbeddingImage, "image embedding"};
        case EmbedCallKind::Multi: return {Diag::EmbeddingMulti, "multi embedding"};
        default: return {Diag::Embedding, "embedding"};
    }
}

// The index checks shared by every call: in range and not seen before.
core::Result<void> check_slot(EmbedCallKind kind, std::uint64_t index, std::size_t inputs,
                              const std::vector<bool>& filled) {
    auto [diag, label] = call_text(kind);
    if (index >= inputs) return fail(diag, format_message("{} response index {} out of range", label, index));
    if (filled[index]) return fail(diag, format_message("{} response duplicated index {}", label, index));
    return {};
}

}  // namespace

std::string embedding_request_body(std::string_view model, const std::vector<std::string>& inputs) {
    std::string out = "{\"model\":";
    append_json_string(out, model);
    out += ",\"input\":";
    append_json_strings(out, inputs);
    out += '}';
    return out;
}

std::string rerank_request_body(std::string_view model, std::string_view query,
                                const std::vector<std::string>& documents) {
    std::string out = "{\"documents\":";
    append_json_strings(out, documents);
    out += ",\"model\":";
    append_json_string(out, model);
    out += ",\"query\":";
    append_json_string(out, query);
    out += '}';
    return out;
}

Decoded decode_embed_response(std::string_view body) {
    auto root = parse(body);
    if (!root) return std::unexpected(std::move(root.error()));
    if (root->type() == element_type::ARRAY) {
        simdjson::dom::array outer = *root;
        if (outer.size() != 1) return std::unexpected("a reply array must hold exactly the data array");
        return read_data(outer.at(0).value());
    }
    if (root->type() != element_type::OBJECT) return std::unexpected("the reply is not an object with `data`");
    std::optional<element> data;
    for (auto field : simdjson::dom::object(*root)) {
        if (field.key != "data") continue;
        if (data) return std::unexpected("duplicate field `data`");
        data = field.value;
    }
    if (!data) return std::unexpected("missing field `data`");
    return read_data(*data);
}

core::Result<std::vector<DenseVector>> dense_results(EmbedCallKind kind, std::vector<EmbedItem> items,
                                                     std::size_t inputs, std::uint64_t dimension) {
    const bool image = kind == EmbedCallKind::Image;
    auto [diag, label] = call_text(kind);
    if (items.size() != inputs) {
        return fail(diag, format_message("{} response returned {} vector(s) for {} {}", label, items.size(), inputs,
                                         image ? "source(s)" : "input(s)"));
    }
    std::vector<DenseVector> slots(inputs);
    std::vector<bool> filled(inputs, false);
    for (EmbedItem& item : items) {
        ZORV_CHECK(check_slot(kind, item.index, inputs, filled));
        auto* vector = std::get_if<DenseVector>(&item.embedding);
        if (vector == nullptr) {
            return fail(diag, image ? format_message("image embedding index {} returned multivector; expected dense "
                                                     "(CLIP vision is single-vector)",
                                                     item.index)
                                    : format_message("embedding response index {} returned multivector; expected dense",
                                                     item.index));
        }
        if (vector->size() != dimension) {
            return fail(diag, format_message("{} dimension mismatch for index {}: got {} want {}", label, item.index,
                                             vector->size(), dimension));
        }
        slots[item.index] = std::move(*vector);
        filled[item.index] = true;
    }
    for (std::size_t i = 0; i < inputs; ++i) {
        if (!filled[i]) {
            return fail(diag,
                        format_message("missing {} at index {}", image ? "image embedding" : "embedding vector", i));
        }
    }
    return slots;
}

core::Result<std::vector<MultiVector>> multi_results(std::vector<EmbedItem> items, std::size_t inputs,
                                                     std::uint64_t dimension, std::string_view model) {
    if (items.size() != inputs) {
        return fail(Diag::EmbeddingMulti, format_message("multi embedding response returned {} result(s) for {} "
                                                         "input(s) (model={})",
                                                         items.size(), inputs, model));
    }
    std::vector<MultiVector> slots(inputs);
    std::vector<bool> filled(inputs, false);
    for (EmbedItem& item : items) {
        ZORV_CHECK(check_slot(EmbedCallKind::Multi, item.index, inputs, filled));
        if (auto* flat = std::get_if<DenseVector>(&item.embedding)) {
            return fail(Diag::EmbeddingMulti,
                        format_message("multi embedding endpoint returned a flat dense vector (len={}) for index {}; "
                                       "expected nested array [[f32,…],…] (token-level multivector). Point MODEL at a "
                                       "ColBERT multi service or set multi_embedding_endpoint.",
                                       flat->size(), item.index));
        }
        auto& bag = std::get<MultiVector>(item.embedding);
        if (bag.empty()) {
            return fail(Diag::EmbeddingMulti,
                        format_message("multi embedding returned empty bag at index {}", item.index));
        }
        for (std::size_t row = 0; dimension != 0 && row < bag.size(); ++row) {
            if (bag[row].size() != dimension) {
                return fail(Diag::EmbeddingMulti,
                            format_message("multi embedding dimension mismatch at index {} row {}: got {} want {}",
                                           item.index, row, bag[row].size(), dimension));
            }
        }
        slots[item.index] = std::move(bag);
        filled[item.index] = true;
    }
    for (std::size_t i = 0; i < inputs; ++i) {
        if (!filled[i]) return fail(Diag::EmbeddingMulti, format_message("missing multi embedding at index {}", i));
    }
    return slots;
}

core::Result<std::vector<float>> rerank_results(std::string_view body, std::size_t documents) {
    auto root = parse(body);
    if (!root) return fail(Diag::RerankCross, "failed to decode rerank response: " + root.error());
    std::optional<element> results;
    std::optional<element> data;
    if (root->type() == element_type::OBJECT) {
        // A repeated key counts with its last value.
        for (auto field : simdjson::dom::object(*root)) {
            if (field.key == "results") results = field.value;
            if (field.key == "data") data = field.value;
        }
    }
    std::optional<element> list = results ? results : data;
    if (!list || list->type() != element_type::ARRAY) {
        return fail(Diag::RerankCross, "rerank response missing results array");
    }
    std::vector<float> scores(documents, 0.0F);
    std::vector<bool> covered(documents, false);
    for (element e : simdjson::dom::array(*list)) {
        std::optional<element> index;
        std::optional<element> relevance;
        std::optional<element> score;
        if (e.type() == element_type::OBJECT) {
            for (auto field : simdjson::dom::object(e)) {
                if (field.key == "index") index = field.value;
                if (field.key == "relevance_score") relevance = field.value;
                if (field.key == "score") score = field.value;
            }
        }
        std::optional<std::uint64_t> at = index ? non_negative_integer(*index) : std::nullopt;
        if (!at) return fail(Diag::RerankCross, "rerank result missing index");
        if (*at >= documents)
            return fail(Diag::RerankCross, format_message("rerank result index {} out of range", *at));
        // A missing or non-numeric score counts as 0; "relevance_score" wins even when unusable.
        std::optional<element> chosen = relevance ? relevance : score;
        scores[*at] = chosen && is_number(*chosen) ? static_cast<float>(number_value(*chosen)) : 0.0F;
        covered[*at] = true;
    }
    for (bool c : covered) {
        if (!c) return fail(Diag::RerankCross, "rerank response did not cover all documents");
    }
    return scores;
}

std::string unavailable_message(std::string_view endpoint, std::string_view client_error) {
    return format_message(
        "failed to connect to embedding endpoint at '{}': {}"
        "\n→ make sure an embedding server is running and reachable at '{}'"
        "\n→ or pass precomputed vectors through a parameters file (VECTOR [...] values instead of TEXT)"
        "\n→ or embed locally without a server and send the vectors themselves",
        endpoint, client_error, endpoint);
}

}  // namespace zorv::embed
