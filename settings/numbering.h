// Popup numbering of objects and images: position 0 is none, position k the
// k-th object (or image) in the host's order. Load, the change-ID callback
// and the settings form share it.
#pragma once

#include "hostapi/ids.h"

namespace lensfall {

// The first object whose name equals `name` byte for byte; none for "(none)"
// or when no object has that name.
HostItemID objectByName(const char *name);
int objectIndexOf(HostItemID item);
HostItemID objectAtIndex(int position);

int imageIndexOf(HostImageID image);
HostImageID imageAtIndex(int position);

// The name that stands for "no item" in scene files and popups.
inline constexpr char kNoneName[] = "(none)";

}  // namespace lensfall
