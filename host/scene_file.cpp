#include "host/scene_file.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "host/host_error.h"
#include "host/path_format.h"
#include "host/text_codec.h"

namespace lensfall::host {

namespace {

using nlohmann::json;

// Reads fields of one JSON object and names the offending one on error.
class Fields {
 public:
  Fields(const json &object, std::string where)
      : object_(object), where_(std::move(where)) {
    if (!object_.is_object()) fail("must be an object");
  }

  [[noreturn]] void fail(const std::string &why) const {
    throw HostError(fmt::format("{} {}", where_, why));
  }

  bool has(const char *name) const { return object_.contains(name); }

  double number(const char *name, double fallback) const {
    if (!has(name)) return fallback;
    const json &value = object_.at(name);
    if (!value.is_number() || !std::isfinite(value.get<double>())) {
      throw HostError(
          fmt::format("{}.{} must be a finite number", where_, name));
    }
    return value.get<double>();
  }

  double positive(const char *name, double fallback) const {
    const double value = number(name, fallback);
    if (!(value > 0.0)) {
      throw HostError(fmt::format("{}.{} must be above 0", where_, name));
    }
    return value;
  }

  int integer(const char *name, int fallback, int low, int high) const {
    if (!has(name)) return fallback;
    const json &value = object_.at(name);
    if (!value.is_number_integer() || value.get<int64_t>() < low ||
        value.get<int64_t>() > high) {
      throw HostError(fmt::format("{}.{} must be a whole number from {} to {}",
                                  where_, name, low, high));
    }
    return value.get<int>();
  }

  std::string text(const char *name) const {
    if (!has(name) || !object_.at(name).is_string()) {
      throw HostError(fmt::format("{}.{} must be a text", where_, name));
    }
    return object_.at(name).get<std::string>();
  }

  std::array<double, 3> vector3(const char *name) const {
    std::array<double, 3> result{0.0, 0.0, 0.0};
    if (!has(name)) return result;
    const json &value = object_.at(name);
    if (!value.is_array() || value.size() != 3) {
      throw HostError(
          fmt::format("{}.{} must be a list of 3 numbers", where_, name));
    }
    for (size_t k = 0; k < 3; ++k) {
      if (!value[k].is_number() || !std::isfinite(value[k].get<double>())) {
        throw HostError(fmt::format("{}.{} must be a list of 3 finite numbers",
                                    where_, name));
      }
      result[k] = value[k].get<double>();
    }
    return result;
  }

  const json &list(const char *name) const {
    static const json empty = json::array();
    if (!has(name)) return empty;
    if (!object_.at(name).is_array()) {
      throw HostError(fmt::format("{}.{} must be a list", where_, name));
    }
    return object_.at(name);
  }

  const json &at(const char *name) const { return object_.at(name); }
  const std::string &where() const { return where_; }

 private:
  const json &object_;
  std::string where_;
};

void readCamera(const json &entry, Scene &scene) {
  if (entry.is_null()) return;
  const Fields camera(entry, "camera");
  HostCameraLens lens;
  lens.focalLengthMm = camera.positive("focal_length_mm", lens.focalLengthMm);
  lens.focalDistance = camera.number("focal_distance", lens.focalDistance);
  lens.horizontalFov = camera.positive("hfov_rad", lens.horizontalFov);
  lens.verticalFov = camera.positive("vfov_rad", lens.verticalFov);
  HostItem &item = scene.setCamera(lens, camera.vector3("position"));
  if (camera.has("view_direction") || camera.has("up_direction")) {
    item.aim = HostCameraAim{camera.vector3("view_direction"),
                             camera.vector3("up_direction")};
    if (!unitAim(*item.aim)) {
      throw HostError(
          "camera.view_direction and camera.up_direction must be directions "
          "of non-zero length that are not parallel");
    }
  }
}

void readObject(const json &entry, size_t index, Scene &scene) {
  const Fields object(entry, fmt::format("objects[{}]", index));
  HostItem &item =
      scene.addObject(object.text("name"), object.vector3("position"));
  const json &keys = object.list("keys");
  for (size_t k = 0; k < keys.size(); ++k) {
    const Fields key(keys[k], fmt::format("{}.keys[{}]", object.where(), k));
    const double time = key.number("time", 0.0);
    const auto position = key.vector3("position");
    for (int axis = 0; axis < 3; ++axis) {
      item.position.keyed[size_t(axis)].setKey({time, position[size_t(axis)]});
    }
  }
}

void readImage(const json &entry, size_t index,
               const std::filesystem::path &baseDir, Scene &scene) {
  const Fields image(entry, fmt::format("images[{}]", index));
  std::vector<std::filesystem::path> files;
  if (image.has("file")) files.push_back(baseDir / image.text("file"));
  for (const json &file : image.list("files")) {
    if (!file.is_string()) image.fail("files must be a list of file names");
    files.push_back(baseDir / file.get<std::string>());
  }
  scene.addImage(image.text("name"), std::move(files));
}

json positionJson(const std::array<double, 3> &p) {
  return json::array({p[0], p[1], p[2]});
}

std::string relativeTo(const std::filesystem::path &file,
                       const std::filesystem::path &baseDir) {
  std::error_code error;
  const auto relative = std::filesystem::relative(file, baseDir, error);
  return (error || relative.empty()) ? file.string() : relative.string();
}

}  // namespace

std::vector<FilterEntry> parseScene(const json &document,
                                    const std::filesystem::path &baseDir,
                                    Scene &scene) {
  const Fields top(document, "the scene");
  if (!top.has("lensfall_scene")) {
    top.fail("is not a Lensfall scene (no \"lensfall_scene\" version)");
  }
  const int version = top.integer("lensfall_scene", 0, 1, 1000);
  if (version > kSceneFormatVersion) {
    top.fail(fmt::format("has format version {}, newer than this host's {}",
                         version, kSceneFormatVersion));
  }
  scene.framesPerSecond = top.positive("fps", scene.framesPerSecond);
  scene.width = top.integer("width", scene.width, 1, 1 << 16);
  scene.height = top.integer("height", scene.height, 1, 1 << 16);
  scene.frame = top.integer("frame", scene.frame, -(1 << 30), 1 << 30);
  if (top.has("camera")) readCamera(top.at("camera"), scene);
  const json &objects = top.list("objects");
  for (size_t k = 0; k < objects.size(); ++k) readObject(objects[k], k, scene);
  const json &images = top.list("images");
  for (size_t k = 0; k < images.size(); ++k) {
    readImage(images[k], k, baseDir, scene);
  }
  std::vector<FilterEntry> filters;
  const json &entries = top.list("filters");
  for (size_t k = 0; k < entries.size(); ++k) {
    const Fields filter(entries[k], fmt::format("filters[{}]", k));
    if (!filter.has("data")) filter.fail("has no data");
    filters.push_back({filter.text("server"), filter.at("data")});
  }
  return filters;
}

std::vector<FilterEntry> readSceneFile(const std::filesystem::path &path,
                                       Scene &scene) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (std::filesystem::is_directory(status)) {
    throw HostError(fmt::format("{}: is a folder, not a scene file", path));
  }
  if (std::filesystem::exists(status) &&
      !std::filesystem::is_regular_file(status)) {
    throw HostError(fmt::format(
        "{}: not a regular file (a pipe or device is not a scene file)", path));
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw HostError(
        fmt::format("{}: cannot open: {}", path, std::strerror(errno)));
  }
  json document;
  try {
    document = json::parse(in);
  } catch (const json::parse_error &error) {
    throw HostError(fmt::format("{}: not valid JSON: {}", path, error.what()));
  }
  try {
    return parseScene(document, path.parent_path(), scene);
  } catch (const HostError &error) {
    throw HostError(fmt::format("{}: {}", path, error.what()));
  }
}

json sceneDocument(const Scene &scene, const std::vector<FilterEntry> &filters,
                   const std::filesystem::path &baseDir) {
  json document;
  document["lensfall_scene"] = kSceneFormatVersion;
  document["fps"] = scene.framesPerSecond;
  document["width"] = scene.width;
  document["height"] = scene.height;
  document["frame"] = scene.frame;
  if (scene.camera) {
    const HostCameraLens &lens = scene.camera->lens;
    document["camera"] = {
        {"focal_length_mm", lens.focalLengthMm},
        {"focal_distance", lens.focalDistance},
        {"hfov_rad", lens.horizontalFov},
        {"vfov_rad", lens.verticalFov},
        {"position", positionJson(scene.camera->position.constant)}};
    if (const auto &aim = scene.camera->aim) {
      document["camera"]["view_direction"] = positionJson(aim->view);
      document["camera"]["up_direction"] = positionJson(aim->up);
    }
  } else {
    document["camera"] = nullptr;
  }
  auto &objects = document["objects"] = json::array();
  for (const auto &object : scene.objects) {
    json entry = {{"name", cp932ToUtf8(object->name)},
                  {"position", positionJson(object->position.constant)}};
    if (object->position.isKeyed()) {
      auto &keys = entry["keys"] = json::array();
      for (const Key &key : object->position.keyed[0].keys()) {
        keys.push_back(
            {{"time", key.time},
             {"position", positionJson(object->position.at(key.time))}});
      }
    }
    objects.push_back(std::move(entry));
  }
  auto &images = document["images"] = json::array();
  for (const auto &image : scene.images) {
    json entry = {{"name", cp932ToUtf8(image->name)}};
    if (image->files.size() == 1) {
      entry["file"] = relativeTo(image->files.front(), baseDir);
    } else {
      auto &files = entry["files"] = json::array();
      for (const auto &file : image->files) {
        files.push_back(relativeTo(file, baseDir));
      }
    }
    images.push_back(std::move(entry));
  }
  auto &entries = document["filters"] = json::array();
  for (const FilterEntry &filter : filters) {
    entries.push_back({{"server", filter.server}, {"data", filter.data}});
  }
  return document;
}

void writeSceneFile(const std::filesystem::path &path, const Scene &scene,
                    const std::vector<FilterEntry> &filters) {
  const auto baseDir = path.has_parent_path()
                           ? std::filesystem::absolute(path).parent_path()
                           : std::filesystem::current_path();
  writeFileAtomically(path,
                      sceneDocument(scene, filters, baseDir).dump(1) + "\n");
}

}  // namespace lensfall::host
