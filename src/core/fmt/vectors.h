// Canonical text of vector values and of the vectors of one point.
#pragma once

#include <string>

#include "core/ast/vector.h"

namespace zorv::core {

std::string format_vector_value(const VectorValue& vector);
std::string format_point_vectors(const PointVectors& vectors);
// "{key: value, ...}"
std::string format_inference_options(const LiteralDict& options);

}  // namespace zorv::core
