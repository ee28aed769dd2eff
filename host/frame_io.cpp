#include "host/frame_io.h"

#include <fmt/format.h>
#include <sys/stat.h>

#include <cstring>
#include <ctime>

#include "host/colour.h"
#include "host/host_error.h"
#include "host/image_plugin.h"
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
  const PartSpec &spec = partOf(file, ref).spec;
  if (spec.width != frame.width || spec.height != frame.height) {
    throw HostError(fmt::format("{}: the {} is {} x {}, the colour {} x {}",
                                file.path, what, spec.width, spec.height,
                                frame.width, frame.height));
  }
}

int bitsOf(PixelType type) {
  if (type == PixelType::UInt8) return 8;
  if (type == PixelType::UInt16) return 16;
  return 32;
}

// Planes interleaved, pixel by pixel.
std::vector<float> interleave(
    const std::vector<const std::vector<float> *> &planes, size_t pixels) {
  std::vector<float> values(pixels * planes.size());
  for (size_t i = 0; i < pixels; ++i) {
    for (size_t k = 0; k < planes.size(); ++k) {
      values[i * planes.size() + k] = (*planes[k])[i];
    }
  }
  return values;
}

// Planes of floats as one EXR part of 32-bit float channels.
ImagePart floatPart(int width, int height,
                    const std::vector<const std::vector<float> *> &planes,
                    const std::vector<std::string> &names) {
  ImagePart part;
  PartSpec &spec = part.spec;
  spec.width = spec.full_width = width;
  spec.height = spec.full_height = height;
  spec.nchannels = int(planes.size());
  spec.channelnames = names;
  spec.channelformats.assign(planes.size(), PixelType::Float);
  const std::vector<float> values =
      interleave(planes, size_t(width) * size_t(height));
  part.pixels.resize(values.size() * sizeof(float));
  std::memcpy(part.pixels.data(), values.data(), part.pixels.size());
  return part;
}

// Colour and alpha planes written as an image of `channels` channels of
// `type`, after converting the colour to `colorspace`.
void writeDisplayImage(const Frame &frame, int channels, PixelType type,
                       const std::string &colorspace,
                       const std::filesystem::path &path) {
  const auto output = frame.outputPlanes();
  std::vector<float> red = *output[0], green = *output[1], blue = *output[2];
  if (!colorspace.empty()) {
    convertColour(red, green, blue, *output[3], frame.width, frame.height, "",
                  colorspace);
  }
  const std::vector<const std::vector<float> *> planes = {&red, &green, &blue,
                                                          output[3]};
  const std::vector<float> values =
      interleave({planes.begin(), planes.begin() + channels}, frame.pixels());
  EncodeRequest request;
  request.width = frame.width;
  request.height = frame.height;
  request.channels = channels;
  request.type = type;
  request.floats = values.data();
  request.colorspace = colorspace;
  writeEncoded(path, request);
}

// The output's DateTime is the input's own (or its modification time),
// never the time of writing: the output stays a function of the input
// alone, so two renders of one frame give the same bytes.
std::string captureTime(const FrameFile &input) {
  const std::string own = partOf(input.image, input.channels.red).spec.dateTime;
  if (!own.empty()) return own;
  struct stat info {};
  if (stat(input.image.path.c_str(), &info) != 0) return "";
  std::tm local{};
  localtime_r(&info.st_mtime, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y:%m:%d %H:%M:%S", &local);
  return text;
}

void stampTime(PartSpec &spec, const std::string &time) {
  if (!time.empty() && spec.dateTime.empty()) spec.dateTime = time;
}

void addAttributes(PartSpec &spec,
                   const std::vector<ImageAttribute> &attributes) {
  for (const ImageAttribute &attribute : attributes) {
    std::erase_if(spec.attributes, [&](const ImageAttribute &old) {
      return old.name == attribute.name;
    });
    spec.attributes.push_back(attribute);
  }
}

void writeEveryPart(const FrameFile &input, const Frame &filtered,
                    const std::filesystem::path &path,
                    const OutputOptions &options) {
  std::vector<ImagePart> parts = input.image.parts;
  const FrameChannels &channels = input.channels;
  const auto output = filtered.outputPlanes();
  ImagePart &beauty = parts[size_t(channels.red.part)];
  beauty.setChannel(channels.red.channel, *output[0]);
  if (!channels.grey) {
    parts[size_t(channels.green.part)].setChannel(channels.green.channel,
                                                  *output[1]);
    parts[size_t(channels.blue.part)].setChannel(channels.blue.channel,
                                                 *output[2]);
  }
  if (channels.alpha.found()) {
    parts[size_t(channels.alpha.part)].setChannel(channels.alpha.channel,
                                                  *output[3]);
  }
  addAttributes(beauty.spec, options.attributes);
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
  const PartSpec &spec = partOf(image, channels.red).spec;
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
                  frame.height, result.colorspace, "");
  }

  if (source.depthImage) {
    const ImageFile depth = readImageFile(*source.depthImage);
    const ChannelRef z = findDepthChannel(depth, source.channels.depth);
    const PartSpec &depthSpec = partOf(depth, z).spec;
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
    const auto output = filtered.outputPlanes();
    std::vector<const std::vector<float> *> planes(output.begin(),
                                                   output.end());
    std::vector<std::string> names = {"R", "G", "B", "A"};
    if (!filtered.depth.empty()) {
      planes.push_back(&filtered.depth);
      names.push_back("Z");
    }
    ImagePart part = floatPart(filtered.width, filtered.height, planes, names);
    addAttributes(part.spec, options.attributes);
    stampTime(part.spec, captureTime(input));
    writeImageParts({part}, path);
    return;
  }
  // Alpha goes out only where the input had it and the format holds it.
  const int channels =
      std::min(format.maxChannels, input.channels.alpha.found() ? 4 : 3);
  if (format.linear) {
    writeDisplayImage(filtered, channels, PixelType::Float, "", path);
    return;
  }
  std::string colorspace = options.colorspace;
  if (colorspace.empty()) {
    colorspace =
        isLinearColorspace(input.colorspace) ? "sRGB" : input.colorspace;
  }
  const PixelType type = format.sixteenBit && input.bits == 16
                             ? PixelType::UInt16
                             : PixelType::UInt8;
  writeDisplayImage(filtered, channels, type, colorspace, path);
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
                  planes.size() > 3 ? *planes[3] : opaque, width, height, "",
                  "sRGB");
  }
  const std::vector<std::string> kept(names.begin(),
                                      names.begin() + long(channels));
  std::vector<const std::vector<float> *> keptPlanes;
  for (const std::vector<float> &plane : encoded) keptPlanes.push_back(&plane);
  if (format.everyChannel) {
    writeImageParts({floatPart(width, height, keptPlanes, kept)}, path);
    return;
  }
  const std::vector<float> values =
      interleave(keptPlanes, size_t(width) * size_t(height));
  EncodeRequest request;
  request.width = width;
  request.height = height;
  request.channels = int(channels);
  request.channelNames = kept;
  request.type = format.linear ? PixelType::Float : PixelType::UInt8;
  request.floats = values.data();
  writeEncoded(path, request);
}

void writeRgb8File(const std::filesystem::path &path, int width, int height,
                   const std::vector<std::uint8_t> &rgb) {
  const OutputFormat *format = outputFormatFor(path);
  if (format != nullptr && format->everyChannel) {
    ImagePart part;
    PartSpec &spec = part.spec;
    spec.width = spec.full_width = width;
    spec.height = spec.full_height = height;
    spec.nchannels = 3;
    spec.channelnames = {"R", "G", "B"};
    spec.channelformats.assign(3, PixelType::Half);
    part.pixels.resize(spec.imageBytes());
    for (int c = 0; c < 3; ++c) {
      std::vector<float> values(size_t(width) * size_t(height));
      for (size_t i = 0; i < values.size(); ++i) {
        values[i] = float(rgb[i * 3 + size_t(c)]) * (1.0f / 255.0f);
      }
      part.setChannel(c, values);
    }
    writeImageParts({part}, path);
    return;
  }
  EncodeRequest request;
  request.width = width;
  request.height = height;
  request.channels = 3;
  request.bytes = rgb.data();
  writeEncoded(path, request);
}

void writeFrameOutput(const Frame &frame, const std::filesystem::path &path) {
  const auto output = frame.outputPlanes();
  std::vector<const std::vector<float> *> planes(output.begin(), output.end());
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
  const auto after = frame.outputPlanes();
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
