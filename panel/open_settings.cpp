#include "panel/open_settings.h"

#include "module/texts.h"

namespace lensfall {

// The settings form is not built yet: the host is told the panel cannot be
// made, and nothing is opened.
const char *openSettings(void *) { return texts::kMessageNoPanel; }

}  // namespace lensfall
