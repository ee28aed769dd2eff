// Creation, destruction and copying of settings records. Errors are the
// host's message texts; null means success.
#pragma once

#include "settings/filter_settings.h"

namespace lensfall {

// A new record with its defaults, its channel group and its seven variant
// parameters, designated by currentSettings. Returns null and sets *error
// when the record or any parameter cannot be made; nothing is left behind
// then, and currentSettings is null.
FilterSettings *createSettings(const char **error);

// Destroys the parameters and releases the
// record. currentSettings no longer designates it afterwards. The boundary
// closes an open settings window first.
void destroySettings(FilterSettings *settings);

// Copies everything but the destination's own parameter handles and channel
// group, then copies each parameter's value or envelope.
const char *copySettings(FilterSettings &to, const FilterSettings &from);

}  // namespace lensfall
