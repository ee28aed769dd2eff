// The stand-in host's scene file: frame settings, camera, objects, images
// and each filter instance's saved data, as JSON.
//
// {
//   "lensfall_scene": 1,
//   "fps": 24, "width": 640, "height": 360, "frame": 1,
//   "camera": {"focal_length_mm": 50, "focal_distance": 8.0,
//              "hfov_rad": 0.69, "vfov_rad": 0.40, "position": [0, -8, 1.45]},
//   "objects": [{"name": "Subject", "position": [0, 0, 1.18]},
//               {"name": "Ball", "keys": [{"time": 0, "position": [...]},
//               ...]}],
//   "images": [{"name": "bokeh", "file": "bokeh.png"},
//              {"name": "flicker", "files": ["a.png", "b.png"]}],
//   "filters": [{"server": "Lensfall", "data": [...]}]
// }
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/atomic_write.h"
#include "host/scene.h"

namespace lensfall::host {

inline constexpr int kSceneFormatVersion = 1;

struct FilterEntry {
  std::string server;
  nlohmann::json data;
};

// Fills `scene` (which should be empty) and returns the filter entries.
// Throws HostError naming the file and the value that is wrong.
std::vector<FilterEntry> readSceneFile(const std::filesystem::path &path,
                                       Scene &scene);
std::vector<FilterEntry> parseScene(const nlohmann::json &document,
                                    const std::filesystem::path &baseDir,
                                    Scene &scene);

nlohmann::json sceneDocument(const Scene &scene,
                             const std::vector<FilterEntry> &filters,
                             const std::filesystem::path &baseDir);

void writeSceneFile(const std::filesystem::path &path, const Scene &scene,
                    const std::vector<FilterEntry> &filters);

}  // namespace lensfall::host
