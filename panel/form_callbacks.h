// The callbacks the form and window services call while the settings window
// is open: value access keyed by control id, the two popups, and the
// notifications. All run on the host's interface thread, one at a time.
#pragma once

#include "hostapi/panel.h"

namespace lensfall {

// The form reads a plain value through the field's address, an animated one
// through its variant parameter; null for the thumbnail and unknown ids.
void *getSetting(void *record, unsigned long id) noexcept;
// Stores the 32-bit integer at `value` for the plain settings; an edit of the
// rotation or the deformation re-evaluates the record at time 0. Always
// answers refresh code 2.
int setSetting(void *record, unsigned long id, void *value) noexcept;

// The focus popup ("(none)", then the objects) and the image popup
// ("(none)", then the images).
int focusItemCount(void *data) noexcept;
const char *focusItemName(void *data, int index) noexcept;
int imageCount(void *data) noexcept;
const char *imageName(void *data, int index) noexcept;

// Form notifications: any change refreshes the view; the host's own
// destruction of the form clears the handle.
void onFormChange(HostFormID form, unsigned long controlId,
                  unsigned long valueId, int event) noexcept;
void onFormDestroy(void *form) noexcept;

// Window callbacks (attributes 10 and 13).
void onWindowClose(HostWindowID window, void *data) noexcept;
void onWindowKey(HostWindowID window, void *data, int key) noexcept;

}  // namespace lensfall
