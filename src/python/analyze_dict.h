// The dict of Client.explain_analyze.
#pragma once

#include "python/py_ref.h"
#include "runtime/executor/analyze.h"

namespace zorv::python {

// ok, phases, plan, results, then server_time_s and usage when the server reported them: keys in
// ascending order at every level, as a JSON object would list them. Null with the error set.
PyObject* analyze_report_to_py(const runtime::AnalyzeReport& report);

}  // namespace zorv::python
