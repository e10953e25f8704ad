// The one asynchronous pool of the process: every network operation of every client runs on its
// threads. Made on first need, never shut down.
#pragma once

#include <chrono>
#include <cstddef>
#include <expected>
#include <string>

namespace boost::asio {
class thread_pool;
}  // namespace boost::asio

namespace zorv::net {

// The pool, made under a mutex by the first caller with one thread per CPU the process may run
// on. A child forked after its parent made the pool gets a fresh one: the parent's threads do not
// exist there. A replaced pool is abandoned, never destroyed, so every pointer handed out stays
// valid. The error is the text of the failed start.
std::expected<boost::asio::thread_pool*, std::string> shared_pool();

// For the process's exit: stops this process's pool and waits up to `limit` for its threads to
// finish the handlers they are in, so that none runs library code while static objects are being
// destroyed. Later work posted there never runs.
void stop_shared_pool(std::chrono::milliseconds limit);

// The CPUs in this process's affinity mask; at least 1.
std::size_t available_cpus();

}  // namespace zorv::net
