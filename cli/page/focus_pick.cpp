#include "cli/page/focus_pick.h"

#include <cmath>
#include <limits>

namespace lensfall::cli {

namespace {

using Vector = std::array<double, 3>;

double distanceBetween(const Vector &a, const Vector &b) {
  return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}

Vector cross(const Vector &a, const Vector &b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
          a[0] * b[1] - a[1] * b[0]};
}

}  // namespace

std::optional<Vector> pointUnderClick(const HostItem &camera, double time,
                                      const FocusClick &click) {
  if (!camera.aim) return std::nullopt;
  const std::optional<HostCameraAim> unit = host::unitAim(*camera.aim);
  if (!unit) return std::nullopt;
  const HostCameraAim &aim = *unit;
  const Vector right = cross(aim.view, aim.up);
  // The pixel's centre on the image plane one unit in front of the camera:
  // x grows to the right, rows grow downward.
  const double across = std::tan(camera.lens.horizontalFov / 2.0) *
                        (2.0 * (click.x + 0.5) / click.width - 1.0);
  const double upward = std::tan(camera.lens.verticalFov / 2.0) *
                        (1.0 - 2.0 * (click.y + 0.5) / click.height);
  Vector ray{};
  for (size_t k = 0; k < 3; ++k) {
    ray[k] = aim.view[k] + across * right[k] + upward * aim.up[k];
  }
  const double length = std::hypot(ray[0], ray[1], ray[2]);
  const Vector origin = camera.position.at(time);
  Vector point{};
  for (size_t k = 0; k < 3; ++k) {
    point[k] = origin[k] + click.distance * ray[k] / length;
  }
  return point;
}

const HostItem *objectUnderClick(const host::Scene &scene, double time,
                                 const FocusClick &click) {
  if (!scene.camera) return nullptr;
  const std::optional<Vector> point =
      pointUnderClick(*scene.camera, time, click);
  const Vector camera = scene.camera->position.at(time);
  const HostItem *nearest = nullptr;
  double best = std::numeric_limits<double>::infinity();
  for (const auto &object : scene.objects) {
    const Vector at = object->position.at(time);
    const double miss =
        point ? distanceBetween(at, *point)
              : std::fabs(distanceBetween(at, camera) - click.distance);
    if (miss < best) {
      best = miss;
      nearest = object.get();
    }
  }
  return nearest;
}

}  // namespace lensfall::cli
