#include "core/fmt/search.h"

#include "core/fmt/filter.h"
#include "core/fmt/values.h"

namespace zorv::core {
namespace {

std::string_view bool_text(bool value) { return value ? "true" : "false"; }

void write_names(TextSink& sink, const SelectorNames& names) {
    sink.text('(');
    sink.join(names, ", ", [](TextSink& s, const auto& name) { s.identifier(name); });
    sink.text(')');
}

void write_consistency(TextSink& sink, const Consistency& consistency) {
    switch (consistency.kind()) {
        case Consistency::Kind::Factor: sink.integer(consistency.factor_value()); return;
        case Consistency::Kind::Majority: sink.text("majority"); return;
        case Consistency::Kind::Quorum: sink.text("quorum"); return;
        case Consistency::Kind::All: sink.text("all"); return;
    }
}

// Writes ", " before every item but the first.
class ItemList {
public:
    explicit ItemList(TextSink& sink) : sink_(sink) {}
    TextSink& next() {
        if (!first_) sink_.text(", ");
        first_ = false;
        return sink_;
    }

private:
    TextSink& sink_;
    bool first_ = true;
};

void write_quantization(TextSink& sink, const QuantizationSearchParams& q) {
    sink.text('{');
    ItemList items(sink);
    if (q.ignore) items.next().text("ignore: ").text(bool_text(*q.ignore));
    if (q.rescore) items.next().text("rescore: ").text(bool_text(*q.rescore));
    if (q.oversampling) items.next().text("oversampling: ").f64(*q.oversampling);
    sink.text('}');
}

void write_idf(TextSink& sink, const IdfParams& idf) {
    if (!idf.corpus) {
        sink.text("idf = 'global'");
        return;
    }
    sink.text("idf = WHERE ");
    write_filter(sink, *idf.corpus);
}

}  // namespace

void write_search_params(TextSink& sink, const SearchParams& p) {
    ItemList items(sink);
    if (p.hnsw_ef) items.next().text("hnsw_ef = ").integer(*p.hnsw_ef);
    if (p.exact) items.next().text("exact = ").text(bool_text(*p.exact));
    if (p.acorn) items.next().text("acorn = ").text(bool_text(*p.acorn));
    if (p.max_selectivity) items.next().text("max_selectivity = ").f64(*p.max_selectivity);
    if (p.indexed_only) items.next().text("indexed_only = ").text(bool_text(*p.indexed_only));
    if (p.rrf_k) items.next().text("rrf_k = ").integer(*p.rrf_k);
    if (p.rrf_weights) {
        items.next().text("rrf_weights = [").join(*p.rrf_weights, ", ", [](TextSink& s, double w) { s.f64(w); });
        sink.text(']');
    }
    if (p.quantization) write_quantization(items.next().text("quantization = "), *p.quantization);
    if (p.idf) write_idf(items.next(), *p.idf);
    if (p.timeout) items.next().text("timeout = ").integer(*p.timeout);
    if (p.consistency) write_consistency(items.next().text("consistency = "), *p.consistency);
}

std::string format_search_params(const SearchParams& params) { return print_to_string(write_search_params, params); }

void write_payload_selector(TextSink& sink, const PayloadSelector& selector) {
    switch (selector.kind()) {
        case PayloadSelector::Kind::All: sink.text("true"); return;
        case PayloadSelector::Kind::None: sink.text("false"); return;
        case PayloadSelector::Kind::Include:
            write_names(sink.text("INCLUDE "), std::get<PayloadSelector::Include>(selector.value).names);
            return;
        case PayloadSelector::Kind::Exclude:
            write_names(sink.text("EXCLUDE "), std::get<PayloadSelector::Exclude>(selector.value).names);
            return;
    }
}

std::string format_payload_selector(const PayloadSelector& selector) {
    return print_to_string(write_payload_selector, selector);
}

void write_vector_selector(TextSink& sink, const VectorSelector& selector) {
    switch (selector.kind()) {
        case VectorSelector::Kind::All: sink.text("true"); return;
        case VectorSelector::Kind::None: sink.text("false"); return;
        case VectorSelector::Kind::Names:
            write_names(sink, std::get<VectorSelector::Names>(selector.value).names);
            return;
    }
}

std::string format_vector_selector(const VectorSelector& selector) {
    return print_to_string(write_vector_selector, selector);
}

}  // namespace zorv::core
