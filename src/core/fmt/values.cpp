#include "core/fmt/values.h"

#include "core/text.h"

namespace zorv::core {

bool is_plain_identifier(std::string_view text) {
    if (text.empty()) return false;
    if (!is_ascii_letter(text.front()) && text.front() != '_') return false;
    for (char c : text.substr(1)) {
        if (!is_ascii_letter(c) && !is_digit(c) && c != '_') return false;
    }
    return true;
}

std::string escape_string_literal(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    TextSink(out).escaped(text);
    return out;
}

std::string quote_string(std::string_view text) {
    std::string out;
    TextSink(out).quoted(text);
    return out;
}

std::string format_identifier(std::string_view name) {
    std::string out;
    TextSink(out).identifier(name);
    return out;
}

std::string format_f64(double value) {
    std::string out;
    TextSink(out).f64(value);
    return out;
}

std::string format_f32(float value) {
    std::string out;
    TextSink(out).f32(value);
    return out;
}

void write_placeholder(TextSink& sink, const Placeholder& placeholder) {
    if (placeholder.is_named()) {
        sink.text(':').text(placeholder.name);
    } else {
        sink.text('?');
    }
}

void write_literal(TextSink& sink, const Literal& literal) {
    switch (literal.kind()) {
        case Literal::Kind::Str: sink.quoted(literal.as_str()); return;
        case Literal::Kind::Int: sink.integer(literal.as_int()); return;
        case Literal::Kind::UInt: sink.integer(literal.as_uint()); return;
        case Literal::Kind::Float: sink.f64(literal.as_float()); return;
        case Literal::Kind::Bool: sink.text(literal.as_bool() ? "true" : "false"); return;
        case Literal::Kind::Null: sink.text("null"); return;
        case Literal::Kind::Dict:
            sink.text('{');
            sink.join(literal.as_dict(), ", ", [](TextSink& s, const auto& entry) {
                s.identifier(entry.first).text(": ");
                write_literal(s, entry.second);
            });
            sink.text('}');
            return;
        case Literal::Kind::List:
            sink.text('[');
            sink.join(literal.as_list(), ", ", write_literal);
            sink.text(']');
            return;
        case Literal::Kind::F32Array:
            sink.text('[');
            sink.join(literal.as_f32_array(), ", ", [](TextSink& s, float v) { s.f32(v); });
            sink.text(']');
            return;
        case Literal::Kind::Param:
        case Literal::Kind::PositionalParam: write_placeholder(sink, literal.as_placeholder()); return;
    }
}

void format_literal_into(std::string& out, const Literal& literal) {
    TextSink sink(out);
    write_literal(sink, literal);
}

std::string format_literal(const Literal& literal) { return print_to_string(write_literal, literal); }

void write_point_id(TextSink& sink, const PointId& id) {
    switch (id.kind()) {
        case PointId::Kind::Number: sink.integer(std::get<std::uint64_t>(id.value)); return;
        case PointId::Kind::String: sink.quoted(std::get<std::string>(id.value)); return;
        case PointId::Kind::Param:
        case PointId::Kind::PositionalParam: write_placeholder(sink, std::get<Placeholder>(id.value)); return;
    }
}

std::string format_point_id(const PointId& id) { return print_to_string(write_point_id, id); }

void write_shard_key(TextSink& sink, const ShardKey& key) {
    switch (key.kind()) {
        case ShardKey::Kind::Keyword: sink.quoted(std::get<std::string>(key.value)); return;
        case ShardKey::Kind::Number: sink.integer(std::get<std::uint64_t>(key.value)); return;
        case ShardKey::Kind::Param:
        case ShardKey::Kind::PositionalParam: write_placeholder(sink, std::get<Placeholder>(key.value)); return;
    }
}

std::string format_shard_key(const ShardKey& key) { return print_to_string(write_shard_key, key); }

std::string shard_key_display(const ShardKey& key) { return format_shard_key(key); }

std::string format_placeholder(const Placeholder& placeholder) {
    return print_to_string(write_placeholder, placeholder);
}

}  // namespace zorv::core
