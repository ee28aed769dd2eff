#include "kernels/filled_half.h"

#include <cstddef>

namespace lensfall {

int filledHalf(const std::uint8_t *cells, int size, int stride,
               const CellWindow &window) {
  const int centre = size / 2;
  auto filled = [&](int u, int v) {
    if (u < window.x || u >= window.x + window.width || v < window.y ||
        v >= window.y + window.height) {
      return false;
    }
    const std::size_t index =
        static_cast<std::size_t>(v - window.y) * window.width + (u - window.x);
    return cells[index * stride] != 0;
  };
  if (!filled(centre, centre)) return -1;
  // Grow the square by one ring at a time while the whole ring is filled.
  int h = 0;
  while (centre + h + 1 < size) {
    const int r = h + 1;
    bool ring = true;
    for (int t = -r; t <= r && ring; ++t) {
      ring = filled(centre + t, centre - r) && filled(centre + t, centre + r) &&
             filled(centre - r, centre + t) && filled(centre + r, centre + t);
    }
    if (!ring) break;
    h = r;
  }
  return h;
}

}  // namespace lensfall
