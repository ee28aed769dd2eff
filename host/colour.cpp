#include "host/colour.h"

#include <fmt/format.h>

#include "host/host_error.h"
#include "host/image_plugin.h"

namespace lensfall::host {

namespace {

bool known(const std::string &name) {
  return !name.empty() && imagePlugin().knownColorspace(name);
}

std::string named(const std::string &name) {
  return name.empty() ? linearColorspace() : name;
}

}  // namespace

std::string linearColorspace() { return imagePlugin().linearColorspace(); }

std::string colorspaceOf(const PartSpec &spec) {
  if (known(spec.colorspace)) return spec.colorspace;
  const bool floating =
      !spec.channelformats.empty() && isFloating(spec.channelformats.front());
  return floating ? "" : "sRGB";
}

bool isLinearColorspace(const std::string &name) {
  return name.empty() || name == "linear" || name == linearColorspace() ||
         imagePlugin().linearSpace(name);
}

void checkColorspace(const std::string &name, const std::string &what) {
  if (known(name)) return;
  std::string names;
  for (const std::string &space : imagePlugin().colorspaceNames()) {
    names += (names.empty() ? "" : ", ") + space;
  }
  throw HostError(fmt::format(
      "{}: no colour space \"{}\" in the colour configuration; known: {}", what,
      name, names));
}

void convertColour(std::vector<float> &red, std::vector<float> &green,
                   std::vector<float> &blue, const std::vector<float> &alpha,
                   int width, int height, const std::string &from,
                   const std::string &to) {
  if (from == to) return;
  const std::string source = named(from), target = named(to);
  if (source == target) return;
  const size_t pixels = size_t(width) * size_t(height);
  std::vector<float> interleaved(pixels * 4);
  for (size_t i = 0; i < pixels; ++i) {
    interleaved[i * 4 + 0] = red[i];
    interleaved[i * 4 + 1] = green[i];
    interleaved[i * 4 + 2] = blue[i];
    interleaved[i * 4 + 3] = alpha[i];
  }
  std::string error;
  if (!imagePlugin().convertColour(interleaved.data(), width, height, source,
                                   target, error)) {
    throw HostError(fmt::format("cannot convert colour from {} to {}: {}",
                                source, target, error));
  }
  for (size_t i = 0; i < pixels; ++i) {
    red[i] = interleaved[i * 4 + 0];
    green[i] = interleaved[i * 4 + 1];
    blue[i] = interleaved[i * 4 + 2];
  }
}

}  // namespace lensfall::host
