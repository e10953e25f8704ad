// The description of one collection that SHOW COLLECTION returns and the schema cache keeps.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zorv::protocol {

// Vector, index and storage settings of a collection; filled by the collection-info decoders.
struct CollectionSettings {
    std::vector<std::string> dense_vectors;  // names of the named dense vectors, as declared
    friend bool operator==(const CollectionSettings&, const CollectionSettings&) = default;
};

struct CollectionSchema {
    std::string status;
    std::uint64_t points_count = 0;
    std::optional<std::uint64_t> indexed_vectors_count;
    std::uint64_t segments_count = 0;
    CollectionSettings schema;
    friend bool operator==(const CollectionSchema&, const CollectionSchema&) = default;
};

}  // namespace zorv::protocol
