// The host's side of one activated image filter: its handler record, and
// the instance operations a host performs through it. Message texts that the
// module returns are decoded from code page 932 into HostError messages.
#pragma once

#include <nlohmann/json.hpp>
#include <vector>

#include "host/module_file.h"
#include "host/services.h"
#include "hostapi/filter.h"

namespace lensfall::host {

inline constexpr char kFilterClass[] = "ImageFilterHandler";
inline constexpr char kInterfaceClass[] = "ImageFilterInterface";
inline constexpr char kLensfallServer[] = "Lensfall";

class FilterHost {
 public:
  // Activates the module's filter server; throws HostError when it refuses.
  FilterHost(const ModuleFile &module, HostServices &services,
             const std::string &serverName = kLensfallServer);
  // Destroys every instance still alive.
  ~FilterHost();
  FilterHost(const FilterHost &) = delete;
  FilterHost &operator=(const FilterHost &) = delete;

  const HostFilterHandler &handler() const { return handler_; }
  bool hasItemCallbacks() const { return handler_.item != nullptr; }

  HostInstance create();
  void destroy(HostInstance instance);
  void copy(HostInstance to, HostInstance from);
  // Loads data written by save. Throws HostError for data the module's host
  // services could not read, or when the module reports an error.
  void load(HostInstance instance, const nlohmann::json &data);
  nlohmann::json save(HostInstance instance);
  // The item callbacks; a host without them would never call these.
  unsigned int flags(HostInstance instance) const;
  std::vector<HostItemID> usedItems(HostInstance instance) const;
  void changeIds(HostInstance instance,
                 const std::vector<std::pair<HostItemID, HostItemID>> &pairs);

  const std::vector<HostInstance> &instances() const { return instances_; }

 private:
  HostInstanceFuncs instanceFuncs_{};
  HostItemFuncs itemFuncs_{};
  HostFilterHandler handler_{};
  std::vector<HostInstance> instances_;
};

// A module message in UTF-8, for errors and display.
std::string moduleText(const char *cp932);

}  // namespace lensfall::host
