#include "cli/worker_protocol.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace lensfall::cli {

bool writeAll(int fd, const void *data, size_t size) {
  const char *bytes = static_cast<const char *>(data);
  while (size > 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= size_t(n);
  }
  return true;
}

bool readAll(int fd, void *data, size_t size) {
  char *bytes = static_cast<char *>(data);
  while (size > 0) {
    const ssize_t n = read(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= size_t(n);
  }
  return true;
}

bool sendReport(int fd, ReportHeader header, std::string_view message) {
  if (message.size() > kMaxReportMessage) {
    message = message.substr(0, kMaxReportMessage);
  }
  header.messageSize = std::uint32_t(message.size());
  char buffer[PIPE_BUF];
  std::memcpy(buffer, &header, sizeof header);
  if (!message.empty()) {
    std::memcpy(buffer + sizeof header, message.data(), message.size());
  }
  return writeAll(fd, buffer, sizeof header + message.size());
}

bool readReport(int fd, Report &report) {
  if (!readAll(fd, &report.header, sizeof report.header)) return false;
  report.message.resize(
      std::min<size_t>(report.header.messageSize, kMaxReportMessage));
  return readAll(fd, report.message.data(), report.message.size());
}

bool sendTask(int fd, int frame) {
  const std::int32_t number = frame;
  return writeAll(fd, &number, sizeof number);
}

bool readTask(int fd, int &frame, const std::atomic<bool> *stop) {
  std::int32_t number = 0;
  char *bytes = reinterpret_cast<char *>(&number);
  size_t got = 0;
  while (got < sizeof number) {
    const ssize_t n = read(fd, bytes + got, sizeof number - got);
    if (n < 0 && errno == EINTR) {
      if (stop != nullptr && *stop) return false;
      continue;
    }
    if (n <= 0) return false;
    got += size_t(n);
  }
  frame = number;
  return true;
}

}  // namespace lensfall::cli
