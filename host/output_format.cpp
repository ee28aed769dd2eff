#include "host/output_format.h"

#include <fmt/format.h>

#include <array>
#include <cctype>

#include "host/host_error.h"
#include "host/path_format.h"

namespace lensfall::host {

namespace {

constexpr std::array kFormats = {
    OutputFormat{".exr", 4, true, false, true},
    OutputFormat{".hdr", 3, true, false, false},
    OutputFormat{".png", 4, false, true, false},
    OutputFormat{".tif", 4, false, true, false},
    OutputFormat{".tiff", 4, false, true, false},
    OutputFormat{".jpg", 3, false, false, false},
    OutputFormat{".jpeg", 3, false, false, false},
    OutputFormat{".ppm", 3, false, true, false},
};

}  // namespace

const OutputFormat *outputFormatFor(const std::filesystem::path &path) {
  std::string extension = path.extension().string();
  for (char &c : extension) {
    c = char(std::tolower(static_cast<unsigned char>(c)));
  }
  for (const OutputFormat &format : kFormats) {
    if (format.extension == extension) return &format;
  }
  return nullptr;
}

const OutputFormat &requireOutputFormat(const std::filesystem::path &path) {
  if (const OutputFormat *format = outputFormatFor(path)) return *format;
  throw HostError(fmt::format(
      "{}: cannot write \"{}\" images; the output must end in {}", path,
      path.extension().string(), supportedOutputExtensions()));
}

std::string supportedOutputExtensions() {
  std::string list;
  for (const OutputFormat &format : kFormats) {
    list += fmt::format("{}{}", list.empty() ? "" : ", ", format.extension);
  }
  return list;
}

}  // namespace lensfall::host
