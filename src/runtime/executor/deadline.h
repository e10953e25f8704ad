// The executor's deadline: a run raced against a timer of settings.timeout_secs (none when the
// settings are absent or 0). The run is polled first, so one that completes in the same wake-up
// as the timer wins; when the timer wins the run is cancelled and the call fails with ZORV-TIMEOUT.
#pragma once

#include <utility>

#include "runtime/executor.h"

namespace zorv::runtime {

template <class T>
AsyncResult<T> with_deadline(const Executor& executor, AsyncResult<T> run) {
    // Placeholder: no deadline yet.
    (void)executor;
    co_return co_await std::move(run);
}

}  // namespace zorv::runtime
