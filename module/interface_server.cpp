// The interface server's boundary: acquires the form and window services
// and installs the options callback that opens the settings window.
#include "hostapi/services.h"
#include "module/servers.h"
#include "panel/open_settings.h"
#include "panel/panel_state.h"

namespace lensfall {

namespace {

const char *openOptions(void *instance) noexcept {
  return openSettings(instance);
}

}  // namespace

int activateInterface(int version, HostGlobalFunc *global, void *local,
                      void *) noexcept {
  if (version != HOST_INTERFACE_VERSION) return HOST_ACTIVATE_BAD_VERSION;
  if (global == nullptr) return HOST_ACTIVATE_BAD_SERVICE;
  formService =
      static_cast<const HostFormFuncs *>(global(HOST_FORM_SERVICE, 0));
  windowService =
      static_cast<const HostWindowFuncs *>(global(HOST_WINDOW_SERVICE, 0));
  if (formService == nullptr || windowService == nullptr) {
    return HOST_ACTIVATE_BAD_SERVICE;
  }
  auto *record = static_cast<HostInterfaceRecord *>(local);
  if (record != nullptr) {
    record->panel = nullptr;
    record->options = openOptions;
    record->command = nullptr;
  }
  return HOST_ACTIVATE_OK;
}

}  // namespace lensfall
