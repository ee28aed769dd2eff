// Loading a module file the way a host does: open it, read and check its
// descriptor, start it, list and activate its servers, shut it down.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "hostapi/module.h"

namespace lensfall::host {

struct ServerEntry {
  std::string className;
  std::string name;
};

class ModuleFile {
 public:
  // Throws HostError naming the file and the cause.
  explicit ModuleFile(const std::filesystem::path &path);
  ~ModuleFile();
  ModuleFile(const ModuleFile &) = delete;
  ModuleFile &operator=(const ModuleFile &) = delete;

  const std::filesystem::path &path() const { return path_; }
  const HostModuleDescriptor &descriptor() const { return *descriptor_; }
  const std::vector<ServerEntry> &servers() const { return servers_; }

  // Runs the activation of the server of that class and name and returns
  // its result code. Throws HostError when the module has no such server.
  int activate(const std::string &className, const std::string &name,
               int version, HostGlobalFunc *global, void *local) const;
  // As activate, but a result other than success is a HostError.
  void activateOrThrow(const std::string &className, const std::string &name,
                       int version, HostGlobalFunc *global, void *local) const;

 private:
  std::filesystem::path path_;
  void *handle_ = nullptr;
  const HostModuleDescriptor *descriptor_ = nullptr;
  void *moduleData_ = nullptr;
  std::vector<ServerEntry> servers_;
};

// The module file built beside the running program, or the one named by
// the LENSFALL_MODULE environment variable.
std::filesystem::path defaultModulePath();

}  // namespace lensfall::host
