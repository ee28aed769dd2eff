// The stand-in host's scene: frame settings, the render camera, the objects
// in their host order and the image list. Items and images are heap objects
// whose addresses are the opaque IDs the module sees.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/envelope.h"
#include "hostapi/ids.h"

// Pixel data of an image: 8-bit channels, row-major, top row first.
struct HostPixmap {
  int width = 0;
  int height = 0;
  int pixelType = 0;  // HOST_PIXEL_RGB24, HOST_PIXEL_GREY8 or HOST_PIXEL_RGBA32
  std::vector<uint8_t> bytes;
  int channels() const;
};

struct HostCameraLens {
  double focalLengthMm = 50.0;
  double focalDistance = 10.0;    // scene units
  double horizontalFov = 0.6911;  // radians
  double verticalFov = 0.3996;
};

// Which way a camera looks: its view and up directions in world space, as
// given (of any length, up not necessarily square to the view), so a scene
// saves them unchanged.
struct HostCameraAim {
  std::array<double, 3> view{};
  std::array<double, 3> up{};
};

struct HostItem {
  int type = 0;      // HOST_ITEM_OBJECT or HOST_ITEM_CAMERA
  std::string name;  // code page 932, as the module sees it
  lensfall::host::PositionTrack position;
  HostCameraLens lens;               // cameras only
  std::optional<HostCameraAim> aim;  // cameras only; empty when not known
};

struct HostImage {
  std::string name;                          // code page 932
  std::vector<std::filesystem::path> files;  // one, or one per frame
  std::vector<HostPixmap> frames;
};

namespace lensfall::host {

struct Scene {
  double framesPerSecond = 24.0;
  int width = 640;
  int height = 360;
  int frame = 0;
  std::unique_ptr<HostItem> camera;  // null: the scene has no render camera
  std::vector<std::unique_ptr<HostItem>> objects;
  std::vector<std::unique_ptr<HostImage>> images;

  HostItem &addObject(const std::string &utf8Name,
                      std::array<double, 3> position = {0.0, 0.0, 0.0});
  HostItem &setCamera(const HostCameraLens &lens,
                      std::array<double, 3> position = {0.0, 0.0, 0.0});
  // Loads the image's pixels now, so a bad file is reported at once.
  HostImage &addImage(const std::string &utf8Name,
                      std::vector<std::filesystem::path> files);
  HostImage &addImage(const std::string &utf8Name, HostPixmap pixels);

  HostItem *objectNamed(const std::string &utf8Name) const;
  HostImage *imageNamed(const std::string &utf8Name) const;
};

// The aim with both directions of unit length and up made square to the
// view. Empty when either is zero or they are parallel: such directions
// aim no camera.
std::optional<HostCameraAim> unitAim(HostCameraAim aim);

// Reads an image file into 8-bit pixels: one channel gives grey, three
// give RGB, four or more RGBA. Throws HostError naming the file.
HostPixmap readPixmap(const std::filesystem::path &file);

// The pixmap an image shows at a time: a single image is the same at every
// time; a sequence shows frame round(time x fps), held at its ends.
const HostPixmap *pixmapAt(const HostImage &image, double time,
                           double framesPerSecond);

// Area-averaging resample: every destination pixel is the mean of the
// source area it covers, so thin bright features survive shrinking.
HostPixmap resamplePixmap(const HostPixmap &source, int width, int height);

}  // namespace lensfall::host
