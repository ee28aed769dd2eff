#include "render/frame_buffers.h"

#include <cstdint>
#include <cstdlib>
#include <limits>

namespace lensfall {

namespace {

enum Block { kSizeMap, kDepth, kSource, kColourSums, kWeightSums, kBlocked };

void *callocAllocation(std::size_t count, std::size_t size) {
  return std::calloc(count, size);
}

// A float4 buffer of `pixels` elements in a block of pixels + 1 elements: the
// first element sits at the block's address rounded down to 16, plus 16, so
// it is aligned whatever the allocator gives.
Float4 *alignedFloat4(void *block) {
  const auto address = reinterpret_cast<std::uintptr_t>(block);
  return reinterpret_cast<Float4 *>((address & ~std::uintptr_t{15}) + 16);
}

}  // namespace

bool FrameBuffers::allocate(int w, int h, BlockAllocation allocation,
                            BufferSet set) {
  release();
  if (allocation == nullptr) allocation = callocAllocation;
  if (w <= 0 || h <= 0) return false;
  const std::size_t pixels =
      static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  if (pixels / static_cast<std::size_t>(w) != static_cast<std::size_t>(h) ||
      pixels >= std::numeric_limits<std::size_t>::max() / sizeof(Float4) - 1) {
    return false;
  }
  const std::size_t float4Bytes = (pixels + 1) * sizeof(Float4);

  // Allocated in the order source, depth, size map, then the three sums.
  const Block order[] = {kSource,     kDepth,      kSizeMap,
                         kColourSums, kWeightSums, kBlocked};
  for (Block block : order) {
    if (set == BufferSet::uniformPath &&
        (block == kDepth || block == kSizeMap || block == kBlocked)) {
      continue;
    }
    const std::size_t bytes = block == kDepth ? pixels * sizeof(float)
                              : block == kSizeMap
                                  ? pixels * sizeof(std::int32_t)
                                  : float4Bytes;
    blocks_[block] = allocation(bytes, 1);
    if (blocks_[block] == nullptr) {
      release();
      return false;
    }
  }
  width = w;
  height = h;
  source = alignedFloat4(blocks_[kSource]);
  depth = static_cast<float *>(blocks_[kDepth]);
  sizeMap = static_cast<std::int32_t *>(blocks_[kSizeMap]);
  colourSums = alignedFloat4(blocks_[kColourSums]);
  weightSums = alignedFloat4(blocks_[kWeightSums]);
  blockedWeights =
      blocks_[kBlocked] != nullptr ? alignedFloat4(blocks_[kBlocked]) : nullptr;
  return true;
}

void FrameBuffers::release() {
  for (void *&block : blocks_) {
    std::free(block);
    block = nullptr;
  }
  width = height = 0;
  source = colourSums = weightSums = blockedWeights = nullptr;
  depth = nullptr;
  sizeMap = nullptr;
}

}  // namespace lensfall
