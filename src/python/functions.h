// The module-level functions of pyzorv.
#pragma once

#include <string_view>

#include "python/py_ref.h"

namespace zorv::python {

// Method descriptions in the order the module adds them; ends with a null entry.
extern PyMethodDef module_functions[];

PyObject* tokenize_source(std::string_view text);

// `compile(input, params)` and `Client.compile`: parse one statement, bind, compile its route.
PyObject* compile_query(std::string_view text, PyObject* params);

}  // namespace zorv::python
