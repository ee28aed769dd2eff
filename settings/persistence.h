// The scene-file data of one instance: seven parameter blocks, six
// integers, the focus object's name and, when set, the aperture image.
#pragma once

#include "hostapi/io_state.h"
#include "settings/filter_settings.h"

namespace lensfall {

// The longest focus name that load accepts, terminator included.
inline constexpr int kNameBufferSize = 256;

// Errors are the host's texts, returned unchanged; null means success.
const char *saveSettings(const FilterSettings &settings,
                         const HostSaveState &state);
const char *loadSettings(FilterSettings &settings, const HostLoadState &state);

}  // namespace lensfall
