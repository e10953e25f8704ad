// The Stmt class: the Python handle of one parsed statement.
#pragma once

#include <atomic>
#include <string_view>
#include <utility>

#include "core/ast/statement.h"
#include "python/py_ref.h"

namespace zorv::python {

struct StmtObject {
    PyObject_HEAD core::Statement statement;
    bool bound;
    // 0 free, n > 0 shared borrows, -1 one exclusive borrow.
    std::atomic<Py_ssize_t> borrows;
};

// The one Stmt class of the process, created on first use (a borrowed reference that lives
// for the process), or nullptr with the Python error of a failed creation.
PyObject* stmt_type_object();

// A new Stmt owning `statement`, or nullptr with the allocation error set.
PyObject* create_stmt_object(core::Statement statement, bool bound);

// `obj` as a Stmt when its type is the class or a subtype; nullptr (no error set) otherwise.
StmtObject* downcast_stmt(PyObject* obj);

// Holds a shared or an exclusive borrow of a Stmt for a scope. `ok()` is false when the
// counter refused; `raise()` then sets the borrow error.
class StmtBorrow {
public:
    static StmtBorrow shared(StmtObject* stmt);
    static StmtBorrow exclusive(StmtObject* stmt);
    StmtBorrow(StmtBorrow&& other) noexcept
        : stmt_(std::exchange(other.stmt_, nullptr)), exclusive_(other.exclusive_) {}
    StmtBorrow(const StmtBorrow&) = delete;
    StmtBorrow& operator=(const StmtBorrow&) = delete;
    StmtBorrow& operator=(StmtBorrow&&) = delete;
    ~StmtBorrow();

    bool ok() const { return stmt_ != nullptr; }
    PyObject* raise() const;

private:
    StmtBorrow(StmtObject* stmt, bool exclusive) : stmt_(stmt), exclusive_(exclusive) {}
    StmtObject* stmt_;
    bool exclusive_;
};

// `parse`: the statements of a script as a list of unbound Stmt objects, or nullptr with
// ZorvSyntaxError set.
PyObject* parse_source(std::string_view text);

}  // namespace zorv::python
