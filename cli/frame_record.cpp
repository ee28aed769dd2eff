#include "cli/frame_record.h"

#include <cmath>

#include "cli/instance_settings.h"

namespace lensfall::cli {

namespace {

// The f-number at the frame's time, from its --set form "f-number=2.8".
double fNumberOf(const std::vector<std::string> &settings) {
  for (const std::string &setting : settings) {
    if (setting.rfind("f-number=", 0) == 0) {
      return std::strtod(setting.c_str() + 9, nullptr);
    }
  }
  return 0.0;
}

double distance(const std::array<double, 3> &a,
                const std::array<double, 3> &b) {
  const double dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

}  // namespace

std::vector<host::ImageAttribute> frameRecord(const FrameRecordInputs &inputs) {
  const host::Scene &scene = *inputs.scene;
  const double time = scene.frame / scene.framesPerSecond;
  const std::vector<std::string> settings =
      settingsAt(*inputs.instanceData, time);
  std::string joined;
  for (const std::string &setting : settings) {
    joined += (joined.empty() ? "" : " ") + setting;
  }

  std::vector<host::ImageAttribute> record;
  record.push_back({"lensfall/version", std::string(LENSFALL_VERSION)});
  record.push_back({"lensfall/settings", joined});
  record.push_back({"lensfall/frame", int(scene.frame)});
  record.push_back({"lensfall/time", float(time)});
  record.push_back({"lensfall/layer", inputs.layer});
  record.push_back({"lensfall/depth", inputs.depth});
  if (!scene.camera) return record;

  const HostCameraLens &lens = scene.camera->lens;
  const auto cameraAt = scene.camera->position.at(time);
  const std::string focusName = focusObjectOf(*inputs.instanceData);
  const HostItem *focus =
      focusName.empty() ? nullptr : scene.objectNamed(focusName);
  const double focusDistance =
      focus ? distance(focus->position.at(time), cameraAt) : lens.focalDistance;
  const double focalLength = lens.focalLengthMm * 0.001;
  const double fNumber = fNumberOf(settings);
  const double filmWidth = std::tan(lens.horizontalFov * 0.5) * focalLength * 2;
  record.push_back(
      {"lensfall/focusObject", std::string(focus ? focusName : "")});
  record.push_back({"lensfall/focusDistance", focusDistance});
  const double apertureRadius = focalLength / fNumber * 0.5;
  record.push_back({"lensfall/apertureRadius", apertureRadius});
  const double pixelsPerFilmUnit = scene.width / filmWidth;
  record.push_back({"lensfall/pixelsPerFilmUnit", pixelsPerFilmUnit});
  return record;
}

}  // namespace lensfall::cli
