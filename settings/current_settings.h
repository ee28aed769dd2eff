// The module-wide reference to the most recently created settings record.
// The panel, the thumbnail, the occlusion test and the kernel fallback read
// it; it is null before the first creation and after that record's
// destruction, so every reader must cope with null.
#pragma once

#include "settings/filter_settings.h"

namespace lensfall {

extern FilterSettings *currentSettings;

}  // namespace lensfall
