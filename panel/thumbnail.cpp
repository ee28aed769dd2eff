#include "panel/thumbnail.h"

#include <cstdint>
#include <memory>
#include <new>

#include "kernels/aperture.h"
#include "panel/panel_state.h"
#include "settings/current_settings.h"

namespace lensfall {

void drawThumbnail(HostFormID, unsigned long, HostDrawAreaID area, int width,
                   int height) noexcept {
  if (formService == nullptr || formService->drawFuncs == nullptr ||
      formService->drawFuncs->drawRGBPixel == nullptr || width <= 0 ||
      height <= 0) {
    return;
  }
  const auto drawPixel = formService->drawFuncs->drawRGBPixel;
  const std::size_t cellCount = std::size_t(width) * std::size_t(width);
  // Zeroed, so a shape code the rasteriser does not know, or a fill that
  // lacked scratch, shows black rather than stale memory.
  std::unique_ptr<std::uint8_t[]> cells(new (std::nothrow)
                                            std::uint8_t[cellCount * 3]());
  if (!cells) return;

  // The record drawn is the newest instance's, as the renderer's own kernel
  // fallback sees it. Its destruction leaves none, and then the area is black.
  FilterSettings *settings = currentSettings;
  bool color = false;
  if (settings != nullptr) {
    settings->evalTime = 0.0;
    RasterizeAperture(cells.get(), width, *settings);
    color = settings->kernelIsColor != 0;
  }

  // The kernel is width x width; rows of a taller area below it are black,
  // never read from beyond the kernel.
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (y >= width) {
        drawPixel(area, 0, 0, 0, x, y);
        continue;
      }
      const std::size_t index = std::size_t(y) * std::size_t(width) + x;
      if (color) {
        const std::uint8_t *rgb = &cells[index * 3];
        drawPixel(area, rgb[0], rgb[1], rgb[2], x, y);
      } else {
        drawPixel(area, cells[index], cells[index], cells[index], x, y);
      }
    }
  }
}

}  // namespace lensfall
