// The image plug-in (host/image_plugin.h) built on OpenImageIO: formats
// other than EXR, and colour conversion through its OpenColorIO
// configuration. A shared library of its own, so that only the runs that
// need it pay for loading OpenImageIO.
#include <OpenImageIO/color.h>
#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <OpenImageIO/imageio.h>

#include "host/image_plugin.h"

namespace lensfall::host {

namespace {

// Reading a configuration is costly; one serves the whole process.
const OIIO::ColorConfig &colorConfig() {
  static const OIIO::ColorConfig config;
  return config;
}

// The types kept as they are; any other is read as float.
bool keptType(OIIO::TypeDesc type, PixelType &kept) {
  switch (type.basetype) {
    case OIIO::TypeDesc::UINT8:
      kept = PixelType::UInt8;
      return true;
    case OIIO::TypeDesc::UINT16:
      kept = PixelType::UInt16;
      return true;
    case OIIO::TypeDesc::UINT32:
      kept = PixelType::UInt32;
      return true;
    case OIIO::TypeDesc::HALF:
      kept = PixelType::Half;
      return true;
    case OIIO::TypeDesc::FLOAT:
      kept = PixelType::Float;
      return true;
    default:
      kept = PixelType::Float;
      return false;
  }
}

OIIO::TypeDesc oiioTypeOf(PixelType type) {
  switch (type) {
    case PixelType::UInt8:
      return OIIO::TypeDesc::UINT8;
    case PixelType::UInt16:
      return OIIO::TypeDesc::UINT16;
    case PixelType::UInt32:
      return OIIO::TypeDesc::UINT32;
    case PixelType::Half:
      return OIIO::TypeDesc::HALF;
    case PixelType::Float:
      return OIIO::TypeDesc::FLOAT;
  }
  return OIIO::TypeDesc::FLOAT;
}

bool readFile(const std::filesystem::path &path, ImageFile &file,
              std::string &error) noexcept try {
  auto input = OIIO::ImageInput::open(path.string());
  if (!input) {
    error = OIIO::geterror();
    return false;
  }
  file.path = path;
  file.format = input->format_name();
  for (int s = 0; input->seek_subimage(s, 0); ++s) {
    const OIIO::ImageSpec &in = input->spec();
    ImagePart part;
    PartSpec &spec = part.spec;
    if (in.deep) {
      error = "part " + std::to_string(s) +
              " holds deep data, which cannot be filtered";
      return false;
    }
    spec.x = in.x;
    spec.y = in.y;
    spec.width = in.width;
    spec.height = in.height;
    spec.full_x = in.full_x;
    spec.full_y = in.full_y;
    spec.full_width = in.full_width;
    spec.full_height = in.full_height;
    spec.nchannels = in.nchannels;
    spec.channelnames = in.channelnames;
    PixelType type;
    const bool kept = keptType(in.format, type);
    spec.channelformats.assign(size_t(std::max(0, in.nchannels)), type);
    spec.name = in.get_string_attribute("name");
    spec.colorspace = in.get_string_attribute("oiio:ColorSpace");
    spec.dateTime = in.get_string_attribute("DateTime");
    if (in.depth > 1 || in.width <= 0 || in.height <= 0 || in.nchannels <= 0 ||
        (long long)in.width * in.height > kMaxImagePixels) {
      // The host names what is wrong from the sizes.
      file.parts.push_back(std::move(part));
      return true;
    }
    part.pixels.resize(spec.imageBytes());
    if (!input->read_image(s, 0, 0, in.nchannels,
                           kept ? in.format : OIIO::TypeDesc::FLOAT,
                           part.pixels.data())) {
      error = input->geterror();
      return false;
    }
    file.parts.push_back(std::move(part));
  }
  if (file.parts.empty()) {
    error = input->geterror();
    return false;
  }
  return true;
} catch (const std::exception &failure) {
  error = failure.what();
  return false;
}

bool sizeOf(const std::filesystem::path &path, int &width, int &height) noexcept
    try {
  auto input = OIIO::ImageInput::open(path.string());
  if (!input) return false;
  width = input->spec().width;
  height = input->spec().height;
  return true;
} catch (...) {
  return false;
}

bool encode(const EncodeRequest &request, std::string &encoded,
            std::string &error) noexcept try {
  auto output = OIIO::ImageOutput::create(request.fileName);
  if (!output) {
    error = "cannot write this kind of image: " + OIIO::geterror();
    return false;
  }
  OIIO::ImageSpec spec(request.width, request.height, request.channels,
                       oiioTypeOf(request.type));
  if (!request.channelNames.empty()) spec.channelnames = request.channelNames;
  if (request.channels == 4) spec.alpha_channel = 3;
  if (!request.colorspace.empty()) {
    spec.attribute("oiio:ColorSpace", request.colorspace);
  }
  if (request.pngCompression >= 0) {
    spec.attribute("png:compressionLevel", request.pngCompression);
  }
  // Image writers do not all notice a short write (a full disk): the host
  // writes the bytes encoded here with checked writes.
  std::vector<unsigned char> bytes;
  OIIO::Filesystem::IOVecOutput memory(bytes);
  const bool written =
      output->supports("ioproxy") && output->set_ioproxy(&memory) &&
      output->open(request.fileName, spec) &&
      (request.floats != nullptr
           ? output->write_image(OIIO::TypeDesc::FLOAT, request.floats)
           : output->write_image(OIIO::TypeDesc::UINT8, request.bytes)) &&
      output->close();
  if (!written) {
    error = output->geterror();
    return false;
  }
  encoded.assign(bytes.begin(), bytes.end());
  return true;
} catch (const std::exception &failure) {
  error = failure.what();
  return false;
}

std::string linearColorspace() noexcept {
  const char *role = colorConfig().getColorSpaceNameByRole("scene_linear");
  return role != nullptr && *role != '\0' ? role : "linear";
}

bool knownColorspace(const std::string &name) noexcept {
  return !name.empty() && colorConfig().createColorProcessor(
                              name, linearColorspace()) != nullptr;
}

bool linearSpace(const std::string &name) noexcept {
  return colorConfig().isColorSpaceLinear(name);
}

std::vector<std::string> colorspaceNames() noexcept {
  return colorConfig().getColorSpaceNames();
}

bool convertColour(float *rgba, int width, int height, const std::string &from,
                   const std::string &to, std::string &error) noexcept try {
  OIIO::ImageBuf image(
      OIIO::ImageSpec(width, height, 4, OIIO::TypeDesc::FLOAT));
  image.set_pixels(OIIO::ROI::All(), OIIO::TypeDesc::FLOAT, rgba);
  image.specmod().alpha_channel = 3;
  if (!OIIO::ImageBufAlgo::colorconvert(image, image, from, to, true)) {
    error = image.geterror();
    return false;
  }
  image.get_pixels(OIIO::ROI::All(), OIIO::TypeDesc::FLOAT, rgba);
  return true;
} catch (const std::exception &failure) {
  error = failure.what();
  return false;
}

const ImagePlugin kPlugin = {
    kImagePluginVersion, readFile,        sizeOf,      encode,
    linearColorspace,    knownColorspace, linearSpace, colorspaceNames,
    convertColour};

}  // namespace

}  // namespace lensfall::host

extern "C" __attribute__((visibility("default")))
const lensfall::host::ImagePlugin *
lensfall_image_plugin() {
  return &lensfall::host::kPlugin;
}
