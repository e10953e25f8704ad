#include "python/functions.h"

#include <array>
#include <vector>

#include "core/fmt/statement.h"
#include "core/lexer.h"
#include "core/params/render.h"
#include "core/parser/parser.h"
#include "plan/planner.h"
#include "python/args.h"
#include "python/compile.h"
#include "python/errors.h"
#include "python/explain.h"
#include "python/inject.h"
#include "python/params.h"
#include "python/statement_json.h"
#include "python/stmt.h"

namespace zorv::python {
namespace {

// Interned dict keys and kind names, made once per process.
struct TokenDictKeys {
    PyObject* kind;
    PyObject* text;
    PyObject* pos;
    PyObject* end;
    PyObject* len;
    std::array<PyObject*, static_cast<std::size_t>(core::TokenKind::Eof) + 1> kind_names{};
};

const TokenDictKeys* token_dict_keys() {
    static TokenDictKeys* keys = [] {
        auto* k = new TokenDictKeys{PyUnicode_InternFromString("kind"), PyUnicode_InternFromString("text"),
                                    PyUnicode_InternFromString("pos"), PyUnicode_InternFromString("end"),
                                    PyUnicode_InternFromString("len")};
        for (std::size_t i = 0; i < k->kind_names.size(); ++i) {
            std::string_view name = core::token_kind_name(static_cast<core::TokenKind>(i));
            k->kind_names[i] = PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
        }
        return k;
    }();
    return keys;
}

PyRef token_dict(const TokenDictKeys& keys, const core::Token& tok) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict) return dict;
    const std::uint64_t pos = tok.span.start;
    const std::uint64_t end = tok.span.end;
    PyRef text = py_str(tok.text);
    PyRef pos_obj = PyRef::steal(PyLong_FromUnsignedLongLong(pos));
    PyRef end_obj = PyRef::steal(PyLong_FromUnsignedLongLong(end));
    PyRef len_obj = PyRef::steal(PyLong_FromUnsignedLongLong(end >= pos ? end - pos : 0));
    if (!text || !pos_obj || !end_obj || !len_obj) return {};
    PyObject* d = dict.get();
    if (PyDict_SetItem(d, keys.kind, keys.kind_names[static_cast<std::size_t>(tok.kind)]) < 0 ||
        PyDict_SetItem(d, keys.text, text.get()) < 0 || PyDict_SetItem(d, keys.pos, pos_obj.get()) < 0 ||
        PyDict_SetItem(d, keys.end, end_obj.get()) < 0 || PyDict_SetItem(d, keys.len, len_obj.get()) < 0) {
        return {};
    }
    return dict;
}

// Display text of a bound statement keeps two numbers of each long vector.
constexpr std::size_t kDisplayVectorKeep = 2;

PyObject* bind_stmt(StmtObject* stmt, PyObject* params, bool truncate_vectors) {
    StmtBorrow borrow = StmtBorrow::shared(stmt);
    if (!borrow.ok()) {
        PyErr_SetString(PyExc_TypeError, "query must be a str or Stmt");
        return nullptr;
    }
    if (has_params(params) && stmt->bound) return raise_zorv_error(already_bound_error(), kValidationErrorClass);
    core::Statement copy = stmt->statement;
    if (!bind_params_into_stmt(copy, params)) return nullptr;
    if (truncate_vectors) {
        return py_str(core::truncate_vector_literals(core::format_statement(copy), kDisplayVectorKeep)).release();
    }
    return create_stmt_object(std::move(copy), has_params(params) || stmt->bound);
}

PyObject* bind_query(PyObject* query, PyObject* params, bool truncate_vectors) {
    if (StmtObject* stmt = downcast_stmt(query)) return bind_stmt(stmt, params, truncate_vectors);
    if (PyUnicode_Check(query)) {
        if (!has_params(params)) return Py_NewRef(query);
        Py_ssize_t size = 0;
        const char* text = PyUnicode_AsUTF8AndSize(query, &size);
        if (text == nullptr) return nullptr;
        return bind_params_into_text(std::string_view(text, static_cast<std::size_t>(size)), params, truncate_vectors);
    }
    PyErr_SetString(PyExc_TypeError, "query must be a str or Stmt");
    return nullptr;
}

PyObject* py_bind(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr std::array<ArgSpec, 3> specs{
        {{"query", true, false}, {"params", false, false}, {"truncate_vectors", false, true}}};
    std::array<PyObject*, 3> out{};
    if (!extract_args("bind", specs, args, nargs, kwnames, out)) return nullptr;
    bool truncate_vectors = false;
    if (out[2] != nullptr) {
        if (!PyBool_Check(out[2])) {
            PyErr_Format(PyExc_TypeError, "bind() argument 'truncate_vectors' must be bool, not %.200s",
                         Py_TYPE(out[2])->tp_name);
            return nullptr;
        }
        truncate_vectors = out[2] == Py_True;
    }
    return bind_query(out[0], out[1], truncate_vectors);
}

PyObject* py_explain(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr std::array<ArgSpec, 1> specs{{{"query", true, false}}};
    std::array<PyObject*, 1> out{};
    if (!extract_args("explain", specs, args, nargs, kwnames, out)) return nullptr;
    return explain_query(out[0]);
}

PyObject* py_inject_filter(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr std::array<ArgSpec, 4> specs{
        {{"query", true, false}, {"field", true, false}, {"op", true, false}, {"value", true, false}}};
    std::array<PyObject*, 4> out{};
    if (!extract_args("inject_filter", specs, args, nargs, kwnames, out)) return nullptr;
    auto field = str_arg("inject_filter", "field", out[1]);
    if (!field) return nullptr;
    auto op = str_arg("inject_filter", "op", out[2]);
    if (!op) return nullptr;
    return inject_filter_query(out[0], *field, *op, out[3]);
}

PyObject* py_parse(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr std::array<ArgSpec, 1> specs{{{"input", true, false}}};
    std::array<PyObject*, 1> out{};
    if (!extract_args("parse", specs, args, nargs, kwnames, out)) return nullptr;
    auto text = str_arg("parse", "input", out[0]);
    if (!text) return nullptr;
    return parse_source(*text);
}

PyObject* py_parse_json(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr std::array<ArgSpec, 1> specs{{{"input", true, false}}};
    std::array<PyObject*, 1> out{};
    if (!extract_args("parse_json", specs, args, nargs, kwnames, out)) return nullptr;
    auto text = str_arg("parse_json", "input", out[0]);
    if (!text) return nullptr;
    return parse_json_text(*text);
}

// Unicode White_Space, the set str.strip() removes.
bool is_unicode_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// True when the UTF-8 text holds nothing but white space (an undecodable byte counts as text).
bool is_blank(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        if (length == 0 || i + length > text.size()) return false;
        char32_t c = length == 1 ? lead : lead & (0xFFU >> (length + 1));
        for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3FU);
        if (!is_unicode_space(c)) return false;
        i += length;
    }
    return true;
}

// Parse and plan, as execution would; a blank script is invalid, as execution refuses it.
bool check_valid(std::string_view text) { return !is_blank(text) && plan::plan_script(text).has_value(); }

PyObject* py_is_valid(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr std::array<ArgSpec, 1> specs{{{"input", true, false}}};
    std::array<PyObject*, 1> out{};
    if (!extract_args("is_valid", specs, args, nargs, kwnames, out)) return nullptr;
    auto text = str_arg("is_valid", "input", out[0]);
    if (!text) return nullptr;
    return PyBool_FromLong(check_valid(*text) ? 1 : 0);
}

PyObject* py_compile(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr std::array<ArgSpec, 2> specs{{{"input", true, false}, {"params", false, false}}};
    std::array<PyObject*, 2> out{};
    if (!extract_args("compile", specs, args, nargs, kwnames, out)) return nullptr;
    auto text = str_arg("compile", "input", out[0]);
    if (!text) return nullptr;
    return compile_query(*text, out[1]);
}

PyObject* py_tokenize(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr std::array<ArgSpec, 1> specs{{{"input", true, false}}};
    std::array<PyObject*, 1> out{};
    if (!extract_args("tokenize", specs, args, nargs, kwnames, out)) return nullptr;
    auto text = str_arg("tokenize", "input", out[0]);
    if (!text) return nullptr;
    return tokenize_source(*text);
}

}  // namespace

// Steps the lexer token by token (no minus split), so numbers keep their leading "-".
PyObject* tokenize_source(std::string_view text) {
    std::vector<core::Token> tokens;
    tokens.reserve(text.size() / 4 + 1);
    core::Lexer lexer(text);
    while (lexer.position < text.size()) {
        auto tok = lexer.next_token();
        if (!tok) return raise_zorv_error(std::move(tok).error(), kSyntaxErrorClass);
        if (tok->kind == core::TokenKind::Eof) break;
        tokens.push_back(*tok);
        if (lexer.stopped) break;
    }
    const TokenDictKeys* keys = token_dict_keys();
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(tokens.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        PyRef dict = token_dict(*keys, tokens[i]);
        if (!dict) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), dict.release());
    }
    return list.release();
}

// Parse one statement, bind, then compile; binding failures keep their own class.
PyObject* compile_query(std::string_view text, PyObject* params) {
    auto statement = core::parse_statement(text);
    if (!statement) return raise_zorv_error(std::move(statement).error(), kSyntaxErrorClass);
    if (!bind_params_into_stmt(*statement, params)) return nullptr;
    return compiled_route_to_py(*statement);
}

PyMethodDef module_functions[] = {
    {"bind", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_bind)), METH_FASTCALL | METH_KEYWORDS,
     "bind(query, params=None, *, truncate_vectors=False)\n--\n\n"
     "Bind parameters into a query string or Stmt.\n"
     "A string comes back as bound text; a Stmt as a new bound Stmt, or as display text when\n"
     "`truncate_vectors` is true (long vectors shortened to their first two numbers)."},
    {"explain", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_explain)), METH_FASTCALL | METH_KEYWORDS,
     "explain(query)\n--\n\nExplain a query string or Stmt (returns `{ok, query, plan|error}`)."},
    {"parse", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_parse)), METH_FASTCALL | METH_KEYWORDS,
     "parse(input)\n--\n\nParse a ZORV source into a list of Stmt objects.\n"
     "Accepts single statements and semicolon-delimited scripts."},
    {"parse_json", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_parse_json)),
     METH_FASTCALL | METH_KEYWORDS,
     "parse_json(input)\n--\n\nParse a ZORV source and return the canonical AST as a JSON string without\n"
     "creating Python objects for every node (parity with `zorav.parseJson`)."},
    {"is_valid", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_is_valid)),
     METH_FASTCALL | METH_KEYWORDS,
     "is_valid(input)\n--\n\nFull frontend validity gate: parse + plan — the same contract as execution\n"
     "and the language conformance suite. Empty and whitespace-only scripts are\n"
     "invalid: `execute` rejects them with `ZORV-VALIDATION-EMPTY-SCRIPT`."},
    {"inject_filter", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_inject_filter)),
     METH_FASTCALL | METH_KEYWORDS,
     "inject_filter(query, field, op, value)\n--\n\nInject a WHERE filter into a query string or Stmt; returns the new "
     "Stmt."},
    {"tokenize", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_tokenize)),
     METH_FASTCALL | METH_KEYWORDS,
     "tokenize(input)\n--\n\nTokenize a query into `{ kind, text, pos, end, len }` dicts."},
    {"compile", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_compile)), METH_FASTCALL | METH_KEYWORDS,
     "compile(input, params=None)\n--\n\nCompile one statement to the Qdrant REST request it would send, without\n"
     "sending it: a dict with `method`, `path`, `payload` and `stmt_type`."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace zorv::python
