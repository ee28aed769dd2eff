#include "cli/page/page_server.h"

#include <fmt/format.h>
#include <httplib.h>

#include <algorithm>
#include <cctype>

#include "host/host_error.h"

namespace lensfall::cli {

namespace {

// Enough workers that a few idle browser connections and a slow client
// leave some free; requests wait for the module one at a time anyway.
constexpr size_t kWorkers = 8;
// Loopback answers in microseconds: a client that sends nothing for this
// long is idle or trickling and loses its connection.
constexpr time_t kReadTimeoutSeconds = 2;
constexpr time_t kWriteTimeoutSeconds = 5;
constexpr time_t kKeepAliveSeconds = 2;
constexpr size_t kKeepAliveRequests = 50;

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return text;
}

void answer(httplib::Response &response, const PageResponse &out) {
  response.status = out.status;
  response.set_header("Cache-Control", "no-store");
  response.set_header("X-Content-Type-Options", "nosniff");
  // The page runs only its own inline script, talks only to this server,
  // sends its address (with the token) to no one and is framed by no
  // other page; its pictures are read only by pages of its own origin.
  response.set_header("Content-Security-Policy",
                      "default-src 'none'; script-src 'unsafe-inline'; "
                      "style-src 'unsafe-inline'; img-src 'self' blob:; "
                      "connect-src 'self'; base-uri 'none'; "
                      "form-action 'none'; frame-ancestors 'none'");
  response.set_header("X-Frame-Options", "DENY");
  response.set_header("Referrer-Policy", "no-referrer");
  response.set_header("Cross-Origin-Resource-Policy", "same-origin");
  for (const auto &[name, value] : out.headers)
    response.set_header(name, value);
  response.set_content(out.body, out.contentType.c_str());
}

}  // namespace

PageServer::PageServer(SettingsPage &page)
    : page_(page), server_(std::make_unique<httplib::Server>()) {
  access_.token = newPageToken();
  httplib::Server &server = *server_;
  server.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
  server.set_read_timeout(kReadTimeoutSeconds, 0);
  server.set_write_timeout(kWriteTimeoutSeconds, 0);
  server.set_keep_alive_timeout(kKeepAliveSeconds);
  server.set_keep_alive_max_count(kKeepAliveRequests);
  server.set_payload_max_length(kMaxPageBodyBytes);
  // Runs before the body is read: a body that is too long, or of no stated
  // length, is refused without reading it, and the connection is closed.
  server.set_pre_routing_handler([](const httplib::Request &request,
                                    httplib::Response &response) {
    const auto refuse = [&](int status, const std::string &message) {
      response.set_header("Connection", "close");
      answer(response, {status,
                        "application/json",
                        nlohmann::json{{"error", message}}.dump(),
                        {}});
      return httplib::Server::HandlerResponse::Handled;
    };
    if (request.has_header("Transfer-Encoding")) {
      return refuse(411, "a request body needs a Content-Length");
    }
    const bool changes = request.method != "GET" && request.method != "HEAD";
    if (changes && !request.has_header("Content-Length")) {
      return refuse(411, "a request body needs a Content-Length");
    }
    const std::string length = request.get_header_value("Content-Length");
    const bool digits =
        !length.empty() && length.size() <= 9 &&
        std::all_of(length.begin(), length.end(),
                    [](unsigned char c) { return std::isdigit(c) != 0; });
    if (!length.empty() &&
        (!digits || std::stoul(length) > kMaxPageBodyBytes)) {
      return refuse(413, fmt::format("a request body may hold at most {} "
                                     "bytes",
                                     kMaxPageBodyBytes));
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  const auto route = [this](const httplib::Request &request,
                            httplib::Response &response) {
    PageRequest in;
    in.method = request.method;
    in.path = request.path;
    for (const auto &[key, value] : request.params) in.query[key] = value;
    for (const auto &[name, value] : request.headers) {
      in.headers[lowerCase(name)] = value;
    }
    in.body = request.body;
    if (const auto refused = refusal(in, access_)) {
      answer(response, *refused);
      return;
    }
    answer(response, page_.handle(in));
  };
  server.Get(".*", route);
  server.Post(".*", route);
}

PageServer::~PageServer() = default;

void PageServer::bind(int port) {
  const int bound = port > 0
                        ? (server_->bind_to_port("127.0.0.1", port) ? port : -1)
                        : server_->bind_to_any_port("127.0.0.1");
  if (bound <= 0) {
    throw host::HostError(fmt::format("cannot listen on 127.0.0.1:{}", port));
  }
  access_.port = bound;
}

std::string PageServer::address() const {
  return fmt::format("http://127.0.0.1:{}/?token={}", access_.port,
                     access_.token);
}

void PageServer::run() { server_->listen_after_bind(); }

bool PageServer::running() const { return server_->is_running(); }

void PageServer::stop() { server_->stop(); }

}  // namespace lensfall::cli
