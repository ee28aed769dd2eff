#include "render/camera.h"

#include <cmath>
#include <limits>

#include "hostlink/service_table.h"

namespace lensfall {

namespace {

double quotient(double numerator, double denominator) {
  return denominator != 0.0 ? numerator / denominator
                            : std::numeric_limits<double>::quiet_NaN();
}

bool finitePositive(double value) { return std::isfinite(value) && value > 0; }

}  // namespace

void updateCamera(FilterSettings &s) {
  const HostSceneInfo *scene = services.sceneInfo;
  const HostCameraInfo *lens = services.cameraInfo;
  if (scene == nullptr || lens == nullptr || scene->renderCamera == nullptr) {
    return;
  }
  const double time = s.evalTime;
  HostItemID camera = scene->renderCamera(time);
  if (camera == nullptr) return;

  const HostItemInfo *items = services.itemInfo;
  if (s.focusItem != nullptr && items != nullptr && items->param != nullptr) {
    double target[3] = {0.0, 0.0, 0.0};
    double eye[3] = {0.0, 0.0, 0.0};
    items->param(s.focusItem, HOST_ITEM_PARAM_WORLD_POSITION, time, target);
    items->param(camera, HOST_ITEM_PARAM_WORLD_POSITION, time, eye);
    const double dx = target[0] - eye[0];
    const double dy = target[1] - eye[1];
    const double dz = target[2] - eye[2];
    s.focusDistance = std::sqrt(dx * dx + dy * dy + dz * dz);
  } else {
    s.focusDistance = lens->focalDistance(camera, time);
  }
  s.focalLength = lens->focalLength(camera, time) * 0.001;
  s.apertureRadius = quotient(s.focalLength, s.fNumber) * 0.5;

  // The thin-lens blur formula works with the angle under which the aperture
  // sees a point; angleScale makes that angle at the focus distance equal the
  // one at the focal length, so the blur is exactly 0 at the focus.
  const double inverseRadius = quotient(1.0, s.apertureRadius);
  s.angleScale = quotient(std::atan(s.focalLength * inverseRadius),
                          std::atan(inverseRadius * s.focusDistance));

  double horizontal = 0.0;
  double vertical = 0.0;
  lens->fovAngles(camera, time, &horizontal, &vertical);
  s.filmWidth = std::tan(horizontal * 0.5) * s.focalLength * 2;
  s.filmHeight = std::tan(vertical * 0.5) * s.focalLength * 2;
  s.pixelsPerFilmUnit = quotient(scene->frameWidth, s.filmWidth);
}

bool lensUsable(const FilterSettings &s) {
  return finitePositive(s.focalLength) && finitePositive(s.apertureRadius) &&
         finitePositive(s.filmWidth) && finitePositive(s.pixelsPerFilmUnit) &&
         finitePositive(s.focusDistance) && finitePositive(s.angleScale);
}

}  // namespace lensfall
