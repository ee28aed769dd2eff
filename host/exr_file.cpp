#include "host/exr_file.h"

#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfDoubleAttribute.h>
#include <OpenEXR/ImfFloatAttribute.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfIO.h>
#include <OpenEXR/ImfInputPart.h>
#include <OpenEXR/ImfIntAttribute.h>
#include <OpenEXR/ImfMultiPartInputFile.h>
#include <OpenEXR/ImfMultiPartOutputFile.h>
#include <OpenEXR/ImfOutputFile.h>
#include <OpenEXR/ImfOutputPart.h>
#include <OpenEXR/ImfPartType.h>
#include <OpenEXR/ImfStandardAttributes.h>
#include <OpenEXR/ImfStringAttribute.h>
#include <OpenEXR/ImfThreading.h>
#include <OpenEXR/ImfTiledOutputFile.h>
#include <OpenEXR/ImfTiledOutputPart.h>
#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <thread>

#include "host/exr_memory_stream.h"
#include "host/exr_scanlines.h"
#include "host/host_error.h"
#include "host/path_format.h"

namespace lensfall::host {

namespace {

// The pool compresses and decompresses blocks of rows in parallel; the
// module itself never sees it.
int exrThreads() {
  static std::once_flag started;
  std::call_once(started, [] {
    Imf::setGlobalThreadCount(
        int(std::max(1u, std::thread::hardware_concurrency())));
  });
  return Imf::globalThreadCount();
}

PixelType pixelTypeOf(Imf::PixelType type) {
  switch (type) {
    case Imf::UINT:
      return PixelType::UInt32;
    case Imf::HALF:
      return PixelType::Half;
    default:
      return PixelType::Float;
  }
}

Imf::PixelType exrTypeOf(PixelType type) {
  switch (type) {
    case PixelType::UInt32:
      return Imf::UINT;
    case PixelType::Half:
      return Imf::HALF;
    case PixelType::Float:
      return Imf::FLOAT;
    default:
      break;
  }
  throw HostError("EXR channels hold half, float or 32-bit unsigned values");
}

// Channels in the order image libraries present them: by layer, and within
// a layer colour before alpha before depth before the rest, so that "R, G,
// B, A" reads in that order although the file stores names sorted.
int channelRank(const std::string &suffix) {
  static constexpr std::array kOrder = {
      "R",    "Red",  "G",  "Green", "B",     "Blue", "Y",
      "real", "imag", "A",  "Alpha", "AR",    "RA",   "AG",
      "GA",   "AB",   "BA", "Z",     "Depth", "Zback"};
  for (size_t k = 0; k < kOrder.size(); ++k) {
    if (suffix == kOrder[k]) return int(k);
  }
  return int(kOrder.size());
}

std::vector<std::string> orderedChannels(const Imf::ChannelList &channels) {
  struct Named {
    std::string name, layer, suffix;
  };
  std::vector<Named> names;
  for (auto it = channels.begin(); it != channels.end(); ++it) {
    const std::string name = it.name();
    const size_t dot = name.rfind('.');
    names.push_back({name, dot == std::string::npos ? "" : name.substr(0, dot),
                     dot == std::string::npos ? name : name.substr(dot + 1)});
  }
  std::stable_sort(names.begin(), names.end(),
                   [](const Named &a, const Named &b) {
                     if (a.layer != b.layer) return a.layer < b.layer;
                     return channelRank(a.suffix) < channelRank(b.suffix);
                   });
  std::vector<std::string> ordered;
  for (const Named &named : names) ordered.push_back(named.name);
  return ordered;
}

PartSpec specOf(const std::filesystem::path &path, const Imf::Header &header) {
  const Imath::Box2i data = header.dataWindow();
  const Imath::Box2i display = header.displayWindow();
  PartSpec spec;
  spec.x = data.min.x;
  spec.y = data.min.y;
  spec.width = data.max.x - data.min.x + 1;
  spec.height = data.max.y - data.min.y + 1;
  spec.full_x = display.min.x;
  spec.full_y = display.min.y;
  spec.full_width = display.max.x - display.min.x + 1;
  spec.full_height = display.max.y - display.min.y + 1;
  for (const std::string &name : orderedChannels(header.channels())) {
    const Imf::Channel &channel = *header.channels().findChannel(name);
    if (channel.xSampling != 1 || channel.ySampling != 1) {
      throw HostError(
          fmt::format("{}: channel {} is sub-sampled, which cannot be filtered",
                      path, name));
    }
    spec.channelnames.push_back(name);
    spec.channelformats.push_back(pixelTypeOf(channel.type));
  }
  spec.nchannels = int(spec.channelnames.size());
  if (header.hasName()) spec.name = header.name();
  if (Imf::hasCapDate(header)) spec.dateTime = Imf::capDate(header);
  return spec;
}

// Slices of a part's interleaved pixels, one per channel.
Imf::FrameBuffer frameBufferOf(const PartSpec &spec, const Imath::Box2i &data,
                               const std::byte *pixels) {
  Imf::FrameBuffer buffer;
  const size_t stride = spec.pixelBytes();
  size_t offset = 0;
  for (int c = 0; c < spec.nchannels; ++c) {
    buffer.insert(
        spec.channelnames[size_t(c)],
        Imf::Slice::Make(exrTypeOf(spec.channelformat(c)), pixels + offset,
                         data, stride, stride * size_t(spec.width)));
    offset += bytesOf(spec.channelformat(c));
  }
  return buffer;
}

void insertAttribute(Imf::Header &header, const ImageAttribute &attribute) {
  std::visit(
      [&](const auto &value) {
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, std::string>) {
          header.insert(attribute.name, Imf::StringAttribute(value));
        } else if constexpr (std::is_same_v<T, int>) {
          header.insert(attribute.name, Imf::IntAttribute(value));
        } else if constexpr (std::is_same_v<T, float>) {
          header.insert(attribute.name, Imf::FloatAttribute(value));
        } else {
          header.insert(attribute.name, Imf::DoubleAttribute(value));
        }
      },
      attribute.value);
}

Imf::Header headerFor(const PartSpec &spec, bool onePart) {
  if (spec.original) {
    const auto &original =
        *static_cast<const Imf::Header *>(spec.original.get());
    // A file of one part carries no part type or block count; the library
    // adds them to the headers it reads. They are left out by copying the
    // rest (Header::erase of this OpenEXR release does not free the value).
    Imf::Header header;
    for (auto it = original.begin(); it != original.end(); ++it) {
      const std::string name = it.name();
      if (onePart && (name == "type" || name == "chunkCount")) continue;
      header.insert(name, it.attribute());
    }
    // Only the full-resolution level is read, so only it is written.
    if (header.hasTileDescription()) {
      header.tileDescription().mode = Imf::ONE_LEVEL;
    }
    return header;
  }
  const Imath::Box2i data({spec.x, spec.y},
                          {spec.x + spec.width - 1, spec.y + spec.height - 1});
  const int fullWidth = spec.full_width > 0 ? spec.full_width : spec.width;
  const int fullHeight = spec.full_height > 0 ? spec.full_height : spec.height;
  const Imath::Box2i display(
      {spec.full_x, spec.full_y},
      {spec.full_x + fullWidth - 1, spec.full_y + fullHeight - 1});
  Imf::Header header(display, data);
  header.compression() = Imf::ZIP_COMPRESSION;
  for (int c = 0; c < spec.nchannels; ++c) {
    header.channels().insert(spec.channelnames[size_t(c)],
                             Imf::Channel(exrTypeOf(spec.channelformat(c))));
  }
  if (!spec.name.empty()) header.setName(spec.name);
  return header;
}

// A file of one part, written as one: its header carries no part type.
void writeOnePart(Imf::OStream &stream, const Imf::Header &header,
                  const ImagePart &part) {
  const Imf::FrameBuffer buffer =
      frameBufferOf(part.spec, header.dataWindow(), part.pixels.data());
  if (header.hasTileDescription()) {
    Imf::TiledOutputFile output(stream, header, exrThreads());
    output.setFrameBuffer(buffer);
    output.writeTiles(0, output.numXTiles(0) - 1, 0, output.numYTiles(0) - 1);
  } else {
    Imf::OutputFile output(stream, header, exrThreads());
    output.setFrameBuffer(buffer);
    output.writePixels(part.spec.height);
  }
}

}  // namespace

ImageFile readExrFile(const std::filesystem::path &path) {
  ImageFile file;
  file.path = path;
  file.format = "openexr";
  try {
    Imf::MultiPartInputFile input(path.c_str(), exrThreads());
    for (int p = 0; p < input.parts(); ++p) {
      const Imf::Header &header = input.header(p);
      if (header.hasType() && Imf::isDeepData(header.type())) {
        throw HostError(fmt::format(
            "{}: part {} holds deep data, which cannot be filtered", path, p));
      }
      ImagePart part;
      part.spec = specOf(path, header);
      checkPartSize(path, part.spec);
      part.pixels.resize(part.spec.imageBytes());
      Imf::InputPart reader(input, p);
      if (readsZipScanlines(header)) {
        readZipScanlines(reader, header, part.spec, part.pixels.data());
      } else {
        reader.setFrameBuffer(
            frameBufferOf(part.spec, header.dataWindow(), part.pixels.data()));
        reader.readPixels(header.dataWindow().min.y, header.dataWindow().max.y);
      }
      part.spec.original = std::make_shared<const Imf::Header>(header);
      file.parts.push_back(std::move(part));
    }
  } catch (const HostError &) {
    throw;
  } catch (const std::exception &error) {
    throw HostError(
        fmt::format("{}: cannot read image: {}", path, error.what()));
  }
  if (file.parts.empty()) {
    throw HostError(fmt::format("{}: cannot read image: no parts", path));
  }
  return file;
}

std::string encodeExr(const std::vector<ImagePart> &parts,
                      const std::filesystem::path &path) {
  try {
    std::vector<Imf::Header> headers;
    for (const ImagePart &part : parts) {
      Imf::Header header = headerFor(part.spec, parts.size() == 1);
      for (const ImageAttribute &attribute : part.spec.attributes) {
        insertAttribute(header, attribute);
      }
      if (!Imf::hasCapDate(header) && !part.spec.dateTime.empty()) {
        Imf::addCapDate(header, part.spec.dateTime);
      }
      headers.push_back(std::move(header));
    }
    if (headers.size() == 1 && writesZipScanlines(headers.front())) {
      return encodeZipScanlineFile(headers.front(), parts.front().spec,
                                   parts.front().pixels.data());
    }
    MemoryStream stream;
    if (headers.size() == 1) {
      writeOnePart(stream, headers.front(), parts.front());
    } else {
      Imf::MultiPartOutputFile output(stream, headers.data(),
                                      int(headers.size()), false, exrThreads());
      for (size_t p = 0; p < parts.size(); ++p) {
        const Imf::Header &header = output.header(int(p));
        const Imf::FrameBuffer buffer = frameBufferOf(
            parts[p].spec, header.dataWindow(), parts[p].pixels.data());
        if (header.hasTileDescription()) {
          Imf::TiledOutputPart writer(output, int(p));
          writer.setFrameBuffer(buffer);
          writer.writeTiles(0, writer.numXTiles(0) - 1, 0,
                            writer.numYTiles(0) - 1);
        } else {
          Imf::OutputPart writer(output, int(p));
          writer.setFrameBuffer(buffer);
          writer.writePixels(parts[p].spec.height);
        }
      }
    }
    return stream.take();
  } catch (const HostError &) {
    throw;
  } catch (const std::exception &error) {
    throw HostError(
        fmt::format("{}: cannot encode the image: {}", path, error.what()));
  }
}

bool exrSize(const std::filesystem::path &path, int &width, int &height) {
  try {
    Imf::MultiPartInputFile input(path.c_str(), exrThreads());
    const Imath::Box2i data = input.header(0).dataWindow();
    width = data.max.x - data.min.x + 1;
    height = data.max.y - data.min.y + 1;
    return true;
  } catch (const std::exception &) {
    return false;
  }
}

}  // namespace lensfall::host
