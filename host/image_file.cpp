#include "host/image_file.h"

#include <OpenImageIO/filesystem.h>
#include <fmt/format.h>

#include <numeric>

#include "host/host_error.h"
#include "host/path_format.h"
#include "host/scene_file.h"

namespace lensfall::host {

namespace {

size_t channelOffset(const OIIO::ImageSpec &spec, int c) {
  size_t offset = 0;
  for (int k = 0; k < c; ++k) offset += spec.channelformat(k).size();
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

}  // namespace

std::string ImagePart::name() const {
  return spec.get_string_attribute("name");
}

int ImagePart::channelIndex(const std::string &channelName) const {
  return spec.channelindex(channelName);
}

std::vector<float> ImagePart::channel(int c) const {
  const size_t pixelCount = size_t(spec.width) * size_t(spec.height);
  std::vector<float> values(pixelCount);
  const auto stride = OIIO::stride_t(spec.pixel_bytes(true));
  OIIO::convert_image(
      1, spec.width, spec.height, 1, pixels.data() + channelOffset(spec, c),
      spec.channelformat(c), stride, stride * spec.width, OIIO::AutoStride,
      values.data(), OIIO::TypeFloat, sizeof(float),
      OIIO::stride_t(sizeof(float)) * spec.width, OIIO::AutoStride);
  return values;
}

void ImagePart::setChannel(int c, const std::vector<float> &values) {
  const auto stride = OIIO::stride_t(spec.pixel_bytes(true));
  OIIO::convert_image(
      1, spec.width, spec.height, 1, values.data(), OIIO::TypeFloat,
      sizeof(float), OIIO::stride_t(sizeof(float)) * spec.width,
      OIIO::AutoStride, pixels.data() + channelOffset(spec, c),
      spec.channelformat(c), stride, stride * spec.width, OIIO::AutoStride);
}

ImageFile readImageFile(const std::filesystem::path &path) {
  checkRegularFile(path);
  auto input = OIIO::ImageInput::open(path.string());
  if (!input) {
    throw HostError(
        fmt::format("{}: cannot read image: {}", path, OIIO::geterror()));
  }
  ImageFile file;
  file.path = path;
  file.format = input->format_name();
  for (int s = 0; input->seek_subimage(s, 0); ++s) {
    ImagePart part;
    part.spec = input->spec();
    const OIIO::ImageSpec &spec = part.spec;
    if (spec.deep) {
      throw HostError(fmt::format(
          "{}: part {} holds deep data, which cannot be filtered", path, s));
    }
    if (spec.width <= 0 || spec.height <= 0 || spec.nchannels <= 0) {
      throw HostError(fmt::format("{}: image has no pixels", path));
    }
    if (spec.depth > 1 ||
        (long long)spec.width * spec.height > kMaxImagePixels) {
      throw HostError(fmt::format(
          "{}: the image is {} x {}; the largest frame read is {} pixels", path,
          spec.width, spec.height, kMaxImagePixels));
    }
    part.pixels.resize(spec.image_bytes(true));
    if (!input->read_image(s, 0, 0, spec.nchannels, OIIO::TypeUnknown,
                           part.pixels.data())) {
      throw HostError(
          fmt::format("{}: cannot read image: {}", path, input->geterror()));
    }
    file.parts.push_back(std::move(part));
  }
  if (file.parts.empty()) {
    throw HostError(
        fmt::format("{}: cannot read image: {}", path, input->geterror()));
  }
  return file;
}

namespace {

// Writes every part through `output`, opened on `name`.
bool writeParts(OIIO::ImageOutput &output, const std::string &name,
                const std::vector<ImagePart> &parts) {
  std::vector<OIIO::ImageSpec> specs;
  for (const ImagePart &part : parts) specs.push_back(part.spec);
  for (size_t k = 0; k < parts.size(); ++k) {
    const bool opened =
        k == 0 ? output.open(name, int(specs.size()), specs.data())
               : output.open(name, specs[k], OIIO::ImageOutput::AppendSubimage);
    if (!opened ||
        !output.write_image(OIIO::TypeUnknown, parts[k].pixels.data())) {
      return false;
    }
  }
  return output.close();
}

[[noreturn]] void failEncoding(const std::filesystem::path &path,
                               OIIO::ImageOutput &output) {
  const std::string why = output.geterror();
  throw HostError(fmt::format("{}: cannot encode the image: {}", path,
                              why.empty() ? "the format cannot hold it" : why));
}

}  // namespace

void writeImageParts(const std::vector<ImagePart> &parts,
                     const std::filesystem::path &path) {
  auto output = OIIO::ImageOutput::create(path.string());
  if (!output) {
    throw HostError(fmt::format("{}: cannot write this kind of image: {}", path,
                                OIIO::geterror()));
  }
  if (parts.size() > 1 && !output->supports("multiimage")) {
    throw HostError(fmt::format("{}: this format holds one image, not {} parts",
                                path, parts.size()));
  }
  if (parts.size() == 1 && output->supports("ioproxy")) {
    // Image writers do not all notice a short write (a full disk): encode
    // into memory, then write the bytes with checked writes, a sync and a
    // rename.
    std::vector<unsigned char> encoded;
    OIIO::Filesystem::IOVecOutput memory(encoded);
    if (!output->set_ioproxy(&memory) ||
        !writeParts(*output, path.string(), parts) || encoded.empty()) {
      failEncoding(path, *output);
    }
    writeFileAtomically(path, std::string(encoded.begin(), encoded.end()));
    return;
  }
  // Files of several parts are written by the EXR library's own file
  // stream, which reports a short write as an error.
  writeThroughTemporary(path, [&](const std::filesystem::path &temporary) {
    if (!writeParts(*output, temporary.string(), parts)) {
      failEncoding(path, *output);
    }
  });
}

}  // namespace lensfall::host
