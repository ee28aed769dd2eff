#include "host/scene.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "host/host_error.h"
#include "host/image_file.h"
#include "host/path_format.h"
#include "host/text_codec.h"
#include "hostapi/services.h"

int HostPixmap::channels() const {
  switch (pixelType) {
    case HOST_PIXEL_GREY8:
      return 1;
    case HOST_PIXEL_RGBA32:
      return 4;
    default:
      return 3;
  }
}

namespace lensfall::host {

HostItem &Scene::addObject(const std::string &utf8Name,
                           std::array<double, 3> position) {
  auto item = std::make_unique<HostItem>();
  item->type = HOST_ITEM_OBJECT;
  item->name = utf8ToCp932(utf8Name);
  item->position.constant = position;
  objects.push_back(std::move(item));
  return *objects.back();
}

HostItem &Scene::setCamera(const HostCameraLens &lens,
                           std::array<double, 3> position) {
  camera = std::make_unique<HostItem>();
  camera->type = HOST_ITEM_CAMERA;
  camera->name = "Camera";
  camera->lens = lens;
  camera->position.constant = position;
  return *camera;
}

std::optional<HostCameraAim> unitAim(HostCameraAim aim) {
  auto &[view, up] = aim;
  const auto dot = [](const std::array<double, 3> &a,
                      const std::array<double, 3> &b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
  };
  const auto normalised = [&](std::array<double, 3> &v) {
    const double length = std::sqrt(dot(v, v));
    if (!(length > 0.0) || !std::isfinite(length)) return false;
    for (double &c : v) c /= length;
    return true;
  };
  if (!normalised(view) || !normalised(up)) return std::nullopt;
  const double along = dot(up, view);
  for (size_t k = 0; k < 3; ++k) up[k] -= along * view[k];
  // Parallel, or so nearly that what is left is rounding.
  if (!(std::sqrt(dot(up, up)) > 1e-9) || !normalised(up)) {
    return std::nullopt;
  }
  return aim;
}

HostImage &Scene::addImage(const std::string &utf8Name,
                           std::vector<std::filesystem::path> files) {
  if (files.empty()) {
    throw HostError(fmt::format("image \"{}\" names no file", utf8Name));
  }
  auto image = std::make_unique<HostImage>();
  image->name = utf8ToCp932(utf8Name);
  for (const auto &file : files) image->frames.push_back(readPixmap(file));
  image->files = std::move(files);
  images.push_back(std::move(image));
  return *images.back();
}

HostImage &Scene::addImage(const std::string &utf8Name, HostPixmap pixels) {
  auto image = std::make_unique<HostImage>();
  image->name = utf8ToCp932(utf8Name);
  image->frames.push_back(std::move(pixels));
  images.push_back(std::move(image));
  return *images.back();
}

HostItem *Scene::objectNamed(const std::string &utf8Name) const {
  const std::string name = utf8ToCp932(utf8Name);
  for (const auto &object : objects) {
    if (object->name == name) return object.get();
  }
  return nullptr;
}

HostImage *Scene::imageNamed(const std::string &utf8Name) const {
  const std::string name = utf8ToCp932(utf8Name);
  for (const auto &image : images) {
    if (image->name == name) return image.get();
  }
  return nullptr;
}

HostPixmap readPixmap(const std::filesystem::path &file) {
  const ImageFile image = readImageFile(file);
  const ImagePart &part = image.parts.front();
  const PartSpec &spec = part.spec;
  HostPixmap pixmap;
  pixmap.width = spec.width;
  pixmap.height = spec.height;
  pixmap.pixelType = spec.nchannels == 1   ? HOST_PIXEL_GREY8
                     : spec.nchannels == 3 ? HOST_PIXEL_RGB24
                                           : HOST_PIXEL_RGBA32;
  if (spec.nchannels == 2) pixmap.pixelType = HOST_PIXEL_GREY8;
  const int channels = pixmap.channels();
  pixmap.bytes.resize(size_t(pixmap.width) * pixmap.height * channels);
  // Grey with alpha keeps its grey channel; wider images keep R, G, B, A.
  // Values are scaled to 0..255 and rounded to the nearest step.
  for (int c = 0; c < channels; ++c) {
    const std::vector<float> values = part.channel(c);
    for (size_t i = 0; i < values.size(); ++i) {
      const float scaled = std::clamp(values[i] * 255.0f + 0.5f, 0.0f, 255.0f);
      pixmap.bytes[i * size_t(channels) + size_t(c)] = std::uint8_t(scaled);
    }
  }
  return pixmap;
}

const HostPixmap *pixmapAt(const HostImage &image, double time,
                           double framesPerSecond) {
  if (image.frames.empty()) return nullptr;
  if (image.frames.size() == 1) return &image.frames.front();
  const double frame = std::round(time * framesPerSecond);
  if (!(frame > 0.0)) return &image.frames.front();
  const double last = double(image.frames.size() - 1);
  return &image.frames[size_t(std::min(frame, last))];
}

namespace {

// For each destination pixel along one axis, the source pixels it covers and
// how much of each.
struct Coverage {
  int first = 0;
  std::vector<double> weights;
};

std::vector<Coverage> coverageAlong(int sourceLength, int targetLength) {
  std::vector<Coverage> coverage(static_cast<size_t>(targetLength));
  const double scale = double(sourceLength) / targetLength;
  for (int t = 0; t < targetLength; ++t) {
    const double begin = t * scale;
    const double end = (t + 1) * scale;
    Coverage &c = coverage[size_t(t)];
    c.first = int(std::floor(begin));
    const int last = std::min(sourceLength - 1, int(std::ceil(end)) - 1);
    for (int s = c.first; s <= last; ++s) {
      const double overlap =
          std::min(end, double(s + 1)) - std::max(begin, double(s));
      c.weights.push_back(std::max(0.0, overlap) / scale);
    }
  }
  return coverage;
}

}  // namespace

HostPixmap resamplePixmap(const HostPixmap &source, int width, int height) {
  HostPixmap target;
  target.width = std::max(width, 0);
  target.height = std::max(height, 0);
  target.pixelType = source.pixelType;
  const int channels = source.channels();
  target.bytes.assign(size_t(target.width) * target.height * channels, 0);
  if (target.bytes.empty() || source.width <= 0 || source.height <= 0) {
    return target;
  }
  const auto across = coverageAlong(source.width, target.width);
  const auto down = coverageAlong(source.height, target.height);
  std::vector<double> sum(static_cast<size_t>(channels));
  for (int y = 0; y < target.height; ++y) {
    const Coverage &rows = down[size_t(y)];
    for (int x = 0; x < target.width; ++x) {
      const Coverage &columns = across[size_t(x)];
      std::fill(sum.begin(), sum.end(), 0.0);
      for (size_t j = 0; j < rows.weights.size(); ++j) {
        const int sy = rows.first + int(j);
        for (size_t i = 0; i < columns.weights.size(); ++i) {
          const int sx = columns.first + int(i);
          const double w = rows.weights[j] * columns.weights[i];
          const uint8_t *pixel =
              &source.bytes[(size_t(sy) * source.width + sx) * channels];
          for (int k = 0; k < channels; ++k) sum[size_t(k)] += w * pixel[k];
        }
      }
      uint8_t *out = &target.bytes[(size_t(y) * target.width + x) * channels];
      for (int k = 0; k < channels; ++k) {
        out[k] = uint8_t(std::clamp(std::lround(sum[size_t(k)]), 0L, 255L));
      }
    }
  }
  return target;
}

}  // namespace lensfall::host
