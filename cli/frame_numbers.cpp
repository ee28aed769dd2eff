#include "cli/frame_numbers.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <optional>

#include "host/host_error.h"
#include "host/path_format.h"

namespace lensfall::cli {

namespace {

using host::HostError;

// A frame number: digits only, within bounds.
std::optional<int> frameNumber(std::string_view text) {
  if (text.empty() || text.size() > 9 ||
      !std::all_of(text.begin(), text.end(),
                   [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  int value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  if (value > kMaxFrameNumber) return std::nullopt;
  return value;
}

}  // namespace

bool hasFrameNumber(const std::filesystem::path &path) {
  return path.string().find('#') != std::string::npos;
}

FrameRange parseFrameRange(const std::string &frames,
                           const std::filesystem::path &input,
                           const std::filesystem::path &output) {
  FrameRange range;
  range.sequence = hasFrameNumber(input);
  if (frames.empty()) {
    if (range.sequence) {
      throw HostError(
          fmt::format("{}: a '#' pattern needs --frames A-B", input));
    }
    if (hasFrameNumber(output)) {
      throw HostError(fmt::format(
          "{}: '#' stands for a frame number, but {} is a single frame; give "
          "a '#' pattern and --frames, or an output name without '#'",
          output, input));
    }
    return range;
  }
  const size_t dash = frames.find('-');
  const std::optional<int> first = frameNumber(frames.substr(0, dash));
  const std::optional<int> last =
      dash == std::string::npos ? first : frameNumber(frames.substr(dash + 1));
  if (!first || !last) {
    throw HostError(fmt::format(
        "--frames \"{}\": expected A-B or A, whole frame numbers from 0 to {}",
        frames, kMaxFrameNumber));
  }
  if (*last < *first) {
    throw HostError(fmt::format("--frames {}: the range is empty", frames));
  }
  if (*last - *first >= kMaxFrames) {
    throw HostError(
        fmt::format("--frames {}: {} frames; one command renders at most {}",
                    frames, *last - *first + 1, kMaxFrames));
  }
  if (!range.sequence) {
    throw HostError("--frames needs '#' in INPUT and OUTPUT for the number");
  }
  if (!hasFrameNumber(output)) {
    throw HostError(fmt::format(
        "{}: a sequence needs '#' in OUTPUT for the frame number", output));
  }
  range.first = *first;
  range.last = *last;
  return range;
}

std::filesystem::path framePath(const std::filesystem::path &pattern,
                                int frame) {
  std::string text = pattern.string();
  const size_t first = text.find('#');
  if (first == std::string::npos) return pattern;
  const size_t last = text.find_first_not_of('#', first);
  const size_t width = (last == std::string::npos ? text.size() : last) - first;
  text.replace(first, width, fmt::format("{:0{}d}", frame, width));
  return text;
}

std::string frameList(std::vector<int> frames) {
  std::sort(frames.begin(), frames.end());
  std::string text;
  for (size_t k = 0; k < frames.size() && k < 20; ++k) {
    text += fmt::format("{}{}", k == 0 ? "" : ", ", frames[k]);
  }
  if (frames.size() > 20) text += ", ...";
  return text;
}

}  // namespace lensfall::cli
