#include "render/frame_buffers.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "hostlink/check.h"

namespace lensfall {

namespace {

enum Block { kSizeMap, kDepth, kSource, kColourSums, kWeightSums, kBlocked };

void *mallocAllocation(std::size_t bytes) { return std::malloc(bytes); }

// A float4 buffer of `pixels` elements in a block of pixels + 1 elements: the
// first element sits at the block's address rounded down to 16, plus 16, so
// it is aligned whatever the allocator gives.
Float4 *alignedFloat4(void *block) {
  const auto address = reinterpret_cast<std::uintptr_t>(block);
  return reinterpret_cast<Float4 *>((address & ~std::uintptr_t{15}) + 16);
}

}  // namespace

bool FrameBuffers::allocate(int w, int h, BlockAllocation allocation) {
  // Blocks of the same size are kept: touching fresh pages costs a page fault
  // each, which for a 1280 x 720 frame is more than the size map and the
  // write-back together. Only the sums need their zeros again.
  if (allocation == nullptr && w == width && h == height && kept_) {
    LENSFALL_DCHECK(source != nullptr && colourSums != nullptr);
    zeroSums();
    return true;
  }
  release();
  kept_ = allocation == nullptr;
  if (allocation == nullptr) allocation = mallocAllocation;
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
    const std::size_t bytes = block == kDepth ? pixels * sizeof(float)
                              : block == kSizeMap
                                  ? pixels * sizeof(std::int32_t)
                                  : float4Bytes;
    blocks_[block] = allocation(bytes);
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
  blockedWeights = alignedFloat4(blocks_[kBlocked]);
  zeroSums();
  return true;
}

void FrameBuffers::zeroSums() {
  const std::size_t pixels =
      static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  for (Float4 *sums : {colourSums, weightSums, blockedWeights}) {
    std::memset(static_cast<void *>(sums), 0, pixels * sizeof(Float4));
  }
}

void FrameBuffers::release() {
  for (void *&block : blocks_) {
    std::free(block);
    block = nullptr;
  }
  width = height = 0;
  kept_ = false;
  source = colourSums = weightSums = blockedWeights = nullptr;
  depth = nullptr;
  sizeMap = nullptr;
}

}  // namespace lensfall
