#include "host/filter_host.h"

#include <fmt/format.h>

#include <algorithm>

#include "host/host_error.h"
#include "host/instance_data.h"
#include "host/path_format.h"
#include "host/text_codec.h"

namespace lensfall::host {

std::string moduleText(const char *cp932) {
  if (cp932 == nullptr) return "";
  try {
    return cp932ToUtf8(cp932);
  } catch (const HostError &) {
    return fmt::format("(undecodable message: {})", cp932);
  }
}

FilterHost::FilterHost(const ModuleFile &module, HostServices &services,
                       const std::string &serverName) {
  handler_.instance = &instanceFuncs_;
  handler_.item = &itemFuncs_;
  module.activateOrThrow(kFilterClass, serverName, HOST_INTERFACE_VERSION,
                         services.lookup(), &handler_);
  if (instanceFuncs_.create == nullptr || instanceFuncs_.destroy == nullptr ||
      instanceFuncs_.load == nullptr || instanceFuncs_.save == nullptr ||
      instanceFuncs_.copy == nullptr) {
    throw HostError(
        fmt::format("{}: filter server \"{}\" installed no instance callbacks",
                    module.path(), serverName));
  }
}

FilterHost::~FilterHost() {
  while (!instances_.empty()) destroy(instances_.back());
}

HostInstance FilterHost::create() {
  const char *error = nullptr;
  HostInstance instance =
      instanceFuncs_.create(instanceFuncs_.privateData, nullptr, &error);
  if (instance == nullptr) {
    throw HostError("the filter could not create an instance: " +
                    (error != nullptr ? moduleText(error)
                                      : std::string("no reason given")));
  }
  instances_.push_back(instance);
  return instance;
}

void FilterHost::destroy(HostInstance instance) {
  const auto found = std::find(instances_.begin(), instances_.end(), instance);
  if (found == instances_.end()) return;
  instances_.erase(found);
  instanceFuncs_.destroy(instance);
}

void FilterHost::copy(HostInstance to, HostInstance from) {
  if (const char *error = instanceFuncs_.copy(to, from)) {
    throw HostError("the filter could not copy an instance: " +
                    moduleText(error));
  }
}

void FilterHost::load(HostInstance instance, const nlohmann::json &data) {
  DataReader reader(data);
  const char *error = instanceFuncs_.load(instance, &reader.state());
  if (reader.problem()) {
    throw HostError("instance data: " + *reader.problem());
  }
  if (error != nullptr) {
    throw HostError("the filter could not load its data: " + moduleText(error));
  }
  if (reader.unread() != 0) {
    throw HostError(
        fmt::format("instance data: {} item(s) after item {} were not read",
                    reader.unread(), reader.position()));
  }
}

nlohmann::json FilterHost::save(HostInstance instance) {
  DataWriter writer;
  const char *error = instanceFuncs_.save(instance, &writer.state());
  if (writer.problem()) throw HostError("instance data: " + *writer.problem());
  if (error != nullptr) {
    throw HostError("the filter could not save its data: " + moduleText(error));
  }
  return writer.take();
}

unsigned int FilterHost::flags(HostInstance instance) const {
  return handler_.flags != nullptr ? handler_.flags(instance) : 0;
}

std::vector<HostItemID> FilterHost::usedItems(HostInstance instance) const {
  std::vector<HostItemID> items;
  if (itemFuncs_.useItems == nullptr) return items;
  const HostItemID *list = itemFuncs_.useItems(instance);
  for (; list != nullptr && *list != nullptr; ++list) items.push_back(*list);
  return items;
}

void FilterHost::changeIds(
    HostInstance instance,
    const std::vector<std::pair<HostItemID, HostItemID>> &pairs) {
  if (itemFuncs_.changeID == nullptr) return;
  std::vector<HostItemID> list;
  for (const auto &[from, to] : pairs) {
    list.push_back(from);
    list.push_back(to);
  }
  list.push_back(nullptr);
  list.push_back(nullptr);
  itemFuncs_.changeID(instance, list.data());
}

}  // namespace lensfall::host
