#include "host/colour.h"

#include <OpenImageIO/color.h>
#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <fmt/format.h>

#include "host/host_error.h"

namespace lensfall::host {

namespace {

// Reading a configuration is costly; one serves the whole process.
const OIIO::ColorConfig &colorConfig() {
  static const OIIO::ColorConfig config;
  return config;
}

bool known(const std::string &name) {
  return !name.empty() && colorConfig().createColorProcessor(
                              name, linearColorspace()) != nullptr;
}

}  // namespace

std::string linearColorspace() {
  const char *role = colorConfig().getColorSpaceNameByRole("scene_linear");
  return role != nullptr && *role != '\0' ? role : "linear";
}

std::string colorspaceOf(const OIIO::ImageSpec &spec) {
  const std::string label = spec.get_string_attribute("oiio:ColorSpace");
  if (known(label)) return label;
  const OIIO::TypeDesc::BASETYPE type =
      OIIO::TypeDesc::BASETYPE(spec.format.basetype);
  const bool floating = type == OIIO::TypeDesc::FLOAT ||
                        type == OIIO::TypeDesc::HALF ||
                        type == OIIO::TypeDesc::DOUBLE;
  return floating ? linearColorspace() : "sRGB";
}

bool isLinearColorspace(const std::string &name) {
  return name == linearColorspace() || name == "linear" ||
         colorConfig().isColorSpaceLinear(name);
}

void checkColorspace(const std::string &name, const std::string &what) {
  if (known(name)) return;
  std::string names;
  for (const std::string &space : colorConfig().getColorSpaceNames()) {
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
  OIIO::ImageBuf image(
      OIIO::ImageSpec(width, height, 4, OIIO::TypeDesc::FLOAT));
  const size_t pixels = size_t(width) * size_t(height);
  std::vector<float> interleaved(pixels * 4);
  for (size_t i = 0; i < pixels; ++i) {
    interleaved[i * 4 + 0] = red[i];
    interleaved[i * 4 + 1] = green[i];
    interleaved[i * 4 + 2] = blue[i];
    interleaved[i * 4 + 3] = alpha[i];
  }
  image.set_pixels(OIIO::ROI::All(), OIIO::TypeDesc::FLOAT, interleaved.data());
  image.specmod().alpha_channel = 3;
  if (!OIIO::ImageBufAlgo::colorconvert(image, image, from, to, true)) {
    throw HostError(fmt::format("cannot convert colour from {} to {}: {}", from,
                                to, image.geterror()));
  }
  image.get_pixels(OIIO::ROI::All(), OIIO::TypeDesc::FLOAT, interleaved.data());
  for (size_t i = 0; i < pixels; ++i) {
    red[i] = interleaved[i * 4 + 0];
    green[i] = interleaved[i * 4 + 1];
    blue[i] = interleaved[i * 4 + 2];
  }
}

}  // namespace lensfall::host
