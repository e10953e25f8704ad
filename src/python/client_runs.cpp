#include "python/client_runs.h"

#include <boost/asio/awaitable.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <exception>
#include <optional>
#include <utility>

#include "runtime/executor/bulk_upsert.h"
#include "runtime/executor/runs.h"

namespace zorv::python {
namespace asio = boost::asio;
namespace {

template <class T>
using Outcome = std::optional<core::Result<T>>;  // co_spawn needs a default-constructible value

// Nothing in the executor throws; an escaped exception still reaches `done` as an error.
template <class T, class Where>
void spawn(Where& where, asio::awaitable<Outcome<T>> run, RunDone<T> done) {
    asio::co_spawn(where, std::move(run),
                   [done = std::move(done)](const std::exception_ptr& failure, Outcome<T> outcome) {
                       RunOutcome<T> result;
                       if (failure || !outcome) {
                           result.failure = "unknown failure";
                           try {
                               if (failure) std::rethrow_exception(failure);
                           } catch (const std::exception& e) {
                               result.failure = e.what();
                           } catch (...) {  // NOLINT(bugprone-empty-catch): the text above stands
                           }
                       } else {
                           result.result = std::move(*outcome);
                       }
                       done(std::move(result));
                   });
}

asio::awaitable<Outcome<protocol::ExecutionReport>> run_dispatch(ExecutorRef executor, DispatchInput input,
                                                                 bool continue_on_error) {
    runtime::Executor& ex = *executor;
    if (auto* script = std::get_if<ScriptInput>(&input)) {
        auto report = co_await runtime::execute_script(ex, std::move(script->text), continue_on_error);
        co_return Outcome<protocol::ExecutionReport>(std::move(report));
    }
    if (auto* texts = std::get_if<TextsInput>(&input)) {
        auto report = co_await runtime::execute_many(ex, std::move(texts->texts), continue_on_error);
        co_return Outcome<protocol::ExecutionReport>(std::move(report));
    }
    std::vector<core::Statement> statements;
    if (auto* one = std::get_if<StatementInput>(&input)) {
        statements.push_back(std::move(one->statement));
    } else {
        statements = std::move(std::get<StatementsInput>(input).statements);
    }
    auto results = co_await runtime::run_with_timeout(ex, std::move(statements), continue_on_error);
    if (!results) co_return Outcome<protocol::ExecutionReport>(std::unexpected(std::move(results).error()));
    co_return Outcome<protocol::ExecutionReport>(protocol::summarize_results(std::move(*results)));
}

asio::awaitable<Outcome<runtime::AnalyzeReport>> run_analyze(ExecutorRef executor, DispatchInput input) {
    if (auto* script = std::get_if<ScriptInput>(&input)) {
        auto report = co_await runtime::explain_analyze(*executor, std::move(script->text));
        co_return Outcome<runtime::AnalyzeReport>(std::move(report));
    }
    auto report =
        co_await runtime::explain_analyze_with_timeout(*executor, std::move(std::get<StatementInput>(input).statement));
    co_return Outcome<runtime::AnalyzeReport>(std::move(report));
}

asio::awaitable<Outcome<protocol::ExecutionReport>> run_upsert(ExecutorRef executor, std::string collection,
                                                               std::vector<core::Literal> rows,
                                                               std::uint64_t batch_size, bool continue_on_error) {
    auto report =
        co_await runtime::upsert_many(*executor, std::move(collection), std::move(rows), batch_size, continue_on_error);
    co_return Outcome<protocol::ExecutionReport>(std::move(report));
}

asio::awaitable<Outcome<void>> run_close(ExecutorRef executor) {
    auto closed = co_await runtime::close_executor(*executor);
    co_return Outcome<void>(std::move(closed));
}

template <class Where>
void dispatch_on(Where& where, ExecutorRef executor, DispatchInput input, bool continue_on_error,
                 RunDone<protocol::ExecutionReport> done) {
    spawn(where, run_dispatch(std::move(executor), std::move(input), continue_on_error), std::move(done));
}

template <class Where>
void analyze_on(Where& where, ExecutorRef executor, DispatchInput input, RunDone<runtime::AnalyzeReport> done) {
    spawn(where, run_analyze(std::move(executor), std::move(input)), std::move(done));
}

template <class Where>
void upsert_on(Where& where, ExecutorRef executor, std::string collection, std::vector<core::Literal> rows,
               std::uint64_t batch_size, bool continue_on_error, RunDone<protocol::ExecutionReport> done) {
    spawn(where, run_upsert(std::move(executor), std::move(collection), std::move(rows), batch_size, continue_on_error),
          std::move(done));
}

}  // namespace

void spawn_dispatch(asio::io_context& context, ExecutorRef executor, DispatchInput input, bool continue_on_error,
                    RunDone<protocol::ExecutionReport> done) {
    dispatch_on(context, std::move(executor), std::move(input), continue_on_error, std::move(done));
}

void spawn_explain_analyze(asio::io_context& context, ExecutorRef executor, DispatchInput input,
                           RunDone<runtime::AnalyzeReport> done) {
    analyze_on(context, std::move(executor), std::move(input), std::move(done));
}

void spawn_upsert_many(asio::io_context& context, ExecutorRef executor, std::string collection,
                       std::vector<core::Literal> rows, std::uint64_t batch_size, bool continue_on_error,
                       RunDone<protocol::ExecutionReport> done) {
    upsert_on(context, std::move(executor), std::move(collection), std::move(rows), batch_size, continue_on_error,
              std::move(done));
}

void spawn_dispatch(asio::thread_pool& pool, ExecutorRef executor, DispatchInput input, bool continue_on_error,
                    RunDone<protocol::ExecutionReport> done) {
    dispatch_on(pool, std::move(executor), std::move(input), continue_on_error, std::move(done));
}

void spawn_close(asio::thread_pool& pool, ExecutorRef executor, RunDone<void> done) {
    spawn(pool, run_close(std::move(executor)), std::move(done));
}

}  // namespace zorv::python
