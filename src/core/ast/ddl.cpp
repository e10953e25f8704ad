#include "core/ast/ddl.h"

namespace zorv::core {

std::string_view distance_metric_name(DistanceMetric metric) {
    switch (metric) {
        case DistanceMetric::Cosine: return "COSINE";
        case DistanceMetric::Dot: return "DOT";
        case DistanceMetric::Euclid: return "EUCLID";
        case DistanceMetric::Manhattan: return "MANHATTAN";
    }
    return "COSINE";
}

}  // namespace zorv::core
