#include "core/ast/collection.h"

namespace zorv::core {

std::string_view storage_tier_name(StorageTier tier) {
    switch (tier) {
        case StorageTier::Cold: return "cold";
        case StorageTier::Cached: return "cached";
        case StorageTier::Pinned: return "pinned";
    }
    return "cold";
}

std::string_view vector_datatype_name(VectorDatatype datatype) {
    switch (datatype) {
        case VectorDatatype::Float32: return "float32";
        case VectorDatatype::Float16: return "float16";
        case VectorDatatype::Uint8: return "uint8";
        case VectorDatatype::Turbo4: return "turbo4";
    }
    return "float32";
}

std::string_view quantization_kind_name(QuantizationKind kind) {
    switch (kind) {
        case QuantizationKind::Scalar: return "scalar";
        case QuantizationKind::Binary: return "binary";
        case QuantizationKind::Product: return "product";
        case QuantizationKind::Turbo: return "turbo";
    }
    return "scalar";
}

}  // namespace zorv::core
