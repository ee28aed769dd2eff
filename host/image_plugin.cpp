#include "host/image_plugin.h"

#include <dlfcn.h>
#include <fmt/format.h>

#include <mutex>

#include "host/atomic_write.h"
#include "host/host_error.h"
#include "host/path_format.h"
#include "host/running_program.h"

namespace lensfall::host {

namespace {

constexpr const char *kPluginName = "lensfall_images.so";

const ImagePlugin *load(std::string &tried) {
  std::vector<std::filesystem::path> places;
  if (const auto self = runningProgram(); !self.empty()) {
    places.push_back(self.parent_path() / kPluginName);
  }
#ifdef LENSFALL_IMAGES_PLUGIN_PATH
  if (places.empty() || places.front() != LENSFALL_IMAGES_PLUGIN_PATH) {
    places.emplace_back(LENSFALL_IMAGES_PLUGIN_PATH);
  }
#endif
  for (const std::filesystem::path &place : places) {
    std::error_code error;
    if (!std::filesystem::exists(place, error)) {
      tried += fmt::format("{}{}: not there", tried.empty() ? "" : "; ",
                           place.string());
      continue;
    }
    void *library = dlopen(place.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (library == nullptr) {
      tried += fmt::format("{}{}", tried.empty() ? "" : "; ", dlerror());
      continue;
    }
    using Entry = const ImagePlugin *(*)();
    const auto entry =
        reinterpret_cast<Entry>(dlsym(library, "lensfall_image_plugin"));
    const ImagePlugin *plugin = entry != nullptr ? entry() : nullptr;
    if (plugin != nullptr && plugin->version == kImagePluginVersion) {
      return plugin;
    }
    tried += fmt::format("{}{}: not this version's image plug-in",
                         tried.empty() ? "" : "; ", place.string());
  }
  return nullptr;
}

}  // namespace

const ImagePlugin &imagePlugin() {
  static std::once_flag once;
  static const ImagePlugin *plugin = nullptr;
  static std::string tried;
  std::call_once(once, [] { plugin = load(tried); });
  if (plugin == nullptr) {
    throw HostError(fmt::format(
        "cannot load the image plug-in that reads and writes formats other "
        "than EXR ({})",
        tried));
  }
  return *plugin;
}

void writeEncoded(const std::filesystem::path &path,
                  const EncodeRequest &request) {
  std::string encoded, error;
  EncodeRequest named = request;
  named.fileName = path.string();
  if (!imagePlugin().encode(named, encoded, error) || encoded.empty()) {
    throw HostError(
        fmt::format("{}: cannot encode the image: {}", path,
                    error.empty() ? "the format cannot hold it" : error));
  }
  writeFileAtomically(path, encoded);
}

}  // namespace lensfall::host
