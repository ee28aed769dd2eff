#include "host/image_file.h"

#include <Imath/half.h>
#include <fmt/format.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>

#include "host/atomic_write.h"
#include "host/exr_file.h"
#include "host/host_error.h"
#include "host/image_plugin.h"
#include "host/path_format.h"

namespace lensfall::host {

namespace {

size_t channelOffset(const PartSpec &spec, int c) {
  size_t offset = 0;
  for (int k = 0; k < c; ++k) offset += bytesOf(spec.channelformat(k));
  return offset;
}

void checkRegularFile(const std::filesystem::path &path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (!std::filesystem::exists(status)) {
    throw HostError(fmt::format("{}: no such file", path));
  }
  if (std::filesystem::is_directory(status)) {
    throw HostError(fmt::format("{}: is a folder, not an image file", path));
  }
  if (!std::filesystem::is_regular_file(status)) {
    throw HostError(fmt::format(
        "{}: not a regular file (a pipe or device cannot be read as an image)",
        path));
  }
}

// Integer values stand for 0..1: read as value / max, written rounded to
// the nearest step and clamped, as image libraries convert them.
template <typename T>
float toFloat(const std::byte *at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  if constexpr (std::is_same_v<T, float>) {
    return value;
  } else if constexpr (std::is_same_v<T, Imath::half>) {
    return float(value);
  } else {
    return float(value) * (1.0f / float(std::numeric_limits<T>::max()));
  }
}

template <typename T>
void fromFloat(float value, std::byte *at) {
  T stored;
  if constexpr (std::is_same_v<T, float>) {
    stored = value;
  } else if constexpr (std::is_same_v<T, Imath::half>) {
    stored = Imath::half(value);
  } else {
    using F = std::conditional_t<sizeof(T) >= 4, double, float>;
    const F max = F(std::numeric_limits<T>::max());
    stored = T(std::clamp(F(value) * max + F(0.5), F(0), max));
  }
  std::memcpy(at, &stored, sizeof stored);
}

template <typename F>
void forType(PixelType type, F &&f) {
  switch (type) {
    case PixelType::UInt8:
      f(std::uint8_t{});
      break;
    case PixelType::UInt16:
      f(std::uint16_t{});
      break;
    case PixelType::UInt32:
      f(std::uint32_t{});
      break;
    case PixelType::Half:
      f(Imath::half{});
      break;
    case PixelType::Float:
      f(float{});
      break;
  }
}

}  // namespace

int ImagePart::channelIndex(const std::string &channelName) const {
  for (int c = 0; c < spec.nchannels; ++c) {
    if (spec.channelnames[size_t(c)] == channelName) return c;
  }
  return -1;
}

std::vector<float> ImagePart::channel(int c) const {
  const size_t count = size_t(spec.width) * size_t(spec.height);
  std::vector<float> values(count);
  const size_t stride = spec.pixelBytes();
  const std::byte *at = pixels.data() + channelOffset(spec, c);
  forType(spec.channelformat(c), [&](auto kind) {
    using T = decltype(kind);
    for (size_t i = 0; i < count; ++i) values[i] = toFloat<T>(at + i * stride);
  });
  return values;
}

void ImagePart::setChannel(int c, const std::vector<float> &values) {
  const size_t count = size_t(spec.width) * size_t(spec.height);
  const size_t stride = spec.pixelBytes();
  std::byte *at = pixels.data() + channelOffset(spec, c);
  forType(spec.channelformat(c), [&](auto kind) {
    using T = decltype(kind);
    for (size_t i = 0; i < count; ++i) fromFloat<T>(values[i], at + i * stride);
  });
}

bool isExrFile(const std::filesystem::path &path) {
  std::ifstream file(path, std::ios::binary);
  unsigned char magic[4] = {};
  file.read(reinterpret_cast<char *>(magic), sizeof magic);
  return file && magic[0] == 0x76 && magic[1] == 0x2f && magic[2] == 0x31 &&
         magic[3] == 0x01;
}

bool imageSize(const std::filesystem::path &path, int &width, int &height) {
  if (isExrFile(path)) return exrSize(path, width, height);
  try {
    return imagePlugin().size(path, width, height);
  } catch (const HostError &) {
    return false;
  }
}

void checkPartSize(const std::filesystem::path &path, const PartSpec &spec) {
  if (spec.width <= 0 || spec.height <= 0 || spec.nchannels <= 0) {
    throw HostError(fmt::format("{}: image has no pixels", path));
  }
  if ((long long)spec.width * spec.height > kMaxImagePixels) {
    throw HostError(fmt::format(
        "{}: the image is {} x {}; the largest frame read is {} pixels", path,
        spec.width, spec.height, kMaxImagePixels));
  }
}

ImageFile readImageFile(const std::filesystem::path &path) {
  checkRegularFile(path);
  if (isExrFile(path)) return readExrFile(path);
  ImageFile file;
  std::string error;
  if (!imagePlugin().read(path, file, error)) {
    throw HostError(fmt::format("{}: cannot read image: {}", path, error));
  }
  for (const ImagePart &part : file.parts) checkPartSize(path, part.spec);
  return file;
}

void writeImageParts(const std::vector<ImagePart> &parts,
                     const std::filesystem::path &path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  if (extension == ".exr") {
    writeFileAtomically(path, encodeExr(parts, path));
    return;
  }
  if (parts.size() != 1) {
    throw HostError(fmt::format("{}: this format holds one image, not {} parts",
                                path, parts.size()));
  }
  // Other formats hold one type for every channel: the first one's.
  const PartSpec &spec = parts.front().spec;
  std::vector<float> values(size_t(spec.width) * spec.height * spec.nchannels);
  for (int c = 0; c < spec.nchannels; ++c) {
    const std::vector<float> channel = parts.front().channel(c);
    for (size_t i = 0; i < channel.size(); ++i) {
      values[i * size_t(spec.nchannels) + size_t(c)] = channel[i];
    }
  }
  EncodeRequest request;
  request.width = spec.width;
  request.height = spec.height;
  request.channels = spec.nchannels;
  request.channelNames = spec.channelnames;
  request.type = spec.channelformat(0);
  request.floats = values.data();
  request.colorspace = spec.colorspace;
  writeEncoded(path, request);
}

}  // namespace lensfall::host
