#include "panel/panel_state.h"

namespace lensfall {

const HostFormFuncs *formService = nullptr;
const HostWindowFuncs *windowService = nullptr;
HostWindowID settingsWindow = nullptr;
HostFormID settingsForm = nullptr;

void closeSettingsWindow() {
  if (settingsWindow == nullptr) return;
  HostWindowID window = settingsWindow;
  if (windowService != nullptr) {
    // Closing runs the window's close callback, which destroys the form and
    // clears both handles; a host that closes silently leaves that to us.
    windowService->close(window);
    windowService->destroy(window);
  }
  if (settingsForm != nullptr && formService != nullptr) {
    formService->destroy(settingsForm);
  }
  settingsForm = nullptr;
  settingsWindow = nullptr;
}

void refreshSettingsForm() {
  if (settingsForm != nullptr && formService != nullptr) {
    formService->viewRefresh(settingsForm);
  }
}

}  // namespace lensfall
