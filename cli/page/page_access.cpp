#include "cli/page/page_access.h"

#include <fmt/format.h>
#include <sys/random.h>

#include <algorithm>
#include <array>
#include <cctype>

#include "host/host_error.h"

namespace lensfall::cli {

namespace {

std::string header(const PageRequest &request, const std::string &name) {
  const auto found = request.headers.find(name);
  return found == request.headers.end() ? std::string() : found->second;
}

// The media type of a Content-Type value: before any parameters, trimmed,
// lower case.
std::string mediaType(std::string value) {
  value = value.substr(0, value.find(';'));
  const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  value.erase(value.begin(),
              std::find_if_not(value.begin(), value.end(), blank));
  while (!value.empty() && blank(value.back())) value.pop_back();
  std::transform(value.begin(), value.end(), value.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return value;
}

PageResponse refuse(int status, const std::string &message) {
  return {status,
          "application/json",
          nlohmann::json{{"error", message}}.dump(),
          {}};
}

}  // namespace

std::string newPageToken() {
  std::array<unsigned char, 32> bytes{};
  size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t got =
        getrandom(bytes.data() + filled, bytes.size() - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw host::HostError("cannot read the system's random source");
    }
    filled += size_t(got);
  }
  std::string token;
  for (unsigned char byte : bytes) token += fmt::format("{:02x}", byte);
  return token;
}

bool sameSecret(std::string_view given, std::string_view expected) {
  // The length is not secret; the bytes are all compared whatever differs.
  if (given.size() != expected.size() || expected.empty()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < expected.size(); ++i) {
    difference |= static_cast<unsigned char>(given[i] ^ expected[i]);
  }
  return difference == 0;
}

std::optional<PageResponse> refusal(const PageRequest &request,
                                    const PageAccess &access) {
  const std::string host = header(request, "host");
  if (host != fmt::format("127.0.0.1:{}", access.port) &&
      host != fmt::format("localhost:{}", access.port)) {
    return refuse(421, fmt::format("this server answers only to "
                                   "127.0.0.1:{0} and localhost:{0}",
                                   access.port));
  }
  if (request.body.size() > kMaxPageBodyBytes) {
    return refuse(413, fmt::format("a request body may hold at most {} bytes",
                                   kMaxPageBodyBytes));
  }
  const bool changes = request.method != "GET" && request.method != "HEAD";
  if (changes) {
    const auto origin = request.headers.find("origin");
    if (origin != request.headers.end() &&
        origin->second != fmt::format("http://127.0.0.1:{}", access.port) &&
        origin->second != fmt::format("http://localhost:{}", access.port)) {
      return refuse(403, fmt::format("changes come only from the settings "
                                     "page itself, not from {}",
                                     origin->second));
    }
  }
  // The page itself carries the token in its address; everything it asks
  // for afterwards carries it in a header, which other origins cannot set
  // without the server's consent.
  const auto query = request.query.find("token");
  const std::string token =
      request.path == "/"
          ? (query == request.query.end() ? std::string() : query->second)
          : header(request, kTokenHeader);
  if (!sameSecret(token, access.token)) {
    return refuse(403,
                  "open the address that lensfall panel printed: it "
                  "carries this run's token");
  }
  if (changes &&
      mediaType(header(request, "content-type")) != "application/json") {
    return refuse(415, "edits are sent as application/json");
  }
  return std::nullopt;
}

}  // namespace lensfall::cli
