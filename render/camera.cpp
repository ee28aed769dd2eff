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

double distanceBetween(const double a[3], const double b[3]) {
  const double dx = a[0] - b[0];
  const double dy = a[1] - b[1];
  const double dz = a[2] - b[2];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

}  // namespace

std::optional<CameraView> readCamera(const FilterSettings &settings,
                                     double time) {
  const HostSceneInfo *scene = services.sceneInfo;
  const HostCameraInfo *lens = services.cameraInfo;
  if (scene == nullptr || lens == nullptr || scene->renderCamera == nullptr) {
    return std::nullopt;
  }
  HostItemID camera = scene->renderCamera(time);
  if (camera == nullptr) return std::nullopt;

  CameraView view;
  const HostItemInfo *items = services.itemInfo;
  if (settings.focusItem != nullptr && items != nullptr &&
      items->param != nullptr) {
    double target[3] = {0.0, 0.0, 0.0};
    double eye[3] = {0.0, 0.0, 0.0};
    items->param(settings.focusItem, HOST_ITEM_PARAM_WORLD_POSITION, time,
                 target);
    items->param(camera, HOST_ITEM_PARAM_WORLD_POSITION, time, eye);
    view.focusDistance = distanceBetween(target, eye);
  } else {
    view.focusDistance = lens->focalDistance(camera, time);
  }
  view.focalLength = lens->focalLength(camera, time);
  lens->fovAngles(camera, time, &view.horizontalFov, &view.verticalFov);
  view.frameWidth = scene->frameWidth;
  return view;
}

Lens lensFor(const CameraView &camera, double fNumber) {
  Lens lens;
  lens.focusDistance = camera.focusDistance;
  lens.focalLength = camera.focalLength * 0.001;
  lens.apertureRadius = quotient(lens.focalLength, fNumber) * 0.5;

  // The thin-lens blur formula works with the angle under which the aperture
  // sees a point; angleScale makes that angle at the focus distance equal the
  // one at the focal length, so the blur is exactly 0 at the focus.
  const double inverseRadius = quotient(1.0, lens.apertureRadius);
  lens.angleScale = quotient(std::atan(lens.focalLength * inverseRadius),
                             std::atan(inverseRadius * lens.focusDistance));

  lens.filmWidth = std::tan(camera.horizontalFov * 0.5) * lens.focalLength * 2;
  lens.filmHeight = std::tan(camera.verticalFov * 0.5) * lens.focalLength * 2;
  lens.pixelsPerFilmUnit = quotient(camera.frameWidth, lens.filmWidth);
  return lens;
}

void storeLens(FilterSettings &settings, const Lens &lens) {
  settings.focusDistance = lens.focusDistance;
  settings.focalLength = lens.focalLength;
  settings.apertureRadius = lens.apertureRadius;
  settings.angleScale = lens.angleScale;
  settings.filmWidth = lens.filmWidth;
  settings.filmHeight = lens.filmHeight;
  settings.pixelsPerFilmUnit = lens.pixelsPerFilmUnit;
}

void updateCamera(FilterSettings &settings) {
  if (const auto camera = readCamera(settings, settings.evalTime)) {
    storeLens(settings, lensFor(*camera, settings.fNumber));
  }
}

bool lensUsable(const FilterSettings &s) {
  return finitePositive(s.focalLength) && finitePositive(s.apertureRadius) &&
         finitePositive(s.filmWidth) && finitePositive(s.pixelsPerFilmUnit) &&
         finitePositive(s.focusDistance) && finitePositive(s.angleScale);
}

}  // namespace lensfall
