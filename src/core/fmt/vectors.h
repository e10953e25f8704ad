// Canonical text of vector values and of the vectors of one point.
#pragma once

#include <string>

#include "core/ast/vector.h"
#include "core/fmt/sink.h"

namespace zorv::core {

std::string format_vector_value(const VectorValue& vector);
std::string format_point_vectors(const PointVectors& vectors);
// "{key: value, ...}"
std::string format_inference_options(const LiteralDict& options);

void write_vector_value(TextSink& sink, const VectorValue& vector);
void write_point_vectors(TextSink& sink, const PointVectors& vectors);
void write_inference_options(TextSink& sink, const LiteralDict& options);
// "[1.0, 2.0]"
void write_dense(TextSink& sink, const std::vector<float>& values);

}  // namespace zorv::core
