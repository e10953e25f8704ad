#include "core/fmt/search.h"

#include <vector>

#include "core/fmt/filter.h"
#include "core/fmt/values.h"

namespace zorv::core {
namespace {

std::string_view bool_text(bool value) { return value ? "true" : "false"; }

std::string names_text(const SelectorNames& names) { return join_mapped(names, ", ", format_identifier); }

std::string consistency_text(const Consistency& consistency) {
    switch (consistency.kind()) {
        case Consistency::Kind::Factor: return std::to_string(consistency.factor_value());
        case Consistency::Kind::Majority: return "majority";
        case Consistency::Kind::Quorum: return "quorum";
        case Consistency::Kind::All: return "all";
    }
    return "all";
}

std::string quantization_text(const QuantizationSearchParams& q) {
    std::vector<std::string> items;
    if (q.ignore) items.push_back("ignore: " + std::string(bool_text(*q.ignore)));
    if (q.rescore) items.push_back("rescore: " + std::string(bool_text(*q.rescore)));
    if (q.oversampling) items.push_back("oversampling: " + format_f64(*q.oversampling));
    return "{" + join_texts(items, ", ") + "}";
}

std::string idf_text(const IdfParams& idf) {
    if (idf.corpus) return "idf = WHERE " + format_filter(*idf.corpus);
    return "idf = 'global'";
}

}  // namespace

std::string format_search_params(const SearchParams& p) {
    std::vector<std::string> items;
    if (p.hnsw_ef) items.push_back("hnsw_ef = " + std::to_string(*p.hnsw_ef));
    if (p.exact) items.push_back("exact = " + std::string(bool_text(*p.exact)));
    if (p.acorn) items.push_back("acorn = " + std::string(bool_text(*p.acorn)));
    if (p.max_selectivity) items.push_back("max_selectivity = " + format_f64(*p.max_selectivity));
    if (p.indexed_only) items.push_back("indexed_only = " + std::string(bool_text(*p.indexed_only)));
    if (p.rrf_k) items.push_back("rrf_k = " + std::to_string(*p.rrf_k));
    if (p.rrf_weights) items.push_back("rrf_weights = [" + join_mapped(*p.rrf_weights, ", ", format_f64) + "]");
    if (p.quantization) items.push_back("quantization = " + quantization_text(*p.quantization));
    if (p.idf) items.push_back(idf_text(*p.idf));
    if (p.timeout) items.push_back("timeout = " + std::to_string(*p.timeout));
    if (p.consistency) items.push_back("consistency = " + consistency_text(*p.consistency));
    return join_texts(items, ", ");
}

std::string format_payload_selector(const PayloadSelector& selector) {
    switch (selector.kind()) {
        case PayloadSelector::Kind::All: return "true";
        case PayloadSelector::Kind::None: return "false";
        case PayloadSelector::Kind::Include:
            return "INCLUDE (" + names_text(std::get<PayloadSelector::Include>(selector.value).names) + ")";
        case PayloadSelector::Kind::Exclude:
            return "EXCLUDE (" + names_text(std::get<PayloadSelector::Exclude>(selector.value).names) + ")";
    }
    return "true";
}

std::string format_vector_selector(const VectorSelector& selector) {
    switch (selector.kind()) {
        case VectorSelector::Kind::All: return "true";
        case VectorSelector::Kind::None: return "false";
        case VectorSelector::Kind::Names:
            return "(" + names_text(std::get<VectorSelector::Names>(selector.value).names) + ")";
    }
    return "true";
}

}  // namespace zorv::core
