#include "host/frame_io.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imageio.h>
#include <fmt/format.h>
#include <sys/stat.h>

#include <ctime>

#include "host/colour.h"
#include "host/host_error.h"
#include "host/output_format.h"
#include "host/path_format.h"
#include "host/scene_file.h"

namespace lensfall::host {

namespace {

const ImagePart &partOf(const ImageFile &file, ChannelRef ref) {
  return file.parts[size_t(ref.part)];
}

std::vector<float> channelOf(const ImageFile &file, ChannelRef ref) {
  return partOf(file, ref).channel(ref.channel);
}

void requireSize(const ImageFile &file, ChannelRef ref, const Frame &frame,
                 const char *what) {
  const OIIO::ImageSpec &spec = partOf(file, ref).spec;
  if (spec.width != frame.width || spec.height != frame.height) {
    throw HostError(fmt::format("{}: the {} is {} x {}, the colour {} x {}",
                                file.path, what, spec.width, spec.height,
                                frame.width, frame.height));
  }
}

int bitsOf(OIIO::TypeDesc type) {
  if (type.basetype == OIIO::TypeDesc::UINT8 ||
      type.basetype == OIIO::TypeDesc::INT8) {
    return 8;
  }
  if (type.basetype == OIIO::TypeDesc::UINT16 ||
      type.basetype == OIIO::TypeDesc::INT16) {
    return 16;
  }
  return 32;
}

// Colour and alpha planes interleaved into an image of `channels` channels
// of `type`, after converting the colour to `colorspace`.
OIIO::ImageBuf displayImage(const Frame &frame, int channels,
                            OIIO::TypeDesc type,
                            const std::string &colorspace) {
  std::vector<float> red = frame.outRed, green = frame.outGreen,
                     blue = frame.outBlue;
  if (!colorspace.empty()) {
    convertColour(red, green, blue, frame.outAlpha, frame.width, frame.height,
                  linearColorspace(), colorspace);
  }
  OIIO::ImageSpec spec(frame.width, frame.height, channels, type);
  if (channels == 4) spec.alpha_channel = 3;
  if (!colorspace.empty()) spec.attribute("oiio:ColorSpace", colorspace);
  OIIO::ImageBuf image(spec);
  const std::vector<float> *planes[4] = {&red, &green, &blue, &frame.outAlpha};
  std::vector<float> values(frame.pixels() * size_t(channels));
  for (size_t i = 0; i < frame.pixels(); ++i) {
    for (int k = 0; k < channels; ++k) {
      values[i * size_t(channels) + size_t(k)] = (*planes[k])[i];
    }
  }
  image.set_pixels(OIIO::ROI::All(), OIIO::TypeDesc::FLOAT, values.data());
  return image;
}

// Image writers stamp a file with the time it was written unless it has a
// DateTime of its own. The input's own time keeps the output a function of
// the input alone, so two renders of one frame give the same bytes.
std::string captureTime(const FrameFile &input) {
  const std::string own = partOf(input.image, input.channels.red)
                              .spec.get_string_attribute("DateTime");
  if (!own.empty()) return own;
  struct stat info {};
  if (stat(input.image.path.c_str(), &info) != 0) return "";
  std::tm local{};
  localtime_r(&info.st_mtime, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y:%m:%d %H:%M:%S", &local);
  return text;
}

void stampTime(OIIO::ImageSpec &spec, const std::string &time) {
  if (!time.empty() && spec.get_string_attribute("DateTime").empty()) {
    spec.attribute("DateTime", time);
  }
}

void writeEveryPart(const FrameFile &input, const Frame &filtered,
                    const std::filesystem::path &path,
                    const OutputOptions &options) {
  std::vector<ImagePart> parts = input.image.parts;
  const FrameChannels &channels = input.channels;
  ImagePart &beauty = parts[size_t(channels.red.part)];
  beauty.setChannel(channels.red.channel, filtered.outRed);
  if (!channels.grey) {
    parts[size_t(channels.green.part)].setChannel(channels.green.channel,
                                                  filtered.outGreen);
    parts[size_t(channels.blue.part)].setChannel(channels.blue.channel,
                                                 filtered.outBlue);
  }
  if (channels.alpha.found()) {
    parts[size_t(channels.alpha.part)].setChannel(channels.alpha.channel,
                                                  filtered.outAlpha);
  }
  for (const OIIO::ParamValue &attribute : options.attributes) {
    beauty.spec.extra_attribs.add_or_replace(attribute);
  }
  const std::string time = captureTime(input);
  for (ImagePart &part : parts) stampTime(part.spec, time);
  writeImageParts(parts, path);
}

}  // namespace

FrameFile readFrameFile(const FrameSource &source) {
  FrameFile result;
  result.image = readImageFile(source.image);
  const ImageFile &image = result.image;
  ChannelRequest request;
  request.layer = source.layer;
  request.names = source.channels;
  request.namesFrom = source.channelsFrom;
  if (source.depthImage) request.names.depth.clear();
  result.channels = findFrameChannels(image, request);
  const FrameChannels &channels = result.channels;

  Frame &frame = result.frame;
  const OIIO::ImageSpec &spec = partOf(image, channels.red).spec;
  frame.width = spec.width;
  frame.height = spec.height;
  requireSize(image, channels.green, frame, "green channel");
  requireSize(image, channels.blue, frame, "blue channel");
  frame.red = channelOf(image, channels.red);
  frame.green = channels.grey ? frame.red : channelOf(image, channels.green);
  frame.blue = channels.grey ? frame.red : channelOf(image, channels.blue);
  if (channels.alpha.found()) {
    requireSize(image, channels.alpha, frame, "alpha channel");
    frame.alpha = channelOf(image, channels.alpha);
  } else {
    frame.alpha.assign(frame.pixels(), 1.0f);
  }
  result.bits = bitsOf(spec.channelformat(channels.red.channel));
  result.colorspace =
      source.colorspace.empty() ? colorspaceOf(spec) : source.colorspace;
  if (!isLinearColorspace(result.colorspace)) {
    convertColour(frame.red, frame.green, frame.blue, frame.alpha, frame.width,
                  frame.height, result.colorspace, linearColorspace());
  }

  if (source.depthImage) {
    const ImageFile depth = readImageFile(*source.depthImage);
    const ChannelRef z = findDepthChannel(depth, source.channels.depth);
    const OIIO::ImageSpec &depthSpec = partOf(depth, z).spec;
    if (depthSpec.width != frame.width || depthSpec.height != frame.height) {
      throw HostError(fmt::format("{}: depth is {} x {}, the frame {} x {}",
                                  *source.depthImage, depthSpec.width,
                                  depthSpec.height, frame.width, frame.height));
    }
    frame.depth = channelOf(depth, z);
  } else if (channels.depth.found()) {
    requireSize(image, channels.depth, frame, "depth channel");
    frame.depth = channelOf(image, channels.depth);
  }
  depthToDistance(frame, source.depth, source.horizontalFov,
                  source.verticalFov);
  frame.resetOutput();
  return result;
}

Frame readFrame(const FrameSource &source) {
  return std::move(readFrameFile(source).frame);
}

void writeFilteredFrame(const FrameFile &input, const Frame &filtered,
                        const std::filesystem::path &path,
                        const OutputOptions &options) {
  const OutputFormat &format = requireOutputFormat(path);
  if (format.everyChannel && input.image.format == "openexr") {
    writeEveryPart(input, filtered, path, options);
    return;
  }
  if (format.everyChannel) {
    std::vector<const std::vector<float> *> planes = {
        &filtered.outRed, &filtered.outGreen, &filtered.outBlue,
        &filtered.outAlpha};
    std::vector<std::string> names = {"R", "G", "B", "A"};
    if (!filtered.depth.empty()) {
      planes.push_back(&filtered.depth);
      names.push_back("Z");
    }
    OIIO::ImageSpec spec(filtered.width, filtered.height, int(planes.size()),
                         OIIO::TypeDesc::FLOAT);
    spec.channelnames = names;
    spec.alpha_channel = 3;
    for (const OIIO::ParamValue &attribute : options.attributes) {
      spec.extra_attribs.add_or_replace(attribute);
    }
    stampTime(spec, captureTime(input));
    OIIO::ImageBuf image(spec);
    std::vector<float> values(filtered.pixels() * planes.size());
    for (size_t i = 0; i < filtered.pixels(); ++i) {
      for (size_t k = 0; k < planes.size(); ++k) {
        values[i * planes.size() + k] = (*planes[k])[i];
      }
    }
    image.set_pixels(OIIO::ROI::All(), OIIO::TypeDesc::FLOAT, values.data());
    writeImageBuffer(image, path);
    return;
  }
  // Alpha goes out only where the input had it and the format holds it.
  const int channels =
      std::min(format.maxChannels, input.channels.alpha.found() ? 4 : 3);
  if (format.linear) {
    writeImageBuffer(
        displayImage(filtered, channels, OIIO::TypeDesc::FLOAT, ""), path);
    return;
  }
  std::string colorspace = options.colorspace;
  if (colorspace.empty()) {
    colorspace =
        isLinearColorspace(input.colorspace) ? "sRGB" : input.colorspace;
  }
  const OIIO::TypeDesc type = format.sixteenBit && input.bits == 16
                                  ? OIIO::TypeDesc::UINT16
                                  : OIIO::TypeDesc::UINT8;
  writeImageBuffer(displayImage(filtered, channels, type, colorspace), path);
}

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
    const std::string why = output->geterror();
    throw HostError(
        fmt::format("{}: cannot encode the image: {}", path,
                    why.empty() ? "the format cannot hold it" : why));
  }
  writeFileAtomically(path, std::string(encoded.begin(), encoded.end()));
}

void writeImageFile(const std::filesystem::path &path, int width, int height,
                    const std::vector<const std::vector<float> *> &planes,
                    const std::vector<std::string> &names) {
  const OutputFormat &format = requireOutputFormat(path);
  size_t channels = planes.size();
  if (!format.everyChannel) {
    channels = std::min<size_t>(channels, size_t(format.maxChannels));
  }
  std::vector<std::vector<float>> encoded;
  for (size_t k = 0; k < channels; ++k) encoded.push_back(*planes[k]);
  if (!format.linear && channels >= 3) {
    const std::vector<float> opaque(size_t(width) * size_t(height), 1.0f);
    convertColour(encoded[0], encoded[1], encoded[2],
                  planes.size() > 3 ? *planes[3] : opaque, width, height,
                  linearColorspace(), "sRGB");
  }
  OIIO::ImageSpec spec(
      width, height, int(channels),
      format.linear ? OIIO::TypeDesc::FLOAT : OIIO::TypeDesc::UINT8);
  spec.channelnames.assign(names.begin(), names.begin() + long(channels));
  if (channels == 4) spec.alpha_channel = 3;
  OIIO::ImageBuf image(spec);
  const size_t pixels = size_t(width) * size_t(height);
  std::vector<float> values(pixels * channels);
  for (size_t i = 0; i < pixels; ++i) {
    for (size_t k = 0; k < channels; ++k) {
      values[i * channels + k] = encoded[k][i];
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
