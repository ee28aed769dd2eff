#include "kernels/raster_scratch.h"

#include <cstdlib>
#include <limits>

namespace lensfall {

RasterScratch rasterScratch;

RasterScratch::~RasterScratch() {
  std::free(seedBits);
  std::free(rowStack);
  std::free(rowFirst);
  std::free(rowLast);
  std::free(rowQueued);
}

namespace {

std::size_t wordsPerRow(int width) {
  return (static_cast<std::size_t>(width) + 63) / 64;
}

bool growSeedBits(std::size_t words) {
  if (words <= rasterScratch.seedWordCapacity) return true;
  // Fresh bits are zeroed, which is the state every fill starts from.
  auto *bits =
      static_cast<std::uint64_t *>(std::calloc(words, sizeof(std::uint64_t)));
  if (bits == nullptr) return false;
  std::free(rasterScratch.seedBits);
  rasterScratch.seedBits = bits;
  rasterScratch.seedWordCapacity = words;
  return true;
}

bool growRows(std::size_t rows) {
  if (rows <= rasterScratch.rowCapacity) return true;
  auto *stack =
      static_cast<std::int32_t *>(std::malloc(rows * sizeof(std::int32_t)));
  auto *first =
      static_cast<std::int32_t *>(std::malloc(rows * sizeof(std::int32_t)));
  auto *last =
      static_cast<std::int32_t *>(std::malloc(rows * sizeof(std::int32_t)));
  auto *queued = static_cast<std::uint8_t *>(std::calloc(rows, 1));
  if (stack == nullptr || first == nullptr || last == nullptr ||
      queued == nullptr) {
    std::free(stack);
    std::free(first);
    std::free(last);
    std::free(queued);
    return false;
  }
  std::free(rasterScratch.rowStack);
  std::free(rasterScratch.rowFirst);
  std::free(rasterScratch.rowLast);
  std::free(rasterScratch.rowQueued);
  rasterScratch.rowStack = stack;
  rasterScratch.rowFirst = first;
  rasterScratch.rowLast = last;
  rasterScratch.rowQueued = queued;
  rasterScratch.rowCapacity = rows;
  return true;
}

}  // namespace

bool reserveFillScratch(int width, int height) {
  if (width <= 0 || height <= 0) return false;
  const std::size_t rows = static_cast<std::size_t>(height);
  const std::size_t words = wordsPerRow(width);
  if (words >
      std::numeric_limits<std::size_t>::max() / sizeof(std::uint64_t) / rows) {
    return false;
  }
  return growSeedBits(words * rows) && growRows(rows);
}

}  // namespace lensfall
