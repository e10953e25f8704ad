#include "plan/query_input.h"

#include <utility>
#include <variant>

#include "core/overloaded.h"
#include "plan/values.h"

namespace zorv::plan {

std::uint64_t vector_element_count(const core::VectorValue& vector) {
    using core::VectorValue;
    if (const auto* dense = std::get_if<VectorValue::Dense>(&vector.value)) return dense->values.size();
    if (const auto* sparse = std::get_if<VectorValue::Sparse>(&vector.value)) return sparse->values.size();
    if (const auto* multi = std::get_if<VectorValue::MultiDense>(&vector.value)) {
        std::uint64_t total = 0;
        for (const auto& row : multi->rows) total += row.size();
        return total;
    }
    return 0;
}

}  // namespace zorv::plan
