// The aperture thumbnail: the form's draw callback for the drawn control.
#pragma once

#include "hostapi/panel.h"

namespace lensfall {

// Rasterises the aperture of the record currentSettings designates at the
// area's width and draws it pixel by pixel through the form service. Draws
// black when no record exists, and black below row width - 1 of an area
// taller than wide.
void drawThumbnail(HostFormID form, unsigned long controlId,
                   HostDrawAreaID area, int width, int height) noexcept;

}  // namespace lensfall
