// Search parameters, payload and vector selectors, GROUP BY and the output selection.
#include <variant>

#include "core/json/emit.h"
#include "core/overloaded.h"

namespace zorv::core::json {
namespace {

void write_quantization(JsonOut& out, const std::optional<QuantizationSearchParams>& q) {
    out.key("quantization");
    if (!q) {
        out.null();
        return;
    }
    Object obj(out);
    opt_bool_field(out, "ignore", q->ignore);
    opt_bool_field(out, "rescore", q->rescore);
    opt_f64_field(out, "oversampling", q->oversampling);
}

void write_consistency(JsonOut& out, const std::optional<Consistency>& c) {
    out.key("consistency");
    if (!c) {
        out.null();
        return;
    }
    std::visit(Overloaded{
                   [&](const Consistency::Factor& f) { tagged(out, "Factor", [&] { out.u64(f.value); }); },
                   [&](const Consistency::Majority&) { out.string("Majority"); },
                   [&](const Consistency::Quorum&) { out.string("Quorum"); },
                   [&](const Consistency::All&) { out.string("All"); },
               },
               c->value);
}

void write_search_params(JsonOut& out, const SearchParams& p) {
    Object obj(out);
    opt_u64_field(out, "hnsw_ef", p.hnsw_ef);
    opt_bool_field(out, "exact", p.exact);
    opt_bool_field(out, "acorn", p.acorn);
    opt_f64_field(out, "max_selectivity", p.max_selectivity);
    opt_bool_field(out, "indexed_only", p.indexed_only);
    write_quantization(out, p.quantization);
    opt_u64_field(out, "rrf_k", p.rrf_k);
    out.key("rrf_weights");
    if (p.rrf_weights) {
        array_of(out, *p.rrf_weights, [&](double w) { out.f64(w); });
    } else {
        out.null();
    }
    out.key("idf");
    if (p.idf) {
        Object idf(out);
        out.key("corpus");
        if (p.idf->corpus) {
            write_filter(out, *p.idf->corpus);
        } else {
            out.null();
        }
    } else {
        out.null();
    }
    opt_u64_field(out, "timeout", p.timeout);
    write_consistency(out, p.consistency);
}

}  // namespace

void write_search_params_field(JsonOut& out, std::string_view key, const std::optional<SearchParams>& params) {
    out.key(key);
    if (params) {
        write_search_params(out, *params);
    } else {
        out.null();
    }
}

void write_payload_selector_field(JsonOut& out, std::string_view key, const std::optional<PayloadSelector>& sel) {
    out.key(key);
    if (!sel) {
        out.null();
        return;
    }
    std::visit(Overloaded{
                   [&](const PayloadSelector::All&) { out.string("All"); },
                   [&](const PayloadSelector::None&) { out.string("None"); },
                   [&](const PayloadSelector::Include& s) { tagged(out, "Include", [&] { str_list(out, s.names); }); },
                   [&](const PayloadSelector::Exclude& s) { tagged(out, "Exclude", [&] { str_list(out, s.names); }); },
               },
               sel->value);
}

void write_vector_selector_field(JsonOut& out, std::string_view key, const std::optional<VectorSelector>& sel) {
    out.key(key);
    if (!sel) {
        out.null();
        return;
    }
    std::visit(Overloaded{
                   [&](const VectorSelector::All&) { out.string("All"); },
                   [&](const VectorSelector::None&) { out.string("None"); },
                   [&](const VectorSelector::Names& s) { tagged(out, "Names", [&] { str_list(out, s.names); }); },
               },
               sel->value);
}

void write_group_by_field(JsonOut& out, const std::optional<GroupBy>& group) {
    out.key("group");
    if (!group) {
        out.null();
        return;
    }
    Object obj(out);
    str_field(out, "field", group->field);
    opt_u64_field(out, "size", group->size);
    out.key("lookup");
    if (!group->lookup) {
        out.null();
        return;
    }
    Object lookup(out);
    str_field(out, "collection", group->lookup->collection);
    write_payload_selector_field(out, "payload", group->lookup->payload);
    write_vector_selector_field(out, "vectors", group->lookup->vectors);
}

void write_output_field(JsonOut& out, const OutputSelection& output) {
    out.key("output");
    Object obj(out);
    write_payload_selector_field(out, "payload", output.payload);
    write_vector_selector_field(out, "vectors", output.vectors);
}

}  // namespace zorv::core::json
