// `ExecutionReport.from_results`: a report built offline from plain result dicts.
#pragma once

#include <optional>

#include "protocol/response.h"
#include "python/py_ref.h"

namespace zorv::python {

inline constexpr const char* kFromResultsDoc =
    "from_results($cls, results)\n"
    "--\n"
    "\n"
    "Build an in-memory report from typed statement specs (tests, mocks,\n"
    "offline replay). Each spec is a dict with an `operation` string,\n"
    "an optional `ok` (default `True`) and `message`, and at most one typed\n"
    "payload key:\n"
    "\n"
    "- `hits`: list of `{id, score?, payload?, collection?, vector?}`\n"
    "- `groups`: list of `{id, hits}`\n"
    "- `count`: int \xE2\x80\x94 a COUNT result, or a mutation's affected count on any\n"
    "  other operation\n"
    "- `facet`: list of `{value, count}`\n"
    "- `collections`: list of collection names\n"
    "- `collection`: collection-info dict (`status`, `points_count`, \xE2\x80\xA6)\n"
    "- `shard_keys`: list of strings or non-negative ints\n"
    "- `quotas`: quota-config dict (`enabled`, `max_disk_usage_percent`, \xE2\x80\xA6)\n"
    "\n"
    "Live reports always come from a client's `execute()`; this constructor\n"
    "exists so offline tests can exercise the typed accessors without a\n"
    "serialized-envelope round trip.";

// The report of the result specs in `results` (any iterable), or nullopt with the Python error
// set; nothing partial survives a failure.
std::optional<protocol::ExecutionReport> report_from_results(PyObject* results);

}  // namespace zorv::python
