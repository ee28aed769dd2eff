// Frame numbers of a sequence: the range the user asks for and the file
// names a run of '#' stands for.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace lensfall::cli {

// Frame numbers are 0 to kMaxFrameNumber and one command renders at most
// kMaxFrames of them, so a range can neither overflow nor queue without end.
inline constexpr int kMaxFrameNumber = 99'999'999;
inline constexpr int kMaxFrames = 1'000'000;

struct FrameRange {
  int first = 0;
  int last = 0;
  bool sequence = false;  // INPUT names frames with '#'
  int count() const { return last - first + 1; }
};

// Reads --frames ("A-B" or "A"; empty for a single frame) against the
// input and output names. Throws HostError for a range that is not of that
// form, empty, out of bounds, or that does not match the names: a '#'
// pattern needs a range and a range needs a pattern in both.
FrameRange parseFrameRange(const std::string &frames,
                           const std::filesystem::path &input,
                           const std::filesystem::path &output);

bool hasFrameNumber(const std::filesystem::path &path);

// Replaces the first run of '#' in a path by the zero-padded frame number.
std::filesystem::path framePath(const std::filesystem::path &pattern,
                                int frame);

// "3, 7, 12": the frames in order, the first twenty of them.
std::string frameList(std::vector<int> frames);

}  // namespace lensfall::cli
