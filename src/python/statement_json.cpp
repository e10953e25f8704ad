#include "python/statement_json.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/diagnostics.h"
#include "core/json/statement_json.h"
#include "core/parser/parser.h"
#include "python/errors.h"
#include "python/serialize_error.h"

namespace zorv::python {
namespace {

// Statement JSON holds only the form's own keys, so one interned str per key serves for the
// life of the process. Only touched with the GIL held.
PyObject* key_object(const std::string& name) {
    static auto* cache = new std::unordered_map<std::string, PyObject*>();
    auto it = cache->find(name);
    if (it != cache->end()) return it->second;
    PyObject* key = PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
    if (key == nullptr) return nullptr;
    PyUnicode_InternInPlace(&key);
    cache->emplace(name, key);
    return key;
}

// Builds Python objects from the walk's events. Objects collect their entries and become dicts
// with sorted keys when they close; the first failure stops all further building.
class PyValueBuilder final : public core::JsonOut {
public:
    void begin_object() override { stack_.push_back(Frame{true, PyRef(), {}, {}}); }

    void end_object() override {
        Frame frame = pop();
        if (failed_) return;
        std::sort(frame.entries.begin(), frame.entries.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        PyRef dict = PyRef::steal(PyDict_New());
        if (!dict) return fail();
        for (auto& [name, value] : frame.entries) {
            PyObject* key = key_object(name);
            if (key == nullptr || PyDict_SetItem(dict.get(), key, value.get()) < 0) return fail();
        }
        add(std::move(dict));
    }

    void begin_array() override { stack_.push_back(Frame{false, PyRef::steal(PyList_New(0)), {}, {}}); }

    void end_array() override {
        Frame frame = pop();
        add(std::move(frame.list));
    }

    void key(std::string_view name) override {
        if (!stack_.empty()) stack_.back().key.assign(name);
    }

    void null() override { add(PyRef::borrow(Py_None)); }
    void boolean(bool value) override { add(PyRef::borrow(value ? Py_True : Py_False)); }
    void u64(std::uint64_t value) override { add(PyRef::steal(PyLong_FromUnsignedLongLong(value))); }
    void i64(std::int64_t value) override { add(PyRef::steal(PyLong_FromLongLong(value))); }
    void f64(double value) override {
        if (!std::isfinite(value)) return null();
        add(PyRef::steal(PyFloat_FromDouble(value)));
    }
    // Widened exactly: the same value, with the longer digits of a 64-bit float.
    void f32(float value) override { f64(static_cast<double>(value)); }
    void string(std::string_view value) override { add(py_str(value)); }

    // The finished value, or null with the Python error set.
    PyRef take() { return failed_ ? PyRef() : std::move(root_); }

private:
    struct Frame {
        bool object;
        PyRef list;
        std::vector<std::pair<std::string, PyRef>> entries;
        std::string key;
    };

    Frame pop() {
        Frame frame = std::move(stack_.back());
        stack_.pop_back();
        return frame;
    }

    void fail() { failed_ = true; }

    // Attaches a finished value to the open container, or makes it the result.
    void add(PyRef value) {
        if (failed_) return;
        if (!value) return fail();
        if (stack_.empty()) {
            root_ = std::move(value);
            return;
        }
        Frame& top = stack_.back();
        if (top.object) {
            top.entries.emplace_back(std::move(top.key), std::move(value));
        } else if (!top.list || PyList_Append(top.list.get(), value.get()) < 0) {
            fail();
        }
    }

    std::vector<Frame> stack_;
    PyRef root_;
    bool failed_ = false;
};

}  // namespace

PyObject* statement_to_json_text(const core::Statement& statement) {
    std::string out;
    out.reserve(128);
    core::write_statement_json(statement, out);
    return py_str(out).release();
}

PyObject* statement_to_py_dict(const core::Statement& statement) {
    PyValueBuilder builder;
    core::emit_statement_json(statement, builder);
    PyRef value = builder.take();
    if (!value) return serialize_error_to_py();
    return value.release();
}

PyObject* parse_json_text(std::string_view text) {
    auto statements = core::parse_script(text);
    if (!statements) return raise_zorv_error(std::move(statements).error(), kSyntaxErrorClass);
    std::string out;
    out.reserve(128);
    core::write_statement_list_json(*statements, out);
    return py_str(out).release();
}

}  // namespace zorv::python
