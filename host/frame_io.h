// Reading rendered frames from image files and writing filtered ones.
#pragma once

#include <OpenImageIO/imagebuf.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/frame.h"

namespace lensfall::host {

// Which EXR channels hold colour, alpha and depth. Empty names are looked
// up by their usual suffixes (".R", ".G", ".B", ".A", ".Z" or "Z", "depth").
struct ChannelNames {
  std::string red, green, blue, alpha, depth;
};

enum class DepthMeasure {
  Distance,  // distance from the camera: what the filter expects
  Planar,    // depth along the viewing axis: converted on reading
};

struct FrameSource {
  std::filesystem::path image;  // EXR with depth, or any image OIIO reads
  std::optional<std::filesystem::path> depthImage;  // a separate depth file
  ChannelNames channels;
  DepthMeasure depthMeasure = DepthMeasure::Distance;
  double horizontalFov = 0.0;  // radians, for converting planar depth
  double verticalFov = 0.0;
};

// Throws HostError naming the file and what is wrong. Colour from 8-bit
// files is decoded from sRGB to linear.
Frame readFrame(const FrameSource &source);

// Converts planar depth z to distance from the camera, per pixel centre.
void planarToDistance(Frame &frame, double horizontalFov, double verticalFov);

// Writes planes of linear values as an image: 32-bit float, every plane, for
// EXR; 8-bit sRGB colour with alpha for PNG and TIFF; colour only for JPEG.
// Written to a temporary file and renamed, so a failure leaves any existing
// file untouched.
void writeImageFile(const std::filesystem::path &path, int width, int height,
                    const std::vector<const std::vector<float> *> &planes,
                    const std::vector<std::string> &names);

// Encodes an image in the format its file name asks for and writes it as
// writeFileAtomically does.
void writeImageBuffer(const OIIO::ImageBuf &image,
                      const std::filesystem::path &path);

// The frame's output: R, G, B, A, and for EXR also the depth as Z.
void writeFrameOutput(const Frame &frame, const std::filesystem::path &path);

// The input beside the output, for looking at what the filter did.
void writeBeforeAfter(const Frame &frame, const std::filesystem::path &path);

}  // namespace lensfall::host
