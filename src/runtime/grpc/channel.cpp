#include "runtime/grpc/channel.h"

#include <grpcpp/completion_queue.h>
#include <grpcpp/create_channel.h>
#include <grpcpp/generic/generic_stub.h>
#include <grpcpp/security/credentials.h>
#include <grpcpp/support/byte_buffer.h>
#include <grpcpp/support/proto_buffer_reader.h>

#include <google/protobuf/io/coded_stream.h>
#include <google/protobuf/message.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <atomic>
#include <boost/asio/associated_executor.hpp>
#include <boost/asio/async_result.hpp>
#include <boost/asio/execution/outstanding_work.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/prefer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "core/diagnostics.h"
#include "net/async_pool.h"
#include "runtime/grpc/status_map.h"
#include "runtime/request_id.h"

namespace zorv::runtime::rpc {

namespace {

// Debian's bundle first; the others are where other distributions keep theirs.
constexpr std::array<const char*, 4> system_ca_files = {
    "/etc/ssl/certs/ca-certificates.crt",
    "/etc/pki/tls/certs/ca-bundle.crt",
    "/etc/ssl/ca-bundle.pem",
    "/etc/ssl/cert.pem",
};

std::string system_roots() {
    for (const char* path : system_ca_files) {
        std::ifstream file(path, std::ios::binary);
        if (!file) continue;
        std::ostringstream text;
        text << file.rdbuf();
        if (!text.str().empty()) return text.str();
    }
    return {};  // gRPC's own roots then
}

// The process whose channel started gRPC's threads. A forked child has none of them, and gRPC
// (without its fork support) neither restarts them nor lets a new channel run without them: a
// call there would hang or crash, so it fails at once instead.
std::atomic<pid_t> grpc_process{0};

std::optional<core::ZorvError> forked_after_start(const GrpcEndpoint& endpoint, std::string_view operation) {
    const pid_t started = grpc_process.load(std::memory_order_acquire);
    if (started == 0 || started == ::getpid()) return std::nullopt;
    auto error = core::make_error(core::Diag::Transport,
                                  std::string(operation) +
                                      ": gRPC cannot run in a process forked after its parent made gRPC calls; "
                                      "fork before the first gRPC call, or use the REST transport in the child");
    error.add_field("url", endpoint.shown);
    error.add_field("operation", std::string(operation));
    return error;
}

std::shared_ptr<::grpc::Channel> make_channel(const GrpcEndpoint& endpoint, const GrpcSettings& settings) {
    pid_t none = 0;
    grpc_process.compare_exchange_strong(none, ::getpid(), std::memory_order_acq_rel);
    ::grpc::ChannelArguments args;
    args.SetMaxReceiveMessageSize(static_cast<int>(max_message_bytes));
    args.SetMaxSendMessageSize(static_cast<int>(max_message_bytes));
    // Calls here are short unary ones: no retry buffering and no bandwidth probing; the minimal
    // filter stack saves a fifth of a round trip on loopback (call_unary checks the reply size
    // that its message size filter would have).
    args.SetInt(GRPC_ARG_ENABLE_RETRIES, 0);
    args.SetInt(GRPC_ARG_HTTP2_BDP_PROBE, 0);
    args.SetInt(GRPC_ARG_MINIMAL_STACK, 1);
    std::shared_ptr<::grpc::ChannelCredentials> credentials;
    if (endpoint.tls) {
        ::grpc::SslCredentialsOptions options;
        options.pem_root_certs = settings.root_certificates ? *settings.root_certificates : system_roots();
        credentials = ::grpc::SslCredentials(options);
    } else {
        credentials = ::grpc::InsecureChannelCredentials();
    }
    return ::grpc::CreateCustomChannel(endpoint.target, credentials, args);
}

// A channel inherited through fork() is never destroyed in the child: its teardown signals
// the parent's gRPC threads, which the child does not have, and crashes.
void abandon(std::shared_ptr<::grpc::Channel> inherited) {
    static std::mutex mutex;
    static auto* kept = new std::vector<std::shared_ptr<::grpc::Channel>>;  // NOLINT(cppcoreguidelines-owning-memory)
    std::lock_guard lock(mutex);
    kept->push_back(std::move(inherited));
}

bool printable_ascii(std::string_view text) {
    return std::ranges::all_of(text, [](char c) { return c >= 0x20 && c <= 0x7E; });
}

core::ZorvError metadata_error(const GrpcEndpoint& endpoint, std::string_view operation, std::string_view what) {
    std::string message(operation);
    message += ": invalid ";
    message += what;
    message += ": gRPC metadata values must be printable ASCII (bytes 0x20 to 0x7E)";
    auto error = core::make_error(core::Diag::TransportRequest, std::move(message));
    error.add_field("url", endpoint.shown);
    error.add_field("operation", std::string(operation));
    return error;
}

std::string too_large(std::string_view direction, std::size_t found) {
    return "Error, " + std::string(direction) + " message length too large: found " + std::to_string(found) +
           " bytes, the limit is: " + std::to_string(max_message_bytes) + " bytes";
}

// gRPC reports an oversize reply as status 8 "Received message larger than max (N vs. L)"; it is
// status 11 with the decoded-size text here, as for an oversize request.
CallStatus call_status(const ::grpc::Status& status) {
    CallStatus out{.code = static_cast<int>(status.error_code()), .message = status.error_message()};
    constexpr std::string_view oversize = "Received message larger than max (";
    if (out.code == ::grpc::StatusCode::RESOURCE_EXHAUSTED && out.message.starts_with(oversize)) {
        std::size_t found = 0;
        std::istringstream(out.message.substr(oversize.size())) >> found;
        out = CallStatus{.code = ::grpc::StatusCode::OUT_OF_RANGE, .message = too_large("decoded", found)};
    }
    return out;
}

bool decode_reply(::grpc::ByteBuffer& buffer, google::protobuf::Message& reply) {
    ::grpc::ProtoBufferReader reader(&buffer);
    google::protobuf::io::CodedInputStream input(&reader);
    input.SetRecursionLimit(decode_recursion_limit);
    return reply.ParseFromCodedStream(&input) && input.ConsumedEntireMessage();
}

// Lives until gRPC's completion has run; the coroutine may have been abandoned by then.
struct CallState {
    ::grpc::ClientContext context;
    ::grpc::ByteBuffer request;
    ::grpc::ByteBuffer reply;
    std::shared_ptr<::grpc::Channel> channel;
};

// Starts the call; its completion runs on a gRPC thread and is handed to the awaiting
// coroutine's executor.
auto start_call(std::shared_ptr<CallState> state, std::string path) {
    auto initiate = [state = std::move(state), path = std::move(path)](auto handler) mutable {
        using Handler = decltype(handler);
        auto executor = boost::asio::prefer(boost::asio::get_associated_executor(handler),
                                            boost::asio::execution::outstanding_work.tracked);
        auto owned = std::make_shared<Handler>(std::move(handler));
        ::grpc::GenericStub stub(state->channel);
        CallState* raw = state.get();
        stub.UnaryCall(&raw->context, path, ::grpc::StubOptions(), &raw->request, &raw->reply,
                       [state, owned, executor](::grpc::Status status) {
                           boost::asio::post(executor, [owned, status = std::move(status)]() mutable {
                               (*owned)(std::move(status));
                           });
                       });
    };
    return boost::asio::async_initiate<const boost::asio::use_awaitable_t<>&, void(::grpc::Status)>(
        std::move(initiate), boost::asio::use_awaitable);
}

// A call whose waiter polls its own completion queue: the reply is read by the thread that waits
// for it, with no hand-over between threads.
struct PolledCall {
    std::shared_ptr<CallState> state;
    ::grpc::CompletionQueue queue;
    std::unique_ptr<::grpc::GenericClientAsyncResponseReader> reader;
    ::grpc::Status status;

    // The queue is drained before it goes, as gRPC requires.
    ~PolledCall() {
        queue.Shutdown();
        void* tag = nullptr;
        bool ok = false;
        while (queue.Next(&tag, &ok)) {
        }
    }
};

// A caller that waits this long hands the call over, so that its own thread (a blocking call's,
// which checks for signals between such slices) is free again.
constexpr std::chrono::milliseconds caller_poll_slice{50};

void start_polled(PolledCall& call, const std::string& path) {
    ::grpc::GenericStub stub(call.state->channel);
    call.reader = stub.PrepareUnaryCall(&call.state->context, path, call.state->request, &call.queue);
    call.reader->StartCall();
    call.reader->Finish(&call.state->reply, &call.status, &call);
}

// True once the call's one event came within `slice`.
bool poll_for(PolledCall& call, std::chrono::milliseconds slice) {
    void* tag = nullptr;
    bool ok = false;
    const auto until = std::chrono::system_clock::now() + slice;
    return call.queue.AsyncNext(&tag, &ok, until) == ::grpc::CompletionQueue::GOT_EVENT;
}

// Waits out a call that outlived the caller's slice on a pool thread (or, without a pool, here).
auto finish_elsewhere(std::shared_ptr<PolledCall> call) {
    auto initiate = [call = std::move(call)](auto handler) mutable {
        auto executor = boost::asio::prefer(boost::asio::get_associated_executor(handler),
                                            boost::asio::execution::outstanding_work.tracked);
        auto wait = [call, handler = std::move(handler), executor]() mutable {
            void* tag = nullptr;
            bool ok = false;
            call->queue.Next(&tag, &ok);  // the call's deadline bounds this wait
            boost::asio::post(executor, [handler = std::move(handler)]() mutable { handler(); });
        };
        if (auto pool = net::shared_pool()) {
            boost::asio::post(**pool, std::move(wait));
        } else {
            wait();
        }
    };
    return boost::asio::async_initiate<const boost::asio::use_awaitable_t<>&, void()>(std::move(initiate),
                                                                                      boost::asio::use_awaitable);
}

// The status of a call run on a caller's own context (a blocking call, one thread running it).
boost::asio::awaitable<::grpc::Status> run_polled(std::shared_ptr<CallState> state, const std::string& path) {
    auto call = std::make_shared<PolledCall>();
    call->state = std::move(state);
    start_polled(*call, path);
    if (!poll_for(*call, caller_poll_slice)) co_await finish_elsewhere(call);
    co_return call->status;
}

}  // namespace

GrpcChannel::GrpcChannel(GrpcEndpoint endpoint, GrpcSettings settings)
    : endpoint_(std::move(endpoint)), settings_(std::move(settings)) {}

GrpcChannel::~GrpcChannel() {
    if (channel_ && owner_pid_ != ::getpid()) abandon(std::move(channel_));
}

// A forked child never gets here once its parent made a channel (call_unary refuses first).
std::shared_ptr<::grpc::Channel> GrpcChannel::channel() const {
    std::lock_guard lock(mutex_);
    if (!channel_) {
        channel_ = make_channel(endpoint_, settings_);
        owner_pid_ = ::getpid();
    }
    return channel_;
}

core::Result<void> check_metadata(const GrpcEndpoint& endpoint, const GrpcSettings& settings,
                                  std::string_view operation) {
    if (settings.api_key && !printable_ascii(*settings.api_key)) {
        return std::unexpected(metadata_error(endpoint, operation, "api key"));
    }
    if (settings.route_affinity && !printable_ascii(*settings.route_affinity)) {
        return std::unexpected(metadata_error(endpoint, operation, "route affinity"));
    }
    return {};
}

std::chrono::milliseconds call_deadline(std::chrono::milliseconds base, std::optional<std::uint64_t> timeout_s) {
    if (!timeout_s) return base;
    // Past a day the deadline is as good as none; the cap keeps the arithmetic in range.
    constexpr std::uint64_t cap_s = 86'400;
    const auto asked = std::chrono::milliseconds((std::min(*timeout_s, cap_s) + 5) * 1000);
    return std::max(base, asked);
}

AsyncResult<void> call_unary(const GrpcChannel& channel, UnaryCall call, const google::protobuf::Message& request,
                             google::protobuf::Message& reply) {
    auto checked = check_metadata(channel.endpoint(), channel.settings(), call.operation);
    if (!checked) co_return std::unexpected(std::move(checked).error());
    if (auto forked = forked_after_start(channel.endpoint(), call.operation)) co_return std::unexpected(*forked);

    std::string bytes;
    if (!request.SerializeToString(&bytes)) {
        co_return std::unexpected(
            map_grpc_status(call.operation, CallStatus{.code = 13, .message = "failed to encode the request"}, ""));
    }
    if (bytes.size() > max_message_bytes) {
        co_return std::unexpected(
            map_grpc_status(call.operation, CallStatus{.code = 11, .message = too_large("encoded", bytes.size())}, ""));
    }

    auto state = std::make_shared<CallState>();
    const GrpcSettings& settings = channel.settings();
    const std::string request_id = make_request_id();
    if (settings.api_key) state->context.AddMetadata("api-key", *settings.api_key);
    if (settings.route_affinity) state->context.AddMetadata("x-qdrant-route-affinity", *settings.route_affinity);
    state->context.AddMetadata("x-request-id", request_id);
    state->context.set_deadline(std::chrono::system_clock::now() +
                                call_deadline(settings.call_deadline, call.timeout_s));
    ::grpc::Slice slice(bytes);
    state->request = ::grpc::ByteBuffer(&slice, 1);
    state->channel = channel.channel();

    // A blocking call runs on its caller's own io_context and waits for this call alone: it reads
    // the reply itself. Calls on the shared pool get theirs from gRPC's threads.
    const auto executor = co_await boost::asio::this_coro::executor;
    ::grpc::Status status;
    if (executor.target<boost::asio::io_context::executor_type>() != nullptr) {
        status = co_await run_polled(state, call.path);
    } else {
        status = co_await start_call(state, call.path);
    }
    if (!status.ok()) co_return std::unexpected(map_grpc_status(call.operation, call_status(status), request_id));
    // The minimal stack has no message size filter: the reply limit is checked here.
    if (const std::size_t size = state->reply.Length(); size > max_message_bytes) {
        co_return std::unexpected(
            map_grpc_status(call.operation,
                            CallStatus{.code = ::grpc::StatusCode::OUT_OF_RANGE, .message = too_large("decoded", size)},
                            request_id));
    }
    if (!decode_reply(state->reply, reply)) {
        co_return std::unexpected(
            map_grpc_status(call.operation, CallStatus{.code = 13, .message = "failed to decode the reply message"},
                            request_id));
    }
    co_return core::Result<void>{};
}

}  // namespace zorv::runtime::rpc
