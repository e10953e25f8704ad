#include "python/stmt.h"

#include <array>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "core/fmt/statement.h"
#include "core/params/render.h"
#include "core/parser/parser.h"
#include "core/rewrite/shard_key.h"
#include "python/args.h"
#include "python/compile.h"
#include "python/errors.h"
#include "python/explain.h"
#include "python/inject.h"
#include "python/params.h"
#include "python/statement_json.h"

namespace zorv::python {
namespace {

constexpr const char* kStmtDoc = "A parsed ZORV statement handle (mirrors `zorav`'s `Stmt` and `zorv-wasm`'s).";

constexpr const char* kBoundDoc =
    "Whether parameters have already been bound into this statement.\n"
    "Binding again \xE2\x80\x94 or passing params to `execute` / `compile_route` \xE2\x80\x94\n"
    "would be silently ignored, so both raise `ZORV-BIND-ALREADY-BOUND`.\n"
    "Read-only (mirrors `zorav` / `zorv-wasm` `Stmt.bound`).";

constexpr const char* kShardKeyDoc =
    "ZORV `SHARD '\xE2\x80\xA6'` routing key on this statement (request-level; not a filter).\n"
    "Prefer writing `SHARD 'tenant'` in ZORV; use the setter only when the host\n"
    "resolves the key after parse. Empty / None clears. Recurses into CTEs.\n"
    "\n"
    "Reads back `str` for keyword keys, `int` for numeric keys, `None` when\n"
    "unset (placeholders also read as `None` \xE2\x80\x94 bind first).";

// Vectors in the repr keep their first two numbers and a count.
constexpr std::size_t kReprVectorKeep = 2;

StmtObject* as_stmt(PyObject* self) { return reinterpret_cast<StmtObject*>(self); }

void stmt_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    StmtObject* stmt = as_stmt(self);
    std::destroy_at(&stmt->statement);
    std::destroy_at(&stmt->borrows);
    type->tp_free(self);
    Py_DECREF(type);
}

// The object holds no Python references; only its heap type is visited.
int stmt_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int stmt_clear(PyObject*) { return 0; }

PyObject* stmt_get_bound(PyObject* self, void*) {
    StmtBorrow borrow = StmtBorrow::shared(as_stmt(self));
    if (!borrow.ok()) return borrow.raise();
    return PyBool_FromLong(as_stmt(self)->bound ? 1 : 0);
}

PyObject* stmt_str(PyObject* self) {
    StmtBorrow borrow = StmtBorrow::shared(as_stmt(self));
    if (!borrow.ok()) return borrow.raise();
    return py_str(core::format_statement(as_stmt(self)->statement)).release();
}

PyObject* stmt_repr(PyObject* self) {
    StmtBorrow borrow = StmtBorrow::shared(as_stmt(self));
    if (!borrow.ok()) return borrow.raise();
    std::string text = "<Stmt: ";
    text += core::truncate_vector_literals(core::format_statement(as_stmt(self)->statement), kReprVectorKeep);
    text += '>';
    return py_str(text).release();
}

PyObject* stmt_bind(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr std::array<ArgSpec, 1> specs{{{"params", false, false}}};
    std::array<PyObject*, 1> out{};
    if (!extract_args("bind", specs, args, nargs, kwnames, out)) return nullptr;
    StmtObject* stmt = as_stmt(self);
    StmtBorrow borrow = StmtBorrow::shared(stmt);
    if (!borrow.ok()) return borrow.raise();
    const bool given = has_params(out[0]);
    if (given && stmt->bound) return raise_zorv_error(already_bound_error(), kValidationErrorClass);
    core::Statement copy = stmt->statement;
    if (!bind_params_into_stmt(copy, out[0])) return nullptr;
    return create_stmt_object(std::move(copy), given || stmt->bound);
}

PyObject* stmt_inject_filter(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr std::array<ArgSpec, 3> specs{
        {{"field", true, false}, {"op", true, false}, {"value", true, false}}};
    std::array<PyObject*, 3> out{};
    if (!extract_args("inject_filter", specs, args, nargs, kwnames, out)) return nullptr;
    StmtBorrow borrow = StmtBorrow::exclusive(as_stmt(self));
    if (!borrow.ok()) return borrow.raise();
    auto field = str_arg("inject_filter", "field", out[0]);
    if (!field) return nullptr;
    auto op = str_arg("inject_filter", "op", out[1]);
    if (!op) return nullptr;
    std::optional<InjectCondition> condition = inject_condition_from_py(*field, *op, out[2]);
    if (!condition || !inject_into_statement(as_stmt(self)->statement, *condition)) return nullptr;
    Py_RETURN_NONE;
}

PyObject* stmt_explain(PyObject* self, PyObject*) {
    StmtBorrow borrow = StmtBorrow::shared(as_stmt(self));
    if (!borrow.ok()) return borrow.raise();
    const core::Statement& statement = as_stmt(self)->statement;
    PyRef text = py_str(core::format_statement(statement));
    if (!text) return nullptr;
    return explain_ok_dict(text.get(), statement);
}

// A keyword key reads as str, a numeric one as int; no key or a placeholder as None.
PyObject* stmt_get_shard_key(PyObject* self, void*) {
    StmtBorrow borrow = StmtBorrow::shared(as_stmt(self));
    if (!borrow.ok()) return borrow.raise();
    const core::ShardKey* key = core::statement_shard_key(as_stmt(self)->statement);
    if (key == nullptr) Py_RETURN_NONE;
    switch (key->kind()) {
        case core::ShardKey::Kind::Keyword: return py_str(std::get<std::string>(key->value)).release();
        case core::ShardKey::Kind::Number: return PyLong_FromUnsignedLongLong(std::get<std::uint64_t>(key->value));
        case core::ShardKey::Kind::Param:
        case core::ShardKey::Kind::PositionalParam: Py_RETURN_NONE;
    }
    Py_RETURN_NONE;
}

int shard_key_refusal(const char* message) {
    PyErr_SetString(PyExc_ValueError, message);
    return -1;
}

// The key a Python value stands for: none for None and "", else a keyword or a number.
std::optional<std::optional<core::ShardKey>> shard_key_from_py(PyObject* value) {
    if (value == Py_None) return std::optional<core::ShardKey>();
    if (PyUnicode_Check(value)) {
        Py_ssize_t size = 0;
        const char* text = PyUnicode_AsUTF8AndSize(value, &size);
        if (text == nullptr) {
            PyErr_Clear();
            shard_key_refusal("shard_key string is not valid Unicode");
            return std::nullopt;
        }
        return std::optional<core::ShardKey>(
            core::ShardKey{core::ShardKey::Value(std::string(text, static_cast<std::size_t>(size)))});
    }
    if (PyBool_Check(value)) {
        shard_key_refusal("shard_key must be str, int, or None (bool is not a shard key)");
        return std::nullopt;
    }
    if (PyLong_Check(value)) {
        const unsigned long long number = PyLong_AsUnsignedLongLong(value);
        if (number == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
            PyErr_Clear();
            shard_key_refusal("shard_key integer must fit in u64");
            return std::nullopt;
        }
        return std::optional<core::ShardKey>(core::ShardKey{core::ShardKey::Value(static_cast<std::uint64_t>(number))});
    }
    shard_key_refusal("shard_key must be str, int, or None");
    return std::nullopt;
}

int stmt_set_shard_key(PyObject* self, PyObject* value, void*) {
    if (value == nullptr) {
        PyErr_SetString(PyExc_AttributeError, "shard_key cannot be deleted; set it to None to clear it");
        return -1;
    }
    StmtBorrow borrow = StmtBorrow::exclusive(as_stmt(self));
    if (!borrow.ok()) {
        borrow.raise();
        return -1;
    }
    std::optional<std::optional<core::ShardKey>> key = shard_key_from_py(value);
    if (!key) return -1;
    if (!core::set_statement_shard_key(as_stmt(self)->statement, *key)) {
        return shard_key_refusal(
            "cannot set shard_key on statement type that does not support sharding (e.g. DDL statements)");
    }
    return 0;
}

PyObject* stmt_compile_route(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr std::array<ArgSpec, 1> specs{{{"params", false, false}}};
    std::array<PyObject*, 1> out{};
    if (!extract_args("compile_route", specs, args, nargs, kwnames, out)) return nullptr;
    StmtObject* stmt = as_stmt(self);
    StmtBorrow borrow = StmtBorrow::shared(stmt);
    if (!borrow.ok()) return borrow.raise();
    if (has_params(out[0]) && stmt->bound) return raise_zorv_error(already_bound_error(), kValidationErrorClass);
    core::Statement copy = stmt->statement;
    if (!bind_params_into_stmt(copy, out[0])) return nullptr;
    return compiled_route_to_py(copy);
}

PyObject* stmt_to_json(PyObject* self, PyObject*) {
    StmtBorrow borrow = StmtBorrow::shared(as_stmt(self));
    if (!borrow.ok()) return borrow.raise();
    return statement_to_json_text(as_stmt(self)->statement);
}

PyObject* stmt_to_dict(PyObject* self, PyObject*) {
    StmtBorrow borrow = StmtBorrow::shared(as_stmt(self));
    if (!borrow.ok()) return borrow.raise();
    return statement_to_py_dict(as_stmt(self)->statement);
}

PyMethodDef stmt_methods[] = {
    {"bind", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(stmt_bind)), METH_FASTCALL | METH_KEYWORDS,
     "bind($self, params=None)\n--\n\nBind parameters into this statement and return a new bound Stmt."},
    {"inject_filter", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(stmt_inject_filter)),
     METH_FASTCALL | METH_KEYWORDS, "inject_filter($self, field, op, value)\n--\n\n"},
    {"to_json", stmt_to_json, METH_NOARGS, "to_json($self)\n--\n\n"},
    {"to_dict", stmt_to_dict, METH_NOARGS, "to_dict($self)\n--\n\n"},
    {"compile_route", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(stmt_compile_route)),
     METH_FASTCALL | METH_KEYWORDS,
     "compile_route($self, params=None)\n--\n\nCompile this Stmt directly to its transport route without re-parsing.\n"
     "Optionally accepts `params` to bind before compiling."},
    {"explain", stmt_explain, METH_NOARGS, "explain($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef stmt_getset[] = {
    {"bound", stmt_get_bound, nullptr, kBoundDoc, nullptr},
    {"shard_key", stmt_get_shard_key, stmt_set_shard_key, kShardKeyDoc, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot stmt_slots[] = {
    {Py_tp_doc, const_cast<char*>(kStmtDoc)},
    {Py_tp_dealloc, reinterpret_cast<void*>(stmt_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(stmt_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(stmt_clear)},
    {Py_tp_methods, stmt_methods},
    {Py_tp_getset, stmt_getset},
    {Py_tp_str, reinterpret_cast<void*>(stmt_str)},
    {Py_tp_repr, reinterpret_cast<void*>(stmt_repr)},
    {0, nullptr},
};

// No Py_TPFLAGS_BASETYPE: Stmt cannot be subclassed. No constructor either: a Stmt only
// comes from the library, which fills its statement.
// Created as "pyzorv.Stmt" so that the class records its __module__; the type name itself is
// then set back to the bare "Stmt".
PyType_Spec stmt_spec = {
    "pyzorv.Stmt",
    static_cast<int>(sizeof(StmtObject)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    stmt_slots,
};

PyObject* stmt_type_cell = nullptr;

}  // namespace

PyObject* stmt_type_object() {
    if (stmt_type_cell != nullptr) return stmt_type_cell;
    PyObject* type = PyType_FromSpec(&stmt_spec);
    if (type == nullptr) return nullptr;
    // Creating the class may run Python code; another thread may have filled the cell meanwhile.
    if (stmt_type_cell != nullptr) {
        Py_DECREF(type);
        return stmt_type_cell;
    }
    reinterpret_cast<PyTypeObject*>(type)->tp_name = "Stmt";
    stmt_type_cell = type;
    return stmt_type_cell;
}

PyObject* create_stmt_object(core::Statement statement, bool bound) {
    auto* type = reinterpret_cast<PyTypeObject*>(stmt_type_object());
    if (type == nullptr) return nullptr;
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) return nullptr;
    StmtObject* stmt = as_stmt(self);
    new (&stmt->statement) core::Statement(std::move(statement));
    stmt->bound = bound;
    new (&stmt->borrows) std::atomic<Py_ssize_t>(0);
    return self;
}

StmtObject* downcast_stmt(PyObject* obj) {
    auto* type = reinterpret_cast<PyTypeObject*>(stmt_type_object());
    if (type == nullptr) {
        PyErr_Clear();
        return nullptr;
    }
    return PyObject_TypeCheck(obj, type) ? as_stmt(obj) : nullptr;
}

StmtBorrow StmtBorrow::shared(StmtObject* stmt) {
    Py_ssize_t seen = stmt->borrows.load();
    while (seen >= 0) {
        if (stmt->borrows.compare_exchange_weak(seen, seen + 1)) return StmtBorrow(stmt, false);
    }
    return StmtBorrow(nullptr, false);
}

StmtBorrow StmtBorrow::exclusive(StmtObject* stmt) {
    Py_ssize_t expected = 0;
    if (stmt->borrows.compare_exchange_strong(expected, -1)) return StmtBorrow(stmt, true);
    return StmtBorrow(nullptr, true);
}

StmtBorrow::~StmtBorrow() {
    if (stmt_ == nullptr) return;
    if (exclusive_) {
        stmt_->borrows.store(0);
    } else {
        stmt_->borrows.fetch_sub(1);
    }
}

PyObject* StmtBorrow::raise() const {
    PyErr_SetString(PyExc_RuntimeError, exclusive_ ? "Stmt is already borrowed" : "Stmt is already mutably borrowed");
    return nullptr;
}

PyObject* parse_source(std::string_view text) {
    auto statements = core::parse_script(text);
    if (!statements) return raise_zorv_error(std::move(statements).error(), kSyntaxErrorClass);
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(statements->size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < statements->size(); ++i) {
        PyObject* stmt = create_stmt_object(std::move((*statements)[i]), false);
        if (stmt == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), stmt);
    }
    return list.release();
}

}  // namespace zorv::python
