#include "host/atomic_write.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/host_error.h"
#include "host/path_format.h"

namespace lensfall::host {

namespace {

// The temporary being written, for removeTemporaryInProgress: a fixed
// buffer, so that a signal handler reads it without allocating. One write
// at a time claims it; `complete` is set only while it holds a whole name.
char temporaryName[PATH_MAX];
std::atomic<bool> claimed{false};
std::atomic<bool> complete{false};

class InProgress {
 public:
  explicit InProgress(const std::string &name) {
    bool expected = false;
    if (name.size() < sizeof temporaryName &&
        claimed.compare_exchange_strong(expected, true)) {
      std::memcpy(temporaryName, name.c_str(), name.size() + 1);
      complete = true;
      registered_ = true;
    }
  }
  ~InProgress() {
    if (!registered_) return;
    complete = false;
    claimed = false;
  }
  InProgress(const InProgress &) = delete;
  InProgress &operator=(const InProgress &) = delete;

 private:
  bool registered_ = false;
};

// The file a write lands in: the target of a symbolic link, else the path.
std::filesystem::path destinationOf(const std::filesystem::path &path) {
  std::error_code error;
  if (!std::filesystem::is_symlink(path, error)) return path;
  const auto target = std::filesystem::weakly_canonical(path, error);
  return error ? path : target;
}

}  // namespace

std::filesystem::path temporaryPathFor(const std::filesystem::path &path,
                                       pid_t pid) {
  char host[64] = "host";
  gethostname(host, sizeof host - 1);
  host[sizeof host - 1] = '\0';
  const auto dir =
      path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  return dir / fmt::format(".{}.{}-{}.tmp", path.filename().string(), host,
                           long(pid));
}

void removeTemporaryInProgress() noexcept {
  if (complete.load()) unlink(temporaryName);
}

namespace {

// Gives a finished temporary the permissions an existing file had (a new
// one gets the usual), syncs it and renames it over the destination.
void replaceWith(const std::string &temporary,
                 const std::filesystem::path &path,
                 const std::filesystem::path &requested) {
  auto fail = [&](const char *what) {
    const int saved = errno;
    unlink(temporary.c_str());
    throw HostError(
        fmt::format("{}: {}: {}", requested, what, std::strerror(saved)));
  };
  const int fd = open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail("cannot write");
  struct stat existing {};
  if (stat(path.c_str(), &existing) == 0) {
    fchmod(fd, existing.st_mode & 07777);
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
  }
  const bool synced = fsync(fd) == 0;
  close(fd);
  if (!synced) fail("cannot write");
  if (std::rename(temporary.c_str(), path.c_str()) != 0) fail("cannot replace");
}

}  // namespace

void writeThroughTemporary(
    const std::filesystem::path &requested,
    const std::function<void(const std::filesystem::path &temporary)> &write) {
  const std::filesystem::path path = destinationOf(requested);
  const std::string temporary = temporaryPathFor(path, getpid()).string();
  const InProgress remembered(temporary);
  unlink(temporary.c_str());
  try {
    write(temporary);
  } catch (...) {
    unlink(temporary.c_str());
    throw;
  }
  replaceWith(temporary, path, requested);
}

void writeFileAtomically(const std::filesystem::path &requested,
                         const std::string &contents) {
  writeThroughTemporary(requested, [&](const std::filesystem::path &temporary) {
    // A file of that name is a leftover of this process id from an earlier
    // run that was killed: nothing else writes it.
    const int fd =
        open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      throw HostError(
          fmt::format("{}: cannot write: {}", requested, std::strerror(errno)));
    }
    size_t written = 0;
    while (written < contents.size()) {
      const ssize_t n =
          ::write(fd, contents.data() + written, contents.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        const int saved = errno;
        close(fd);
        throw HostError(fmt::format("{}: cannot write: {}", requested,
                                    std::strerror(saved)));
      }
      written += size_t(n);
    }
    if (close(fd) != 0) {
      throw HostError(
          fmt::format("{}: cannot write: {}", requested, std::strerror(errno)));
    }
  });
}

}  // namespace lensfall::host
