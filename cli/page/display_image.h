// The page's pictures of a frame: linear planes shown through a display
// exposure and the sRGB curve as 8-bit RGB, regions of them for the 1:1
// view, and the reduced frame the preview filters.
#pragma once

#include <cstdint>
#include <vector>

#include "host/frame.h"

namespace lensfall::cli {

// A rectangle of pixels, its corner at (x, y), top row first.
struct Region {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Region &) const = default;
};

// The region of `size` that is `wanted` moved and cut to lie inside a
// frame of `frameWidth` x `frameHeight`: a rectangle larger than the frame
// becomes the whole frame; a smaller one keeps its size.
Region regionInside(Region wanted, int frameWidth, int frameHeight);

// The 8-bit sRGB code of a linear value: the value is clamped to 0..1 and
// the sRGB transfer curve applied, then rounded to the nearest code. Values
// that are not numbers show as black.
uint8_t srgbCode(float linear);

// Which of a frame's planes a picture shows.
enum class Planes { Input, Filtered };

// 8-bit RGB rows of `region` of the frame. The linear values are scaled
// by 2^stops before they are clamped, so highlights above 1 can be brought
// into view.
std::vector<uint8_t> displayPixels(const host::Frame &frame, Planes planes,
                                   double stops, Region region);

// Shrinks a frame by point sampling, so that colour, alpha and depth stay
// consistent per pixel, to at most `maxWidth` pixels across.
host::Frame reducedFrame(const host::Frame &frame, int maxWidth);

}  // namespace lensfall::cli
