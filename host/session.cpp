#include "host/session.h"

#include <fmt/format.h>

#include "host/host_error.h"
#include "host/path_format.h"

namespace lensfall::host {

Session::Session(const std::filesystem::path &modulePath)
    : module_(modulePath),
      filter_(std::make_unique<FilterHost>(module_, services_)) {}

void Session::openScene(const std::filesystem::path &path) {
  const std::vector<FilterEntry> entries = readSceneFile(path, scene());
  services_.sceneChanged();
  for (size_t k = 0; k < entries.size(); ++k) {
    const FilterEntry &entry = entries[k];
    if (entry.server != kLensfallServer) {
      throw HostError(fmt::format("{}: filters[{}]: no filter server \"{}\"",
                                  path, k, entry.server));
    }
    HostInstance instance = filter_->create();
    try {
      filter_->load(instance, entry.data);
    } catch (const HostError &error) {
      filter_->destroy(instance);
      throw HostError(
          fmt::format("{}: filters[{}]: {}", path, k, error.what()));
    }
  }
}

void Session::saveScene(const std::filesystem::path &path) {
  std::vector<FilterEntry> entries;
  for (HostInstance instance : instances()) {
    entries.push_back({kLensfallServer, filter_->save(instance)});
  }
  writeSceneFile(path, scene(), entries);
}

}  // namespace lensfall::host
