// A host session: the services, the loaded module, its activated filter and
// the filter instances of one scene. Opening a scene creates the instances
// and loads their data through the module; saving writes it back through
// the module, to a temporary file renamed over the old one.
#pragma once

#include <filesystem>
#include <memory>

#include "host/filter_host.h"
#include "host/module_file.h"
#include "host/scene_file.h"
#include "host/services.h"

namespace lensfall::host {

class Session {
 public:
  explicit Session(const std::filesystem::path &modulePath);

  HostServices &services() { return services_; }
  Scene &scene() { return services_.scene(); }
  const ModuleFile &module() const { return module_; }
  FilterHost &filter() { return *filter_; }

  // Reads the scene file and creates one instance per filter entry. Throws
  // HostError naming the file, the filter entry and the problem.
  void openScene(const std::filesystem::path &path);
  void saveScene(const std::filesystem::path &path);

  // The scene's Lensfall instances, in scene-file order.
  const std::vector<HostInstance> &instances() const {
    return filter_->instances();
  }

 private:
  HostServices services_;  // outlives the module, whose callbacks use it
  ModuleFile module_;
  std::unique_ptr<FilterHost> filter_;
};

}  // namespace lensfall::host
