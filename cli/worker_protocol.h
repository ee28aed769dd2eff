// What a render parent and its worker processes say to each other.
//
// Parent to worker, one pipe per worker: frame numbers as int32; the end of
// the pipe means no more frames. Worker to parent, one shared pipe: reports,
// each a header and a message in a single write() of at most PIPE_BUF
// bytes, which a pipe never interleaves with another worker's.
#pragma once

#include <limits.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lensfall::cli {

struct ReportHeader {
  enum Kind : std::int32_t {
    Ready,    // set up; waiting for a frame
    Done,     // the frame was written
    Skipped,  // the frame's output existed
    Failed,   // the frame could not be rendered (message); ready for the next
    Warning,  // something worth telling the user (message); still working
    Fatal,    // the worker cannot go on (message); it exits
  };
  Kind kind = Ready;
  std::int32_t worker = 0;
  std::int32_t frame = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint32_t messageSize = 0;
  double seconds = 0.0;
};
inline constexpr size_t kMaxReportMessage = PIPE_BUF - sizeof(ReportHeader);

struct Report {
  ReportHeader header;
  std::string message;
};

// Both retry after EINTR; false when the other end is gone.
bool writeAll(int fd, const void *data, size_t size);
bool readAll(int fd, void *data, size_t size);

bool sendReport(int fd, ReportHeader header, std::string_view message = {});
bool readReport(int fd, Report &report);

bool sendTask(int fd, int frame);
// The next frame from the parent; false when there are none left or
// `stop` is set by a signal while waiting.
bool readTask(int fd, int &frame, const std::atomic<bool> *stop = nullptr);

}  // namespace lensfall::cli
