// Reading rendered frames from image files and writing filtered ones.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/depth_convention.h"
#include "host/frame.h"
#include "host/frame_channels.h"
#include "host/image_file.h"

namespace lensfall::host {

struct FrameSource {
  std::filesystem::path
      image;  // EXR with depth, or any image the image plug-in reads
  std::optional<std::filesystem::path> depthImage;  // a separate depth file
  ChannelNames channels;  // exact channel names; empty ones are looked for
  std::string channelsFrom = "the sidecar";  // who named them, for messages
  std::string layer;       // the beauty layer to use; empty: by the usual rule
  std::string colorspace;  // of the colour values; empty: the file's own
  DepthConvention depth;   // how to read the depth values
  double horizontalFov = 0.0;  // radians, for converting planar depth
  double verticalFov = 0.0;
};

// A frame as read, with what writing it back in full needs.
struct FrameFile {
  Frame frame;      // linear colour, alpha, distance from the camera
  ImageFile image;  // the colour file as it was read
  FrameChannels channels;
  std::string colorspace;  // of the colour file's values
  int bits = 32;           // of its colour channels: 8, 16 or 32
};

// Throws HostError naming the file and what is wrong. Colour from integer
// files is converted from its colour space to scene-linear.
FrameFile readFrameFile(const FrameSource &source);
Frame readFrame(const FrameSource &source);

struct OutputOptions {
  // The colour space integer formats are encoded in; empty: the input's
  // own when it was display-referred, else sRGB.
  std::string colorspace;
  // Added to the header of the part that holds the beauty (EXR only).
  std::vector<ImageAttribute> attributes;
};

// Writes the filtered frame in the format the file name asks for:
//  - EXR from EXR: every part, channel, pixel type, window and attribute of
//    the input, with only the beauty's colour and alpha replaced;
//  - EXR from other images: colour, alpha and depth as 32-bit floats;
//  - HDR: linear colour;
//  - PNG, TIFF, JPEG, PPM: colour encoded in a display colour space, with
//    alpha where the format holds it; 16 bits where the input had 16.
// Written to a temporary file and renamed, so a failure leaves any
// existing file untouched.
void writeFilteredFrame(const FrameFile &input, const Frame &filtered,
                        const std::filesystem::path &path,
                        const OutputOptions &options = {});

// Writes planes of linear values as an image: 32-bit float, every plane, for
// EXR; colour encoded in sRGB with alpha for the integer formats.
void writeImageFile(const std::filesystem::path &path, int width, int height,
                    const std::vector<const std::vector<float> *> &planes,
                    const std::vector<std::string> &names);

// Writes 8-bit RGB pixels (rows top first) as an image: EXR as half
// values 0..1, other formats as they are.
void writeRgb8File(const std::filesystem::path &path, int width, int height,
                   const std::vector<std::uint8_t> &rgb);

// The frame's output: R, G, B, A, and for EXR also the depth as Z.
void writeFrameOutput(const Frame &frame, const std::filesystem::path &path);

// The input beside the output, for looking at what the filter did.
void writeBeforeAfter(const Frame &frame, const std::filesystem::path &path);

}  // namespace lensfall::host
