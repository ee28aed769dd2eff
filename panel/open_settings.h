// The options callback: opens the settings window over currentSettings.
#pragma once

namespace lensfall {

// Returns null when the window is open, else the host's message text.
const char *openSettings(void *instance);

}  // namespace lensfall
