#include "host/sidecar.h"

#include <fmt/format.h>

#include <cmath>
#include <fstream>

#include "host/host_error.h"
#include "host/path_format.h"

namespace lensfall::host {

namespace {

using nlohmann::json;

double number(const json &object, const char *name, const char *where) {
  const auto found = object.find(name);
  if (found == object.end() || !found->is_number() ||
      !std::isfinite(found->get<double>())) {
    throw HostError(fmt::format("{}.{} must be a finite number", where, name));
  }
  return found->get<double>();
}

std::array<double, 3> vector3(const json &object, const char *name,
                              const char *where) {
  const auto found = object.find(name);
  if (found == object.end() || !found->is_array() || found->size() != 3) {
    throw HostError(
        fmt::format("{}.{} must be a list of 3 numbers", where, name));
  }
  std::array<double, 3> result{};
  for (size_t k = 0; k < 3; ++k) {
    if (!(*found)[k].is_number()) {
      throw HostError(
          fmt::format("{}.{} must be a list of 3 numbers", where, name));
    }
    result[k] = (*found)[k].get<double>();
  }
  return result;
}

}  // namespace

SidecarInfo sceneFromSidecar(const json &sidecar, Scene &scene) {
  if (!sidecar.is_object()) throw HostError("the sidecar must be an object");
  const double width = number(sidecar, "width", "sidecar");
  const double height = number(sidecar, "height", "sidecar");
  if (width < 1 || height < 1 || width > 65536 || height > 65536) {
    throw HostError("sidecar width and height must be from 1 to 65536");
  }
  scene.width = int(width);
  scene.height = int(height);
  scene.framesPerSecond = number(sidecar, "fps", "sidecar");
  if (!(scene.framesPerSecond > 0.0)) {
    throw HostError("sidecar.fps must be above 0");
  }
  scene.frame =
      sidecar.contains("frame") ? int(number(sidecar, "frame", "sidecar")) : 0;
  if (!sidecar.contains("camera") || !sidecar["camera"].is_object()) {
    throw HostError("the sidecar has no camera");
  }
  const json &camera = sidecar["camera"];
  HostCameraLens lens;
  lens.focalLengthMm = number(camera, "focal_length_mm", "camera");
  lens.focalDistance = number(camera, "focus_distance", "camera");
  lens.horizontalFov = number(camera, "hfov_rad", "camera");
  lens.verticalFov = number(camera, "vfov_rad", "camera");
  scene.setCamera(lens, vector3(camera, "world_position", "camera"));
  if (sidecar.contains("mesh_objects")) {
    const json &objects = sidecar["mesh_objects"];
    if (!objects.is_array()) {
      throw HostError("sidecar.mesh_objects must be a list");
    }
    for (const json &object : objects) {
      if (!object.is_object() || !object.contains("name") ||
          !object["name"].is_string()) {
        throw HostError("every mesh object needs a name");
      }
      scene.addObject(object["name"].get<std::string>(),
                      vector3(object, "world_position", "mesh object"));
    }
  }
  SidecarInfo info;
  if (sidecar.contains("suggested_focus_object") &&
      sidecar["suggested_focus_object"].is_string()) {
    info.suggestedFocusObject = sidecar["suggested_focus_object"];
  }
  if (sidecar.contains("depth") && sidecar["depth"].is_object() &&
      sidecar["depth"].contains("measures") &&
      sidecar["depth"]["measures"].is_string()) {
    info.depthMeasure = sidecar["depth"]["measures"];
  }
  return info;
}

SidecarInfo readSidecar(const std::filesystem::path &path, Scene &scene) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw HostError(fmt::format("{}: cannot open", path));
  try {
    return sceneFromSidecar(json::parse(in), scene);
  } catch (const json::exception &error) {
    throw HostError(fmt::format("{}: not valid JSON: {}", path, error.what()));
  } catch (const HostError &error) {
    throw HostError(fmt::format("{}: {}", path, error.what()));
  }
}

}  // namespace lensfall::host
