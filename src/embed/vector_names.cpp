#include "embed/vector_names.h"

namespace zorv::embed {

namespace {

VectorNameLists collect_names(const protocol::CollectionSchema& schema, bool unnamed_multivector) {
    const protocol::CollectionSettings& settings = schema.schema;
    VectorNameLists lists;
    for (const protocol::DenseVectorInfo& vector : settings.vectors) {
        lists.dense.push_back(vector.name.value_or(""));
        if (vector.multivector && (vector.name || unnamed_multivector)) {
            lists.multivector.push_back(vector.name.value_or(""));
        }
    }
    if (settings.vectors.empty()) lists.dense = settings.dense_vectors;
    for (const protocol::SparseVectorInfo& sparse : settings.sparse_vectors) lists.sparse.push_back(sparse.name);
    return lists;
}

}  // namespace

VectorNameLists vector_name_lists(const protocol::CollectionSchema& schema) {
    VectorNameLists lists = collect_names(schema, true);
    if (lists.dense.empty() && lists.sparse.empty()) lists.dense.emplace_back();
    return lists;
}

VectorNameLists schema_vector_names(const protocol::CollectionSchema& schema) { return collect_names(schema, false); }

}  // namespace zorv::embed
