// The vector names of a collection, grouped by kind, as the embedding steps match targets against them.
#pragma once

#include <string>
#include <vector>

#include "protocol/collection_schema.h"

namespace zorv::embed {

struct VectorNameLists {
    std::vector<std::string> dense;  // multivector ones included; "" is the unnamed vector
    std::vector<std::string> sparse;
    std::vector<std::string> multivector;  // dense vectors with a multivector configuration
    friend bool operator==(const VectorNameLists&, const VectorNameLists&) = default;
};

// The names UPSERT targets are resolved against: an unnamed multivector counts as "", and a
// collection without dense and sparse vectors is taken to have the unnamed dense vector.
VectorNameLists vector_name_lists(const protocol::CollectionSchema& schema);

// The names kept beside a cached schema: only named multivectors, and no assumed unnamed vector.
VectorNameLists schema_vector_names(const protocol::CollectionSchema& schema);

}  // namespace zorv::embed
