#include "python/dispatch_input.h"

#include <string_view>
#include <utility>

#include "core/params/ast.h"
#include "core/params/text.h"
#include "core/parser/parser.h"
#include "python/errors.h"
#include "python/params.h"
#include "python/stmt.h"

namespace zorv::python {
namespace {

constexpr const char* kQueryTypeError = "query must be a str, Stmt, list[str], or list[Stmt]";
constexpr const char* kListItemError = "list items must be strings or Stmt objects";

std::optional<std::string_view> utf8_of(PyObject* obj) {
    if (!PyUnicode_Check(obj)) return std::nullopt;
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(obj, &size);
    if (data == nullptr) {
        PyErr_Clear();
        return std::nullopt;
    }
    return std::string_view(data, static_cast<std::size_t>(size));
}

template <class T>
std::optional<T> validation_failure(core::ZorvError error) {
    raise_zorv_error(std::move(error), kValidationErrorClass);
    return std::nullopt;
}

// The container for statement `index`: its own entry of a statement-scoped list, or the whole.
const core::Literal& container_for(const core::Literal& whole, const core::ScopedParams& scoped, std::size_t index) {
    return scoped.shared() ? whole : *scoped.per_statement[index];
}

std::optional<DispatchInput> stmt_input(StmtObject* stmt, PyObject* params) {
    StmtBorrow borrow = StmtBorrow::shared(stmt);
    if (!borrow.ok()) {
        borrow.raise();
        return std::nullopt;
    }
    if (has_params(params) && stmt->bound) return validation_failure<DispatchInput>(already_bound_error());
    core::Statement copy = stmt->statement;
    if (!has_params(params)) return DispatchInput{StatementInput{std::move(copy)}};
    std::optional<core::Literal> container = params_from_py(params);
    if (!container) return std::nullopt;
    auto scoped = core::check_params_list_length(*container, 1);
    if (!scoped) return validation_failure<DispatchInput>(std::move(scoped).error());
    auto bound = core::bind_statement_params(copy, container_for(*container, *scoped, 0));
    if (!bound) return validation_failure<DispatchInput>(std::move(bound).error());
    return DispatchInput{StatementInput{std::move(copy)}};
}

// A text with params: a statement-scoped list is spread over the parsed statements; any other
// container is bound into the text, which the executor parses again.
std::optional<DispatchInput> text_with_params(std::string_view text, PyObject* params) {
    std::optional<core::Literal> container = params_from_py(params);
    if (!container) return std::nullopt;
    auto scoped = core::check_params_list_length(*container, 1);
    const bool statement_scoped = !scoped || !scoped->shared();
    if (!statement_scoped) {
        auto bound = core::bind_text_params(text, *container, false);
        if (!bound) return validation_failure<DispatchInput>(std::move(bound).error());
        return DispatchInput{ScriptInput{std::move(*bound)}};
    }
    auto statements = core::parse_script(text);
    if (!statements) {
        raise_zorv_error(std::move(statements).error(), kSyntaxErrorClass);
        return std::nullopt;
    }
    auto per_statement = core::check_params_list_length(*container, statements->size());
    if (!per_statement) return validation_failure<DispatchInput>(std::move(per_statement).error());
    for (std::size_t i = 0; i < statements->size(); ++i) {
        auto bound = core::bind_statement_params((*statements)[i], *per_statement->per_statement[i]);
        if (!bound) return validation_failure<DispatchInput>(std::move(bound).error());
    }
    return DispatchInput{StatementsInput{std::move(*statements)}};
}

std::optional<DispatchInput> stmt_list_input(PyObject* list, Py_ssize_t count, const core::Literal* container,
                                             const core::ScopedParams& scoped) {
    auto* stmt_type = reinterpret_cast<PyTypeObject*>(stmt_type_object());
    if (stmt_type == nullptr) return std::nullopt;
    std::vector<core::Statement> statements;
    statements.reserve(static_cast<std::size_t>(count));
    for (Py_ssize_t i = 0; i < count && i < PyList_GET_SIZE(list); ++i) {
        PyObject* item = PyList_GET_ITEM(list, i);
        StmtObject* stmt = downcast_stmt(item);
        if (stmt == nullptr) {
            if (item == Py_None) {
                PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", stmt_type->tp_name);
            } else {
                PyErr_Format(PyExc_TypeError, "'%.200s' object is not an instance of '%s'", Py_TYPE(item)->tp_name,
                             stmt_type->tp_name);
            }
            return std::nullopt;
        }
        StmtBorrow borrow = StmtBorrow::shared(stmt);
        if (!borrow.ok()) {
            borrow.raise();
            return std::nullopt;
        }
        if (container != nullptr && stmt->bound) return validation_failure<DispatchInput>(already_bound_error());
        core::Statement copy = stmt->statement;
        if (container != nullptr) {
            auto bound = core::bind_statement_params(copy, container_for(*container, scoped, statements.size()));
            if (!bound) return validation_failure<DispatchInput>(std::move(bound).error());
        }
        statements.push_back(std::move(copy));
    }
    return DispatchInput{StatementsInput{std::move(statements)}};
}

std::optional<DispatchInput> text_list_input(PyObject* list, Py_ssize_t count, const core::Literal* container,
                                             const core::ScopedParams& scoped) {
    std::vector<std::string> texts;
    texts.reserve(static_cast<std::size_t>(count));
    for (Py_ssize_t i = 0; i < count && i < PyList_GET_SIZE(list); ++i) {
        std::optional<std::string_view> text = utf8_of(PyList_GET_ITEM(list, i));
        if (!text) {
            PyErr_SetString(PyExc_TypeError, kListItemError);
            return std::nullopt;
        }
        if (container == nullptr) {
            texts.emplace_back(*text);
            continue;
        }
        auto bound = core::bind_text_params(*text, container_for(*container, scoped, texts.size()), false);
        if (!bound) return validation_failure<DispatchInput>(std::move(bound).error());
        texts.push_back(std::move(*bound));
    }
    return DispatchInput{TextsInput{std::move(texts)}};
}

std::optional<DispatchInput> list_input(PyObject* list, PyObject* params) {
    const Py_ssize_t count = PyList_GET_SIZE(list);
    if (count == 0) return DispatchInput{TextsInput{}};
    std::optional<core::Literal> container;
    core::ScopedParams scoped;
    if (has_params(params)) {
        container = params_from_py(params);
        if (!container) return std::nullopt;
        auto checked = core::check_params_list_length(*container, static_cast<std::uint64_t>(count));
        if (!checked) return validation_failure<DispatchInput>(std::move(checked).error());
        scoped = std::move(*checked);
    }
    const core::Literal* used = container ? &*container : nullptr;
    // The list may be changed by a params conversion that ran Python code; read it again.
    if (PyList_GET_SIZE(list) == 0) return DispatchInput{TextsInput{}};
    if (downcast_stmt(PyList_GET_ITEM(list, 0)) != nullptr) return stmt_list_input(list, count, used, scoped);
    return text_list_input(list, count, used, scoped);
}

}  // namespace

std::optional<bool> continue_on_error_from_py(PyObject* on_error) {
    if (on_error == nullptr) return false;
    std::optional<std::string_view> text = utf8_of(on_error);
    if (!text) {
        PyErr_Format(PyExc_TypeError, "argument 'on_error' must be str, not %.200s", Py_TYPE(on_error)->tp_name);
        return std::nullopt;
    }
    if (*text == "stop") return false;
    if (*text == "continue") return true;
    PyErr_SetString(PyExc_ValueError, "on_error must be 'stop' or 'continue'");
    return std::nullopt;
}

std::optional<DispatchInput> normalize_query_input(PyObject* query, PyObject* params) {
    if (PyList_Check(query)) return list_input(query, params);
    if (StmtObject* stmt = downcast_stmt(query)) return stmt_input(stmt, params);
    std::optional<std::string_view> text = utf8_of(query);
    if (!text) {
        PyErr_SetString(PyExc_TypeError, kQueryTypeError);
        return std::nullopt;
    }
    if (!has_params(params)) return DispatchInput{ScriptInput{std::string(*text)}};
    return text_with_params(*text, params);
}

}  // namespace zorv::python
