// The vector names of a collection, grouped by kind, as the embedding steps match targets against them.
#pragma once

#include <string>
#include <vector>

namespace zorv::embed {

struct VectorNameLists {
    std::vector<std::string> dense;  // multivector ones included; "" is the unnamed vector
    std::vector<std::string> sparse;
    std::vector<std::string> multivector;  // dense vectors with a multivector configuration
    friend bool operator==(const VectorNameLists&, const VectorNameLists&) = default;
};

}  // namespace zorv::embed
