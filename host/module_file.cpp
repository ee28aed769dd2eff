#include "host/module_file.h"

#include <dlfcn.h>
#include <fmt/format.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "host/host_error.h"
#include "host/path_format.h"
#include "host/running_program.h"

namespace lensfall::host {

namespace {

// A module lists its servers in a null-terminated array; a broken one could
// run on forever, so the walk stops at a sane count.
constexpr int kMaxServers = 64;

}  // namespace

ModuleFile::ModuleFile(const std::filesystem::path &path) : path_(path) {
  if (!std::filesystem::exists(path)) {
    throw HostError(fmt::format("{}: no such module file", path));
  }
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char *why = dlerror();
    throw HostError(fmt::format("{}: not a loadable shared library: {}", path,
                                why != nullptr ? why : "unknown reason"));
  }
  descriptor_ = static_cast<const HostModuleDescriptor *>(
      dlsym(handle_, HOST_MODULE_DESCRIPTOR_SYMBOL));
  auto fail = [&](const std::string &why) {
    dlclose(handle_);
    handle_ = nullptr;
    throw HostError(fmt::format("{}: {}", path, why));
  };
  if (descriptor_ == nullptr) {
    fail(fmt::format("no module descriptor (symbol {})",
                     HOST_MODULE_DESCRIPTOR_SYMBOL));
  }
  if (descriptor_->sync != HOST_MODULE_SYNC) {
    fail(fmt::format("wrong synchronisation word {:#010x} (expected {:#010x})",
                     descriptor_->sync, uint32_t(HOST_MODULE_SYNC)));
  }
  if (descriptor_->systemVersion != HOST_MODULE_SYSTEM_VERSION) {
    fail(fmt::format("unsupported system version {} (expected {})",
                     descriptor_->systemVersion,
                     int(HOST_MODULE_SYSTEM_VERSION)));
  }
  if (descriptor_->machine != HOST_MODULE_MACHINE) {
    fail(fmt::format("wrong machine word {:#x} (expected {:#x})",
                     descriptor_->machine, int(HOST_MODULE_MACHINE)));
  }
  if (descriptor_->servers == nullptr) fail("the descriptor lists no servers");
  for (int k = 0;; ++k) {
    if (k == kMaxServers) fail("the server list has no end record");
    const HostServerRecord &server = descriptor_->servers[k];
    if (server.className == nullptr) break;
    servers_.push_back(
        {server.className, server.name != nullptr ? server.name : ""});
  }
  moduleData_ =
      descriptor_->startup != nullptr ? descriptor_->startup() : nullptr;
  if (descriptor_->startup != nullptr && moduleData_ == nullptr) {
    fail("module startup failed");
  }
}

ModuleFile::~ModuleFile() {
  if (handle_ == nullptr) return;
  if (descriptor_->shutdown != nullptr) descriptor_->shutdown(moduleData_);
  dlclose(handle_);
}

int ModuleFile::activate(const std::string &className, const std::string &name,
                         int version, HostGlobalFunc *global,
                         void *local) const {
  for (int k = 0; k < int(servers_.size()); ++k) {
    const HostServerRecord &server = descriptor_->servers[k];
    if (className == server.className && name == servers_[size_t(k)].name) {
      if (server.activate == nullptr) {
        throw HostError(fmt::format("{}: server {} \"{}\" has no activation",
                                    path_, className, name));
      }
      return server.activate(version, global, local, nullptr);
    }
  }
  throw HostError(
      fmt::format("{}: no server {} \"{}\"", path_, className, name));
}

void ModuleFile::activateOrThrow(const std::string &className,
                                 const std::string &name, int version,
                                 HostGlobalFunc *global, void *local) const {
  const int result = activate(className, name, version, global, local);
  if (result == HOST_ACTIVATE_OK) return;
  const char *why = result == HOST_ACTIVATE_BAD_VERSION
                        ? "it does not support this host's interface version"
                    : result == HOST_ACTIVATE_BAD_SERVICE
                        ? "a host service it needs is missing"
                        : "it failed";
  throw HostError(fmt::format(
      "{}: server {} \"{}\" refused activation with interface version {} "
      "(result {}): {}",
      path_, className, name, version, result, why));
}

std::filesystem::path defaultModulePath() {
  if (const char *fromEnvironment = std::getenv("LENSFALL_MODULE")) {
    if (*fromEnvironment != '\0') return fromEnvironment;
  }
  const auto self = runningProgram();
  const auto dir =
      self.empty() ? std::filesystem::current_path() : self.parent_path();
  for (const auto &candidate :
       {dir / "lensfall.p", dir / ".." / "lensfall.p"}) {
    if (std::filesystem::exists(candidate)) return candidate.lexically_normal();
  }
  return dir / "lensfall.p";
}

}  // namespace lensfall::host
