// Pool threads that touch Python pass through one process-wide gate. An atexit hook closes it and
// waits for the threads already inside, so that no thread takes the GIL while the interpreter
// finalises (that aborts the process); a thread that finds the gate closed must leave Python alone
// and drop its Python references unreleased.
#pragma once

namespace zorv::python {

class GateEntry {
public:
    GateEntry();
    GateEntry(const GateEntry&) = delete;
    GateEntry& operator=(const GateEntry&) = delete;
    ~GateEntry();

    // False once the interpreter is shutting down.
    bool entered() const { return entered_; }

private:
    bool entered_;
};

// Registers the closing hook with atexit, once per process. -1 with the Python error set.
int register_shutdown_gate();

}  // namespace zorv::python
