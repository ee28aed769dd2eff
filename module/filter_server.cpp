// The filter server's boundary: host records in, typed calls out. Every
// entry point is noexcept and reports failure only through the host's
// result codes and message texts.
#include "hostapi/filter.h"
#include "hostlink/service_table.h"
#include "module/item_callbacks.h"
#include "module/servers.h"
#include "panel/panel_state.h"
#include "render/render_frame.h"
#include "settings/lifecycle.h"
#include "settings/persistence.h"

namespace lensfall {

namespace {

FilterSettings &settingsOf(HostInstance instance) {
  return *static_cast<FilterSettings *>(instance);
}

HostInstance createInstance(void *, void *, const char **error) noexcept {
  return createSettings(error);
}

void destroyInstance(HostInstance instance) noexcept {
  // An open settings window shows some instance's values: it goes first.
  closeSettingsWindow();
  destroySettings(static_cast<FilterSettings *>(instance));
}

const char *copyInstance(HostInstance to, HostInstance from) noexcept {
  if (to == nullptr || from == nullptr) return nullptr;
  return copySettings(settingsOf(to), settingsOf(from));
}

const char *loadInstance(HostInstance instance,
                         const HostLoadState *state) noexcept {
  if (instance == nullptr || state == nullptr) return nullptr;
  return loadSettings(settingsOf(instance), *state);
}

const char *saveInstance(HostInstance instance,
                         const HostSaveState *state) noexcept {
  if (instance == nullptr || state == nullptr) return nullptr;
  return saveSettings(settingsOf(instance), *state);
}

unsigned int flagsOf(HostInstance instance) noexcept {
  return filterFlags(settingsOf(instance));
}

const HostItemID *useItems(HostInstance instance) noexcept {
  return usedItems(settingsOf(instance));
}

void changeIds(HostInstance instance, const HostItemID *pairs) noexcept {
  changeItemIds(settingsOf(instance), pairs);
}

void processInstance(HostInstance instance,
                     const HostFilterAccess *access) noexcept {
  if (instance == nullptr || access == nullptr) return;
  try {
    renderFrame(settingsOf(instance), *access);
  } catch (...) {
    // Memory ran out inside a standard container: the frame's own buffers
    // are released as the stack unwinds, and the host keeps its pixels.
  }
}

}  // namespace

int activateFilter(int version, HostGlobalFunc *global, void *local,
                   void *) noexcept {
  if (version != HOST_INTERFACE_VERSION) return HOST_ACTIVATE_BAD_VERSION;
  auto *handler = static_cast<HostFilterHandler *>(local);
  if (handler == nullptr || global == nullptr) return HOST_ACTIVATE_BAD_SERVICE;
  if (handler->instance != nullptr) {
    handler->instance->create = createInstance;
    handler->instance->destroy = destroyInstance;
    handler->instance->copy = copyInstance;
    handler->instance->load = loadInstance;
    handler->instance->save = saveInstance;
  }
  handler->flags = flagsOf;
  handler->process = processInstance;
  if (handler->item != nullptr) {
    handler->item->changeID = changeIds;
    handler->item->useItems = useItems;
  }
  return acquireServices(global) ? HOST_ACTIVATE_OK : HOST_ACTIVATE_BAD_SERVICE;
}

}  // namespace lensfall
