#include "settings/current_settings.h"

namespace lensfall {

FilterSettings *currentSettings = nullptr;

}  // namespace lensfall
