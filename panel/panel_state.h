// Module-wide state of the settings window: the two panel services and the
// handles of the window and form made by the last opening.
#pragma once

#include "hostapi/panel.h"

namespace lensfall {

extern const HostFormFuncs *formService;
extern const HostWindowFuncs *windowService;
extern HostWindowID settingsWindow;
extern HostFormID settingsForm;

// Closes and destroys an open settings window, and with it its form; both
// handles are null afterwards. Does nothing when no window is open.
void closeSettingsWindow();

// Asks the form service to read the form's values again, when a form exists.
void refreshSettingsForm();

}  // namespace lensfall
