#include "python/params.h"

#include <string>
#include <utility>

#include "core/diagnostics.h"
#include "core/params/ast.h"
#include "core/params/text.h"
#include "python/errors.h"
#include "python/values.h"

namespace zorv::python {

std::optional<core::Literal> params_from_py(PyObject* params) {
    if (!PyList_Check(params)) return py_to_bind_value(params);
    const Py_ssize_t start_size = PyList_GET_SIZE(params);
    core::LiteralList items;
    items.reserve(static_cast<std::size_t>(start_size));
    for (Py_ssize_t i = 0; i < start_size && i < PyList_GET_SIZE(params); ++i) {
        PyRef item = PyRef::borrow(PyList_GET_ITEM(params, i));
        std::optional<core::Literal> value = py_to_bind_value(item.get(), 1);
        if (!value) return std::nullopt;
        items.push_back(std::move(*value));
    }
    return core::Literal::list(std::move(items));
}

bool bind_params_into_stmt(core::Statement& statement, PyObject* params) {
    if (!has_params(params)) return true;
    std::optional<core::Literal> container = params_from_py(params);
    if (!container) return false;
    core::Result<void> bound = core::bind_statement_params(statement, *container);
    if (!bound) {
        raise_zorv_error(std::move(bound).error(), kValidationErrorClass);
        return false;
    }
    return true;
}

PyObject* bind_params_into_text(std::string_view text, PyObject* params, bool truncate_vectors) {
    if (!has_params(params)) return py_str(text).release();
    std::optional<core::Literal> container = params_from_py(params);
    if (!container) return nullptr;
    core::Result<core::ScopedParams> scoped = core::check_params_list_length(*container, 1);
    if (!scoped) return raise_zorv_error(std::move(scoped).error(), kValidationErrorClass);
    const core::Literal& used = scoped->shared() ? *container : *scoped->per_statement.front();
    core::Result<std::string> bound = core::bind_text_params(text, used, truncate_vectors);
    if (!bound) return raise_zorv_error(std::move(bound).error(), kValidationErrorClass);
    return py_str(*bound).release();
}

core::ZorvError already_bound_error() {
    return core::make_error(core::Diag::BindAlreadyBound,
                            "statement is already bound; passing params again would be silently ignored \xE2\x80\x94 "
                            "parse a fresh Stmt or bind a copy");
}

}  // namespace zorv::python
