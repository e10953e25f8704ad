#include "plan/rest/index_body.h"

#include <utility>

#include "plan/json_write.h"

namespace zorv::plan {

namespace {

bool has_params(const PlanIndexParams& params) { return params != PlanIndexParams{}; }

JsonArray string_array(const std::vector<std::string>& items) { return JsonArray(items.begin(), items.end()); }

// Calls `emit(key, value)` with the plan value of every set parameter, in the order the text form
// writes them.
template <class Emit>
void for_each_param(const PlanIndexParams& p, Emit&& emit) {
    const std::pair<std::string_view, const std::optional<bool>*> flags[] = {
        {"is_tenant", &p.is_tenant},
        {"on_disk", &p.on_disk},
        {"enable_hnsw", &p.enable_hnsw},
        {"lowercase", &p.lowercase},
        {"ascii_folding", &p.ascii_folding},
        {"phrase_matching", &p.phrase_matching},
        {"lookup", &p.lookup},
        {"range", &p.range},
        {"is_principal", &p.is_principal},
        {"prefix", &p.prefix},
    };
    for (const auto& [key, flag] : flags) {
        if (*flag) emit(key, **flag);
    }
    if (p.min_token_len) emit("min_token_len", *p.min_token_len);
    if (p.max_token_len) emit("max_token_len", *p.max_token_len);
    if (p.tokenizer) emit("tokenizer", *p.tokenizer);
    if (p.stemmer) emit("stemmer", *p.stemmer);
    if (p.stopwords) emit("stopwords", *p.stopwords);
    if (p.memory) emit("memory", *p.memory);
}

JsonValue param_json(bool flag) { return flag; }
JsonValue param_json(std::uint64_t n) { return n; }
JsonValue param_json(PlanTokenizer tokenizer) { return tokenizer_json(tokenizer); }
JsonValue param_json(const PlanStemmer& stemmer) { return stemmer_json(stemmer); }
JsonValue param_json(const PlanStopwords& stopwords) { return stopwords_json(stopwords); }
JsonValue param_json(core::StorageTier tier) { return std::string(core::storage_tier_name(tier)); }

void write_param(std::string& out, bool flag) { out += flag ? "true" : "false"; }
void write_param(std::string& out, std::uint64_t n) { write_json_u64(out, n); }
void write_param(std::string& out, PlanTokenizer tokenizer) { write_json_string(out, tokenizer_name(tokenizer)); }
void write_param(std::string& out, core::StorageTier tier) { write_json_string(out, core::storage_tier_name(tier)); }

void write_param(std::string& out, const PlanStemmer& stemmer) {
    JsonObjectWriter obj(out);
    write_str_entry_ref(obj, "type", stemmer.snowball ? "snowball" : "none");
    if (stemmer.snowball) write_str_entry(obj, "language", *stemmer.snowball);
}

void write_string_list(std::string& out, const std::vector<std::string>& items) {
    out += '[';
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += ',';
        write_json_string(out, items[i]);
    }
    out += ']';
}

void write_param(std::string& out, const PlanStopwords& stopwords) {
    JsonObjectWriter obj(out);
    if (!stopwords.languages.empty()) write_string_list(obj.key("languages"), stopwords.languages);
    if (!stopwords.custom.empty()) write_string_list(obj.key("custom"), stopwords.custom);
}

}  // namespace

std::string_view field_schema_type_name(PlanIndexType type) { return index_type_name(type); }

JsonValue stemmer_json(const PlanStemmer& stemmer) {
    if (!stemmer.snowball) return JsonObject{{"type", "none"}};
    return JsonObject{{"type", "snowball"}, {"language", *stemmer.snowball}};
}

JsonValue stopwords_json(const PlanStopwords& stopwords) {
    JsonObject out;
    if (!stopwords.languages.empty()) out.emplace("languages", string_array(stopwords.languages));
    if (!stopwords.custom.empty()) out.emplace("custom", string_array(stopwords.custom));
    return out;
}

JsonValue tokenizer_json(PlanTokenizer tokenizer) { return std::string(tokenizer_name(tokenizer)); }

JsonValue field_schema_json(const PlanFieldIndex& index) {
    const std::string type(field_schema_type_name(index.field_type));
    if (!has_params(index.params)) return type;
    JsonObject schema{{"type", type}};
    for_each_param(index.params, [&](std::string_view key, const auto& value) {
        schema.insert_or_assign(std::string(key), param_json(value));
    });
    return schema;
}

JsonValue field_index_body(const CreateIndexOp& op) {
    return JsonObject{{"field_name", op.index.field_name}, {"field_schema", field_schema_json(op.index)}};
}

void write_field_index_body(std::string& out, const CreateIndexOp& op) {
    JsonObjectWriter body(out);
    write_str_entry(body, "field_name", op.index.field_name);
    const std::string_view type = field_schema_type_name(op.index.field_type);
    if (!has_params(op.index.params)) {
        write_str_entry_ref(body, "field_schema", type);
        return;
    }
    JsonObjectWriter schema(body.key("field_schema"));
    write_str_entry_ref(schema, "type", type);
    for_each_param(op.index.params,
                   [&](std::string_view key, const auto& value) { write_param(schema.key(key), value); });
}

}  // namespace zorv::plan
