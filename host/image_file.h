// An image file as it was read: every part (subimage) with its header and
// its pixels in the file's own types, so that it can be written back with a
// few channels replaced and everything else exactly as it was: other layers,
// pixel types, compression, data and display windows, metadata.
//
// EXR files are read and written with the OpenEXR library (the ZIP blocks of
// scan-line parts packed and unpacked by host/exr_scanlines.h); every other
// format goes through the image plug-in (host/image_plugin.h), which is
// loaded only when such a file is met.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace lensfall::host {

// The types a channel's values are stored in.
enum class PixelType { UInt8, UInt16, UInt32, Half, Float };

constexpr size_t bytesOf(PixelType type) {
  return type == PixelType::UInt8                               ? 1
         : type == PixelType::UInt16 || type == PixelType::Half ? 2
                                                                : 4;
}
constexpr bool isFloating(PixelType type) {
  return type == PixelType::Half || type == PixelType::Float;
}

// A value the command adds to a file's header (EXR only), such as the
// lensfall/ record of how a frame was made.
struct ImageAttribute {
  std::string name;
  std::variant<std::string, int, float, double> value;
};

// What the code needs to know of a part's header. Field names follow the
// usual image-library words: the data window is x, y, width, height; the
// display window is the full_ ones.
struct PartSpec {
  int x = 0, y = 0, width = 0, height = 0;
  int full_x = 0, full_y = 0, full_width = 0, full_height = 0;
  int nchannels = 0;
  std::vector<std::string> channelnames;
  std::vector<PixelType> channelformats;  // one per channel
  std::string name;        // the part's name; empty for single-part files
  std::string colorspace;  // the file's own colour space label, if any
  std::string dateTime;    // "YYYY:MM:DD HH:MM:SS", if the file has one
  // Added to the header when the part is written (EXR only).
  std::vector<ImageAttribute> attributes;
  // The format's own header as read (an Imf::Header for EXR parts), so that
  // writing the part back keeps every attribute the code never looks at.
  std::shared_ptr<const void> original;

  PixelType channelformat(int c) const { return channelformats[size_t(c)]; }
  size_t pixelBytes() const {  // of one pixel, every channel
    size_t bytes = 0;
    for (const PixelType type : channelformats) bytes += bytesOf(type);
    return bytes;
  }
  size_t imageBytes() const { return pixelBytes() * size_t(width) * height; }
};

struct ImagePart {
  PartSpec spec;  // as in the file: channel names, types, attributes
  // Pixels of the data window, top row first, channels interleaved, each
  // channel in its own type (spec.channelformat).
  std::vector<std::byte> pixels;

  std::string name() const { return spec.name; }
  int channelIndex(const std::string &channelName) const;  // -1 if absent
  // One channel as floats (integer types scaled to 0..1).
  std::vector<float> channel(int c) const;
  // Replaces one channel's values, converted to the channel's own type.
  void setChannel(int c, const std::vector<float> &values);
};

struct ImageFile {
  std::filesystem::path path;
  std::string format;  // the reader's format name: "openexr", "png", ...
  std::vector<ImagePart> parts;
};

// The largest image read, in pixels: frames up to 32768 x 32768.
inline constexpr long long kMaxImagePixels = 1LL << 30;

// Reads every part of a regular file, MIP level 0. Throws HostError naming
// the file: not there, not a regular file, not an image, truncated, deep,
// larger than kMaxImagePixels.
ImageFile readImageFile(const std::filesystem::path &path);

// Throws HostError naming the file when a part read by either reader is
// not one the command can filter.
void checkPartSize(const std::filesystem::path &path, const PartSpec &spec);

// Writes the parts in the format `path` names (their specs as they stand),
// encoded in memory and then written atomically. Throws HostError naming
// the file.
void writeImageParts(const std::vector<ImagePart> &parts,
                     const std::filesystem::path &path);

// The size of an image's first part from its header alone; false when it
// cannot be read.
bool imageSize(const std::filesystem::path &path, int &width, int &height);

// True for a file whose first bytes are those of an EXR file.
bool isExrFile(const std::filesystem::path &path);

}  // namespace lensfall::host
