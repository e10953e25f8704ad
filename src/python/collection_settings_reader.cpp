#include "python/collection_settings_reader.h"

namespace zorv::python {

PyRead<void> read_collection_setting(protocol::CollectionSettings&, std::size_t, PyObject*) { return {}; }

}  // namespace zorv::python
