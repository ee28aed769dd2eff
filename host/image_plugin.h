// The image plug-in: every image format but EXR, and colour management,
// from OpenImageIO. OpenImageIO and the many libraries it links take a
// large part of a second to load, so the command loads them only when a
// file or a colour conversion needs them: the plug-in is a shared library
// of ours, lensfall_images.so, opened with dlopen beside the command.
//
// Both sides are built from this tree by one compiler, so the table passes
// C++ values; nothing throws across it (failures come back as texts).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "host/image_file.h"

namespace lensfall::host {

// An image to encode: interleaved values, either floats or bytes.
struct EncodeRequest {
  std::string fileName;  // its extension names the format
  int width = 0, height = 0, channels = 0;
  std::vector<std::string> channelNames;  // empty: the format's own
  PixelType type = PixelType::UInt8;      // of the values in the file
  const float *floats = nullptr;          // given: the values as floats
  const std::uint8_t *bytes = nullptr;    // else: the values as bytes
  std::string colorspace;                 // the file's colour space label
  int pngCompression = -1;                // zlib level for PNG; -1: default
};

inline constexpr int kImagePluginVersion = 1;

struct ImagePlugin {
  int version = kImagePluginVersion;
  // Every part of a file, MIP level 0, pixels in the file's own types.
  bool (*read)(const std::filesystem::path &path, ImageFile &file,
               std::string &error) noexcept;
  // The data window's size from the header alone.
  bool (*size)(const std::filesystem::path &path, int &width,
               int &height) noexcept;
  bool (*encode)(const EncodeRequest &request, std::string &encoded,
                 std::string &error) noexcept;
  // The colour configuration ($OCIO, or OpenImageIO's built-in one).
  std::string (*linearColorspace)() noexcept;
  bool (*knownColorspace)(const std::string &name) noexcept;
  bool (*linearSpace)(const std::string &name) noexcept;
  std::vector<std::string> (*colorspaceNames)() noexcept;
  // Converts premultiplied RGBA floats in place; alpha is kept.
  bool (*convertColour)(float *rgba, int width, int height,
                        const std::string &from, const std::string &to,
                        std::string &error) noexcept;
};

// The plug-in, loaded on first use: beside the running executable, else
// where the build put it. Throws HostError saying where it looked.
const ImagePlugin &imagePlugin();

// Encodes with the plug-in and writes the bytes as writeFileAtomically
// does. Throws HostError naming the file.
void writeEncoded(const std::filesystem::path &path,
                  const EncodeRequest &request);

}  // namespace lensfall::host

// The plug-in's one exported symbol.
extern "C" const lensfall::host::ImagePlugin *lensfall_image_plugin();
