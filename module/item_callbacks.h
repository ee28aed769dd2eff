// The flags, use-items and change-ID callbacks of the filter.
#pragma once

#include "hostapi/filter.h"
#include "settings/filter_settings.h"

namespace lensfall {

// Every instance asks for the depth buffer, whatever its settings.
unsigned int filterFlags(const FilterSettings &settings);

// The module-wide list of used items: the focus item, then the terminator.
// Valid until the next call for any instance.
const HostItemID *usedItems(const FilterSettings &settings);

// Follows the focus item through the host's (old, new) ID pairs, which end
// with a null old ID. Only the first matching pair applies.
void changeItemIds(FilterSettings &settings, const HostItemID *pairs);

}  // namespace lensfall
