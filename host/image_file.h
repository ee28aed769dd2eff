// An image file as it was read: every part (subimage) with its header and
// its pixels in the file's own types, so that it can be written back with a
// few channels replaced and everything else exactly as it was: other layers,
// pixel types, compression, data and display windows, metadata.
#pragma once

#include <OpenImageIO/imageio.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace lensfall::host {

struct ImagePart {
  OIIO::ImageSpec spec;  // as in the file: channel names, types, attributes
  // Pixels of the data window, top row first, channels interleaved, each
  // channel in its own type (spec.channelformat).
  std::vector<std::byte> pixels;

  std::string name() const;  // the part's name; empty for single-part files
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

// Writes the parts in the format `path` names (their specs as they stand),
// encoded in memory and then written atomically. Throws HostError naming
// the file.
void writeImageParts(const std::vector<ImagePart> &parts,
                     const std::filesystem::path &path);

}  // namespace lensfall::host
