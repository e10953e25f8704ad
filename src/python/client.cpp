#include "python/client.h"

#include <array>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "python/args.h"
#include "python/explain.h"
#include "python/functions.h"

namespace zorv::python {
namespace {

constexpr const char* kClass = "Client";
constexpr const char* kDefaultUrl = "http://localhost:6333";
// Without a url a gRPC client dials the server's gRPC port, not the REST one.
constexpr const char* kDefaultGrpcUrl = "http://localhost:6334";

constexpr const char* kClientDoc =
    "Client(url=\"http://localhost:6333\", api_key=None, use_grpc=False, embedder=None, route_affinity=None)\n--\n\n";

ClientObject* as_client(PyObject* self) { return reinterpret_cast<ClientObject*>(self); }

bool optional_str(const char* name, PyObject* obj, std::optional<std::string>& out) {
    if (obj == nullptr || obj == Py_None) return true;
    auto text = str_arg(kClass, name, obj);
    if (!text) return false;
    out.emplace(*text);
    return true;
}

PyObject* client_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    static std::array<const char*, 6> names = {"url", "api_key", "use_grpc", "embedder", "route_affinity", nullptr};
    PyObject* url_obj = nullptr;
    PyObject* api_key_obj = nullptr;
    PyObject* use_grpc_obj = nullptr;
    PyObject* embedder = nullptr;
    PyObject* affinity_obj = nullptr;
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-const-cast): the C API takes char**.
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|OOOOO:Client", const_cast<char**>(names.data()), &url_obj,
                                     &api_key_obj, &use_grpc_obj, &embedder, &affinity_obj)) {
        return nullptr;
    }
    std::optional<std::string> url;
    if (url_obj != nullptr) {
        auto text = str_arg(kClass, "url", url_obj);
        if (!text) return nullptr;
        url.emplace(*text);
    }
    std::optional<std::string> api_key;
    if (!optional_str("api_key", api_key_obj, api_key)) return nullptr;
    bool use_grpc = false;
    if (use_grpc_obj != nullptr) {
        if (!PyBool_Check(use_grpc_obj)) {
            PyErr_Format(PyExc_TypeError, "%s() argument 'use_grpc' must be bool, not %.200s", kClass,
                         Py_TYPE(use_grpc_obj)->tp_name);
            return nullptr;
        }
        use_grpc = use_grpc_obj == Py_True;
    }
    if (!url) url.emplace(use_grpc ? kDefaultGrpcUrl : kDefaultUrl);
    std::optional<std::string> route_affinity;
    if (!optional_str("route_affinity", affinity_obj, route_affinity)) return nullptr;
    std::shared_ptr<runtime::Executor> executor =
        build_client(*url, std::move(api_key), use_grpc, embedder, route_affinity);
    if (!executor) return nullptr;
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) return nullptr;
    new (&as_client(self)->executor) std::shared_ptr<runtime::Executor>(std::move(executor));
    new (&as_client(self)->route_affinity) std::optional<std::string>(std::move(route_affinity));
    return self;
}

void client_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    // The last reference frees the transport; runs in flight hold their own.
    std::destroy_at(&as_client(self)->executor);
    std::destroy_at(&as_client(self)->route_affinity);
    type->tp_free(self);
    Py_DECREF(type);
}

// The object holds no Python references; only its heap type is visited.
int client_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int client_clear(PyObject*) { return 0; }

PyObject* client_get_route_affinity(PyObject* self, void*) {
    const auto& affinity = as_client(self)->route_affinity;
    if (!affinity) return Py_NewRef(Py_None);
    return py_str(*affinity).release();
}

PyObject* client_get_is_closed(PyObject* self, void*) {
    return PyBool_FromLong(as_client(self)->executor->closed.load(std::memory_order_acquire) ? 1 : 0);
}

PyObject* client_close(PyObject* self, PyObject*) { return close_client(as_client(self)->executor); }

PyObject* client_enter(PyObject* self, PyObject*) { return Py_NewRef(self); }

PyObject* client_exit(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr std::array<ArgSpec, 3> specs{
        {{"_ty", true, false}, {"_value", true, false}, {"_traceback", true, false}}};
    std::array<PyObject*, 3> out{};
    if (!extract_args("__exit__", specs, args, nargs, kwnames, out)) return nullptr;
    PyRef closed = PyRef::steal(close_client(as_client(self)->executor));
    if (!closed) return nullptr;
    return Py_NewRef(Py_False);
}

// query, *, params=None, on_error="stop"
constexpr std::array<ArgSpec, 3> kRunSpecs{
    {{"query", true, false}, {"params", false, true}, {"on_error", false, true}}};

PyObject* client_execute(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 3> out{};
    if (!extract_args("execute", kRunSpecs, args, nargs, kwnames, out)) return nullptr;
    return execute_query(as_client(self)->executor, out[0], out[1], out[2]);
}

PyObject* client_execute_async(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 3> out{};
    if (!extract_args("execute_async", kRunSpecs, args, nargs, kwnames, out)) return nullptr;
    return execute_query_async(as_client(self)->executor, out[0], out[1], out[2]);
}

PyObject* client_explain_analyze(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 3> out{};
    if (!extract_args("explain_analyze", kRunSpecs, args, nargs, kwnames, out)) return nullptr;
    return explain_analyze_query(as_client(self)->executor, out[0], out[1], out[2]);
}

PyObject* client_explain(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr std::array<ArgSpec, 1> specs{{{"query", true, false}}};
    std::array<PyObject*, 1> out{};
    if (!extract_args("explain", specs, args, nargs, kwnames, out)) return nullptr;
    return explain_query(out[0]);
}

PyObject* client_compile(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr std::array<ArgSpec, 2> specs{{{"query", true, false}, {"params", false, false}}};
    std::array<PyObject*, 2> out{};
    if (!extract_args("compile", specs, args, nargs, kwnames, out)) return nullptr;
    auto text = str_arg("compile", "query", out[0]);
    if (!text) return nullptr;
    return compile_query(*text, out[1]);
}

// Negative numbers keep the interpreter's OverflowError.
bool batch_size_arg(PyObject* obj, std::uint64_t& out) {
    if (obj == nullptr) return true;
    if (!PyLong_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "upsert_many() argument 'batch_size' must be int, not %.200s",
                     Py_TYPE(obj)->tp_name);
        return false;
    }
    unsigned long long value = PyLong_AsUnsignedLongLong(obj);
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
    out = value;
    return true;
}

PyObject* client_upsert_many(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr std::array<ArgSpec, 4> specs{
        {{"collection", true, false}, {"rows", true, false}, {"batch_size", false, true}, {"on_error", false, true}}};
    std::array<PyObject*, 4> out{};
    if (!extract_args("upsert_many", specs, args, nargs, kwnames, out)) return nullptr;
    auto collection = str_arg("upsert_many", "collection", out[0]);
    if (!collection) return nullptr;
    constexpr std::uint64_t kDefaultBatchSize = 100;
    std::uint64_t batch_size = kDefaultBatchSize;
    if (!batch_size_arg(out[2], batch_size)) return nullptr;
    if (out[3] != nullptr && !PyUnicode_Check(out[3])) {
        PyErr_Format(PyExc_TypeError, "upsert_many() argument 'on_error' must be str, not %.200s",
                     Py_TYPE(out[3])->tp_name);
        return nullptr;
    }
    return upsert_rows(as_client(self)->executor, *collection, out[1], batch_size, out[3]);
}

template <auto Fn>
PyCFunction fastcall() {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Fn));
}

PyMethodDef client_methods[] = {
    {"close", client_close, METH_NOARGS, "close($self)\n--\n\nClose the client and release underlying connections."},
    {"__enter__", client_enter, METH_NOARGS, "__enter__($self)\n--\n\n"},
    {"__exit__", fastcall<client_exit>(), METH_FASTCALL | METH_KEYWORDS,
     "__exit__($self, _ty, _value, _traceback)\n--\n\n"},
    {"execute", fastcall<client_execute>(), METH_FASTCALL | METH_KEYWORDS,
     "execute($self, query, *, params=None, on_error=\"stop\")\n--\n\n"
     "Execute a ZORV query string, a pre-parsed Stmt, or a list of either.\n\n"
     "All retrieval, mutation, DDL and aggregation statements are supported (QUERY,\n"
     "SCROLL, COUNT, FACET, UPSERT, UPDATE, DELETE, ...). Point payloads are included\n"
     "by default; `WITH PAYLOAD false` strips them. Lists of same-collection QUERY\n"
     "statements are batched into a single network call.\n\n"
     "Note on formula queries: formula scoring is written as declarative statement\n"
     "text, for example\n"
     "`QUERY [0.1, 0.2] FROM docs FORMULA score + 0.5 * popularity LIMIT 10`,\n"
     "and is run directly by execute rather than wrapped into the object model of\n"
     "Qdrant's own Python client. Write a bare `score`, not `$score`."},
    {"execute_async", fastcall<client_execute_async>(), METH_FASTCALL | METH_KEYWORDS,
     "execute_async($self, query, *, params=None, on_error=\"stop\")\n--\n\n"
     "Async variant \xE2\x80\x94 accepts the same input types as `execute`.\n\n"
     "The request runs on the process-wide runtime shared with the transport, so\n"
     "collecting the client cannot kill it. Cancelling the returned awaitable\n"
     "detaches the request instead of aborting it: it runs to completion."},
    {"explain", fastcall<client_explain>(), METH_FASTCALL | METH_KEYWORDS, "explain($self, query)\n--\n\n"},
    {"explain_analyze", fastcall<client_explain_analyze>(), METH_FASTCALL | METH_KEYWORDS,
     "explain_analyze($self, query, *, params=None, on_error=\"stop\")\n--\n\n"
     "Analyze a single ZORV query string or pre-parsed Stmt: static plan\n"
     "plus measured execution (per-phase client timings, server time, and\n"
     "hardware/inference usage). Returns a plain dict (no `ExecutionReport`\n"
     "wrapper \xE2\x80\x94 the shape differs). Batch inputs fail closed."},
    {"compile", fastcall<client_compile>(), METH_FASTCALL | METH_KEYWORDS,
     "compile($self, query, params=None)\n--\n\n"
     "Compile a ZORV query to its transport route without executing.\n"
     "Optionally accepts `params` to bind before compiling."},
    {"upsert_many", fastcall<client_upsert_many>(), METH_FASTCALL | METH_KEYWORDS,
     "upsert_many($self, collection, rows, *, batch_size=100, on_error=\"stop\")\n--\n\n"
     "Bulk ingest: `rows` is a list of point dicts\n"
     "(`{id, vector, \xE2\x80\xA6payload}`) spliced through the `:rows` point-splice\n"
     "path in `batch_size` chunks (default 100). Row values convert exactly\n"
     "like `bind` params \xE2\x80\x94 nested dicts, lists, and 1-D float buffers\n"
     "(numpy, `array.array`, memoryviews) all compose."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef client_getset[] = {
    {"route_affinity", client_get_route_affinity, nullptr,
     "Read affinity key pinning reads to a stable replica\n"
     "(`X-Qdrant-Route-Affinity` header / gRPC metadata, Qdrant 1.19+).\n"
     "Set at construction via `Client(..., route_affinity=...)`.",
     nullptr},
    {"is_closed", client_get_is_closed, nullptr, "Whether `close()` has been called on this client.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot client_slots[] = {
    {Py_tp_doc, const_cast<char*>(kClientDoc)},  // NOLINT(cppcoreguidelines-pro-type-const-cast)
    {Py_tp_new, reinterpret_cast<void*>(client_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(client_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(client_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(client_clear)},
    {Py_tp_methods, client_methods},
    {Py_tp_getset, client_getset},
    {0, nullptr},
};

// Created as "pyzorv.Client" so that the class records its __module__; the type name is then set
// back to the bare "Client". Subclassable from Python.
PyType_Spec client_spec = {
    "pyzorv.Client",
    static_cast<int>(sizeof(ClientObject)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_BASETYPE,
    client_slots,
};

PyObject* client_type_cell = nullptr;

}  // namespace

PyObject* client_type_object() {
    if (client_type_cell != nullptr) return client_type_cell;
    PyObject* type = PyType_FromSpec(&client_spec);
    if (type == nullptr) return nullptr;
    if (client_type_cell != nullptr) {
        Py_DECREF(type);
        return client_type_cell;
    }
    reinterpret_cast<PyTypeObject*>(type)->tp_name = "Client";
    client_type_cell = type;
    return client_type_cell;
}

}  // namespace zorv::python
