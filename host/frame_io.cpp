#include "host/frame_io.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <OpenImageIO/imageio.h>
#include <fmt/format.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>

#include "host/host_error.h"
#include "host/path_format.h"
#include "host/scene_file.h"

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

namespace {

std::string lowerExtension(const std::filesystem::path &path) {
  std::string extension = path.extension().string();
  for (char &c : extension) {
    c = char(std::tolower(static_cast<unsigned char>(c)));
  }
  return extension;
}

}  // namespace

void writeImageBuffer(const OIIO::ImageBuf &image,
                      const std::filesystem::path &path) {
  auto output = OIIO::ImageOutput::create(path.string());
  if (!output) {
    throw HostError(fmt::format("{}: cannot write this kind of image: {}", path,
                                OIIO::geterror()));
  }
  // Image writers do not all notice a short write (a full disk): encode into
  // memory, then write the bytes with checked writes, a sync and a rename.
  std::vector<unsigned char> encoded;
  OIIO::Filesystem::IOVecOutput memory(encoded);
  if (!output->supports("ioproxy") || !output->set_ioproxy(&memory) ||
      !output->open(path.string(), image.spec()) ||
      !output->write_image(image.spec().format, image.localpixels()) ||
      !output->close()) {
    throw HostError(fmt::format("{}: cannot encode the image: {}", path,
                                output->geterror()));
  }
  writeFileAtomically(path, std::string(encoded.begin(), encoded.end()));
}

void writeImageFile(const std::filesystem::path &path, int width, int height,
                    const std::vector<const std::vector<float> *> &planes,
                    const std::vector<std::string> &names) {
  const std::string extension = lowerExtension(path);
  const bool linear = extension == ".exr" || extension == ".hdr";
  // Display formats get colour and alpha only; JPEG has no alpha at all.
  size_t channels = planes.size();
  if (!linear) channels = std::min<size_t>(channels, 4);
  if (extension == ".jpg" || extension == ".jpeg") {
    channels = std::min<size_t>(channels, 3);
  }
  OIIO::ImageSpec spec(width, height, int(channels),
                       linear ? OIIO::TypeDesc::FLOAT : OIIO::TypeDesc::UINT8);
  spec.channelnames.assign(names.begin(), names.begin() + long(channels));
  if (channels == 4) spec.alpha_channel = 3;
  OIIO::ImageBuf image(spec);
  const size_t pixels = size_t(width) * size_t(height);
  std::vector<float> values(pixels * channels);
  for (size_t i = 0; i < pixels; ++i) {
    for (size_t k = 0; k < channels; ++k) {
      const float v = (*planes[k])[i];
      values[i * channels + k] = linear || k >= 3 ? v : linearToSrgb(v);
    }
  }
  image.set_pixels(OIIO::ROI::All(), OIIO::TypeDesc::FLOAT, values.data());
  writeImageBuffer(image, path);
}

void writeFrameOutput(const Frame &frame, const std::filesystem::path &path) {
  std::vector<const std::vector<float> *> planes = {
      &frame.outRed, &frame.outGreen, &frame.outBlue, &frame.outAlpha};
  std::vector<std::string> names = {"R", "G", "B", "A"};
  if (!frame.depth.empty()) {
    planes.push_back(&frame.depth);
    names.push_back("Z");
  }
  writeImageFile(path, frame.width, frame.height, planes, names);
}

void writeBeforeAfter(const Frame &frame, const std::filesystem::path &path) {
  const int width = frame.width * 2;
  const std::vector<float> *before[4] = {&frame.red, &frame.green, &frame.blue,
                                         &frame.alpha};
  const std::vector<float> *after[4] = {&frame.outRed, &frame.outGreen,
                                        &frame.outBlue, &frame.outAlpha};
  std::vector<std::vector<float>> joined(
      4, std::vector<float>(size_t(width) * size_t(frame.height)));
  for (int k = 0; k < 4; ++k) {
    for (int y = 0; y < frame.height; ++y) {
      const size_t row = size_t(y) * size_t(frame.width);
      std::copy_n(before[k]->begin() + long(row), frame.width,
                  joined[size_t(k)].begin() + long(row * 2));
      std::copy_n(after[k]->begin() + long(row), frame.width,
                  joined[size_t(k)].begin() + long(row * 2) + frame.width);
    }
  }
  writeImageFile(path, width, frame.height,
                 {&joined[0], &joined[1], &joined[2], &joined[3]},
                 {"R", "G", "B", "A"});
}

}  // namespace lensfall::host
