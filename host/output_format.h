// The image formats filtered frames can be written as, and what each holds.
// Other extensions are refused before any work is done, with this list.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace lensfall::host {

struct OutputFormat {
  std::string_view extension;  // lower case, with the dot
  int maxChannels;             // colour and alpha at most; EXR: every channel
  bool linear;                 // floating point, scene-linear
  bool sixteenBit;             // integer formats that can hold 16 bits
  bool everyChannel;           // keeps every channel and part of the input
};

// The format a file name asks for; null when it is not one of them.
const OutputFormat *outputFormatFor(const std::filesystem::path &path);

// Throws HostError naming the file and listing the supported extensions.
const OutputFormat &requireOutputFormat(const std::filesystem::path &path);

std::string supportedOutputExtensions();

}  // namespace lensfall::host
