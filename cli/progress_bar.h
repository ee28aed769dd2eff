// A progress bar on the terminal for the frame being rendered.
#pragma once

#include <fmt/format.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace lensfall::cli {

class ProgressBar {
 public:
  explicit ProgressBar(bool shown) : shown_(shown) {}
  void operator()(int steps, unsigned int total) {
    if (!shown_) return;
    const double fraction =
        total > 0 ? std::min(1.0, double(steps) / total) : 1.0;
    const int filled = int(fraction * 40);
    if (filled == last_) return;
    last_ = filled;
    fmt::print(stderr, "\r[{:<40}] {:3d} %", std::string(size_t(filled), '#'),
               int(fraction * 100));
  }
  void finish() {
    if (shown_ && last_ >= 0) fmt::print(stderr, "\n");
    last_ = -1;
  }

 private:
  bool shown_;
  int last_ = -1;
};

}  // namespace lensfall::cli
