// The process callback: one rendered frame in, depth of field out.
#pragma once

#include "hostapi/filter.h"
#include "settings/filter_settings.h"

namespace lensfall {

void processFrame(FilterSettings &settings, const HostFilterAccess &access);

}  // namespace lensfall
