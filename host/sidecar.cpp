#include "host/sidecar.h"

#include <fmt/format.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <numbers>

#include "host/host_error.h"
#include "host/path_format.h"

namespace lensfall::host {

namespace {

using nlohmann::json;

// A short rendering of a JSON value for messages.
std::string shown(const json &value) {
  std::string text = value.dump();
  if (text.size() > 60) text = text.substr(0, 57) + "...";
  return text;
}

// Reads the fields of one JSON object, naming the field that is wrong.
class Fields {
 public:
  Fields(const json &object, std::string where)
      : object_(object), where_(std::move(where)) {}

  const json *find(const char *name) const {
    const auto found = object_.find(name);
    return found == object_.end() || found->is_null() ? nullptr : &*found;
  }

  [[noreturn]] void fail(const char *name, const std::string &expected,
                         const json *value) const {
    throw HostError(fmt::format("{}{}: expected {}{}", where_, name, expected,
                                value ? ", not " + shown(*value) : ""));
  }

  double number(const char *name, const char *expected = "a number") const {
    const json *value = find(name);
    if (value == nullptr || !value->is_number() ||
        !std::isfinite(value->get<double>())) {
      fail(name, expected, value);
    }
    return value->get<double>();
  }

  double above(const char *name, double low, const char *expected) const {
    const double value = number(name, expected);
    if (!(value > low)) fail(name, expected, find(name));
    return value;
  }

  int whole(const char *name, double low, double high,
            const std::string &expected) const {
    const double value = number(name, expected.c_str());
    if (value != std::floor(value) || value < low || value > high) {
      fail(name, expected, find(name));
    }
    return int(value);
  }

  std::string text(const char *name) const {
    const json *value = find(name);
    if (value == nullptr) return {};
    if (!value->is_string()) fail(name, "a text", value);
    return value->get<std::string>();
  }

  std::array<double, 3> vector3(const char *name) const {
    const json *value = find(name);
    const char *expected = "a list of 3 finite numbers";
    if (value == nullptr || !value->is_array() || value->size() != 3) {
      fail(name, expected, value);
    }
    std::array<double, 3> result{};
    for (size_t k = 0; k < 3; ++k) {
      const json &component = (*value)[k];
      if (!component.is_number() || !std::isfinite(component.get<double>())) {
        fail(name, expected, value);
      }
      result[k] = component.get<double>();
    }
    return result;
  }

  // A nested object; empty fields when absent.
  Fields object(const char *name) const {
    static const json empty = json::object();
    const json *value = find(name);
    if (value == nullptr) return Fields(empty, where_ + name + ".");
    if (!value->is_object()) fail(name, "an object", value);
    return Fields(*value, where_ + name + ".");
  }

  bool has(const char *name) const { return find(name) != nullptr; }
  const std::string &where() const { return where_; }

 private:
  const json &object_;
  std::string where_;
};

HostCameraLens readLens(const Fields &camera) {
  HostCameraLens lens;
  lens.focalLengthMm =
      camera.above("focal_length_mm", 0.0, "a focal length above 0 mm");
  lens.focalDistance =
      camera.above("focus_distance", 0.0, "a focus distance above 0");
  const char *fov = "an angle between 0 and pi radians";
  lens.horizontalFov = camera.above("hfov_rad", 0.0, fov);
  lens.verticalFov = camera.above("vfov_rad", 0.0, fov);
  if (!(lens.horizontalFov < std::numbers::pi)) {
    camera.fail("hfov_rad", fov, camera.find("hfov_rad"));
  }
  if (!(lens.verticalFov < std::numbers::pi)) {
    camera.fail("vfov_rad", fov, camera.find("vfov_rad"));
  }
  return lens;
}

// The camera's view and up directions, when given: both or neither.
std::optional<HostCameraAim> readAim(const Fields &camera) {
  if (!camera.has("view_direction") && !camera.has("up_direction")) {
    return std::nullopt;
  }
  const auto view = camera.vector3("view_direction");
  if (view == std::array<double, 3>{}) {
    camera.fail("view_direction", "a direction of non-zero length",
                camera.find("view_direction"));
  }
  const auto up = camera.vector3("up_direction");
  const HostCameraAim aim{view, up};
  if (!unitAim(aim)) {
    camera.fail("up_direction",
                "a direction of non-zero length, not parallel to "
                "view_direction",
                camera.find("up_direction"));
  }
  return aim;
}

ChannelNames readChannels(const Fields &names) {
  return {names.text("R"), names.text("G"), names.text("B"), names.text("A"),
          names.text("Z")};
}

void readDepth(const Fields &depth, Sidecar &sidecar) {
  if (depth.has("measures")) {
    const std::string measures = depth.text("measures");
    sidecar.depthMeasure = parseDepthMeasure(measures);
    if (!sidecar.depthMeasure) {
      depth.fail("measures", fmt::format("{}", knownDepthMeasures()),
                 depth.find("measures"));
    }
  }
  if (depth.has("background_value")) {
    const json *value = depth.find("background_value");
    if (!value->is_number()) {
      depth.fail("background_value", "a number", value);
    }
    sidecar.depthBackground = float(value->get<double>());
  }
}

void readObjects(const json *list, Sidecar &sidecar) {
  if (list == nullptr) return;
  if (!list->is_array()) {
    throw HostError(
        fmt::format("mesh_objects: expected a list, not {}", shown(*list)));
  }
  for (size_t k = 0; k < list->size(); ++k) {
    const json &entry = (*list)[k];
    const std::string where = fmt::format("mesh_objects[{}].", k);
    if (!entry.is_object()) {
      throw HostError(fmt::format(
          "mesh_objects[{}]: expected an object, not {}", k, shown(entry)));
    }
    const Fields object(entry, where);
    if (!object.has("name")) object.fail("name", "a text", nullptr);
    sidecar.objects.push_back(
        {object.text("name"), object.vector3("world_position")});
  }
}

// Brings an item of the scene to a name and a position, or adds it. An
// existing item keeps its address, which is the ID the module holds.
void placeObject(Scene &scene, const SidecarObject &object) {
  HostItem *item = scene.objectNamed(object.name);
  if (item == nullptr) {
    scene.addObject(object.name, object.position);
    return;
  }
  item->position = PositionTrack{};
  item->position.constant = object.position;
}

}  // namespace

Sidecar parseSidecar(const json &document) {
  if (!document.is_object()) {
    throw HostError(
        fmt::format("expected a JSON object, not {}", shown(document)));
  }
  const Fields top(document, "");
  Sidecar sidecar;
  const std::string size = "a whole number from 1 to 65536";
  sidecar.width = top.whole("width", 1, 65536, size);
  sidecar.height = top.whole("height", 1, 65536, size);
  sidecar.framesPerSecond = top.above("fps", 0.0, "a frame rate above 0");
  if (top.has("frame")) {
    sidecar.frame = top.whole("frame", -(1 << 30), 1 << 30,
                              "a whole frame number from -1073741824 to "
                              "1073741824");
  }
  if (!top.has("camera")) top.fail("camera", "an object", nullptr);
  const Fields camera = top.object("camera");
  sidecar.lens = readLens(camera);
  sidecar.cameraPosition = camera.vector3("world_position");
  sidecar.cameraAim = readAim(camera);
  readObjects(top.find("mesh_objects"), sidecar);
  sidecar.channels = readChannels(top.object("exr_channels"));
  readDepth(top.object("depth"), sidecar);
  sidecar.suggestedFocusObject = top.text("suggested_focus_object");
  return sidecar;
}

Sidecar loadSidecar(const std::filesystem::path &path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (std::filesystem::is_directory(status)) {
    throw HostError(fmt::format("{}: is a folder, not a JSON sidecar", path));
  }
  if (std::filesystem::exists(status) &&
      !std::filesystem::is_regular_file(status)) {
    throw HostError(fmt::format(
        "{}: not a regular file (a pipe or device is not a sidecar)", path));
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw HostError(
        fmt::format("{}: cannot open: {}", path, std::strerror(errno)));
  }
  try {
    return parseSidecar(json::parse(in));
  } catch (const json::exception &problem) {
    throw HostError(
        fmt::format("{}: not valid JSON: {}", path, problem.what()));
  } catch (const HostError &problem) {
    throw HostError(fmt::format("{}: {}", path, problem.what()));
  }
}

SidecarApplied applySidecar(const Sidecar &sidecar, Scene &scene) {
  scene.width = sidecar.width;
  scene.height = sidecar.height;
  scene.framesPerSecond = sidecar.framesPerSecond;
  if (sidecar.frame) scene.frame = *sidecar.frame;
  if (scene.camera) {
    scene.camera->lens = sidecar.lens;
    scene.camera->position = PositionTrack{};
    scene.camera->position.constant = sidecar.cameraPosition;
  } else {
    scene.setCamera(sidecar.lens, sidecar.cameraPosition);
  }
  scene.camera->aim = sidecar.cameraAim;
  SidecarApplied applied;
  for (const SidecarObject &object : sidecar.objects) {
    try {
      placeObject(scene, object);
    } catch (const HostError &) {
      applied.skippedObjects.push_back(object.name);
    }
  }
  return applied;
}

SidecarInfo sceneFromSidecar(const json &document, Scene &scene) {
  const Sidecar sidecar = parseSidecar(document);
  return {sidecar.suggestedFocusObject, sidecar.depthMeasure,
          applySidecar(sidecar, scene)};
}

SidecarInfo readSidecar(const std::filesystem::path &path, Scene &scene) {
  const Sidecar sidecar = loadSidecar(path);
  return {sidecar.suggestedFocusObject, sidecar.depthMeasure,
          applySidecar(sidecar, scene)};
}

}  // namespace lensfall::host
