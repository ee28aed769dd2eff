#include "host/frame_io.h"

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <fmt/format.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>

#include "host/host_error.h"
#include "host/path_format.h"

namespace lensfall::host {

namespace {

int findChannel(const OIIO::ImageSpec &spec, const std::string &wanted,
                std::initializer_list<const char *> suffixes) {
  if (!wanted.empty()) return spec.channelindex(wanted);
  for (const char *suffix : suffixes) {
    const std::string tail = suffix;
    for (int c = 0; c < spec.nchannels; ++c) {
      const std::string &name = spec.channelnames[size_t(c)];
      if (name == tail.substr(tail.front() == '.' ? 1 : 0) ||
          (tail.front() == '.' && name.size() > tail.size() &&
           name.compare(name.size() - tail.size(), tail.size(), tail) == 0)) {
        return c;
      }
    }
  }
  return -1;
}

bool isLinearFormat(const OIIO::ImageSpec &spec) {
  return spec.format.basetype == OIIO::TypeDesc::FLOAT ||
         spec.format.basetype == OIIO::TypeDesc::HALF ||
         spec.format.basetype == OIIO::TypeDesc::DOUBLE;
}

float srgbToLinear(float v) {
  return v <= 0.04045f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f);
}

float linearToSrgb(float v) {
  if (!(v > 0.0f)) return 0.0f;
  if (v >= 1.0f) return 1.0f;
  return v <= 0.0031308f ? v * 12.92f
                         : 1.055f * std::pow(v, 1.0f / 2.4f) - 0.055f;
}

OIIO::ImageBuf openImage(const std::filesystem::path &path) {
  if (!std::filesystem::exists(path)) {
    throw HostError(fmt::format("{}: no such file", path));
  }
  OIIO::ImageBuf image(path.string());
  if (!image.read(0, 0, true, OIIO::TypeDesc::FLOAT)) {
    throw HostError(
        fmt::format("{}: cannot read image: {}", path, image.geterror()));
  }
  if (image.spec().width <= 0 || image.spec().height <= 0) {
    throw HostError(fmt::format("{}: image has no pixels", path));
  }
  return image;
}

std::vector<float> plane(const OIIO::ImageBuf &image, int channel) {
  const OIIO::ImageSpec &spec = image.spec();
  std::vector<float> values(size_t(spec.width) * size_t(spec.height));
  const OIIO::ROI roi(spec.x, spec.x + spec.width, spec.y, spec.y + spec.height,
                      0, 1, channel, channel + 1);
  image.get_pixels(roi, OIIO::TypeDesc::FLOAT, values.data());
  return values;
}

}  // namespace

Frame readFrame(const FrameSource &source) {
  const OIIO::ImageBuf image = openImage(source.image);
  const OIIO::ImageSpec &spec = image.spec();
  Frame frame;
  frame.width = spec.width;
  frame.height = spec.height;
  const int r = findChannel(spec, source.channels.red, {".R", "R"});
  const int g = findChannel(spec, source.channels.green, {".G", "G"});
  const int b = findChannel(spec, source.channels.blue, {".B", "B"});
  const int a = findChannel(spec, source.channels.alpha, {".A", "A"});
  if (r < 0 || g < 0 || b < 0) {
    // Images without named channels: the first three are colour.
    if (spec.nchannels < 3 && spec.nchannels != 1) {
      throw HostError(
          fmt::format("{}: no red, green and blue channels", source.image));
    }
  }
  const int red = r >= 0 ? r : 0;
  const int green = g >= 0 ? g : (spec.nchannels >= 3 ? 1 : 0);
  const int blue = b >= 0 ? b : (spec.nchannels >= 3 ? 2 : 0);
  frame.red = plane(image, red);
  frame.green = plane(image, green);
  frame.blue = plane(image, blue);
  if (a >= 0) {
    frame.alpha = plane(image, a);
  } else {
    frame.alpha.assign(frame.pixels(), 1.0f);
  }
  if (!isLinearFormat(spec)) {
    for (auto *p : {&frame.red, &frame.green, &frame.blue}) {
      for (float &v : *p) v = srgbToLinear(v);
    }
  }
  if (source.depthImage) {
    const OIIO::ImageBuf depth = openImage(*source.depthImage);
    if (depth.spec().width != frame.width ||
        depth.spec().height != frame.height) {
      throw HostError(fmt::format(
          "{}: depth is {} x {}, the frame {} x {}", *source.depthImage,
          depth.spec().width, depth.spec().height, frame.width, frame.height));
    }
    const int z = findChannel(depth.spec(), source.channels.depth,
                              {".Z", "Z", ".depth", "depth", ".Y", "Y"});
    frame.depth = plane(depth, z >= 0 ? z : 0);
  } else {
    const int z = findChannel(spec, source.channels.depth,
                              {".Depth.Z", ".Z", "Z", "depth"});
    if (z >= 0) frame.depth = plane(image, z);
  }
  if (!source.channels.depth.empty() && frame.depth.empty()) {
    throw HostError(fmt::format("{}: no depth channel \"{}\"", source.image,
                                source.channels.depth));
  }
  if (!frame.depth.empty() && source.depthMeasure == DepthMeasure::Planar) {
    planarToDistance(frame, source.horizontalFov, source.verticalFov);
  }
  frame.resetOutput();
  return frame;
}

void planarToDistance(Frame &frame, double horizontalFov, double verticalFov) {
  const double tx = std::tan(horizontalFov / 2.0);
  const double ty = std::tan(verticalFov / 2.0);
  for (int y = 0; y < frame.height; ++y) {
    const double v = ty * (2.0 * (y + 0.5) / frame.height - 1.0);
    for (int x = 0; x < frame.width; ++x) {
      const double u = tx * (2.0 * (x + 0.5) / frame.width - 1.0);
      float &z = frame.depth[size_t(y) * size_t(frame.width) + size_t(x)];
      z = float(z * std::sqrt(1.0 + u * u + v * v));
    }
  }
}

void writeFrameOutput(const Frame &frame, const std::filesystem::path &path) {
  std::string extension = path.extension().string();
  for (char &c : extension)
    c = char(std::tolower(static_cast<unsigned char>(c)));
  const bool linear = extension == ".exr" || extension == ".hdr";
  OIIO::ImageSpec spec(frame.width, frame.height, 4,
                       linear ? OIIO::TypeDesc::HALF : OIIO::TypeDesc::UINT8);
  spec.channelnames = {"R", "G", "B", "A"};
  OIIO::ImageBuf image(spec);
  std::vector<float> pixels(frame.pixels() * 4);
  for (size_t i = 0; i < frame.pixels(); ++i) {
    const float rgba[4] = {frame.outRed[i], frame.outGreen[i], frame.outBlue[i],
                           frame.outAlpha[i]};
    for (int k = 0; k < 4; ++k) {
      pixels[i * 4 + size_t(k)] =
          linear || k == 3 ? rgba[k] : linearToSrgb(rgba[k]);
    }
  }
  image.set_pixels(OIIO::ROI::All(), OIIO::TypeDesc::FLOAT, pixels.data());
  const auto dir =
      path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  const auto temporary = dir / fmt::format(".{}.{}{}", path.stem().string(),
                                           getpid(), path.extension().string());
  if (!image.write(temporary.string())) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    throw HostError(
        fmt::format("{}: cannot write: {}", path, image.geterror()));
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    throw HostError(
        fmt::format("{}: cannot replace: {}", path, error.message()));
  }
}

}  // namespace lensfall::host
