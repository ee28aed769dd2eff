// A frame's work buffers, allocated together and released together.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lensfall {

// One pixel of a four-channel buffer: R, G, B, A.
struct alignas(16) Float4 {
  float c[4];
};

// The zeroing block allocation the buffers are made with (std::calloc's
// contract, freed with std::free); tests pass one that fails to exercise the
// failure path.
using BlockAllocation = void *(*)(std::size_t count, std::size_t size);

// Which buffers a frame's path uses: the uniform path reads no depth and no
// sizes and stops no light, so it goes without those three buffers.
enum class BufferSet { all, uniformPath };

// The buffers of one frame, indexed by y x width + x. The three sum buffers
// start zeroed; the source, depth and size buffers are filled by the frame's
// first steps before anything reads them. Every block comes zeroed from the
// allocation: blocks this large are often fresh pages that the system hands
// over zeroed, so the sums cost no zeroing pass of their own. A buffer of a
// set that leaves it out is null.
class FrameBuffers {
 public:
  FrameBuffers() = default;
  ~FrameBuffers() { release(); }
  FrameBuffers(const FrameBuffers &) = delete;
  FrameBuffers &operator=(const FrameBuffers &) = delete;

  // Allocates the set's buffers for a width x height frame. On failure
  // (including a frame too large to index) nothing stays allocated and false
  // is returned.
  bool allocate(int width, int height, BlockAllocation allocation = nullptr,
                BufferSet set = BufferSet::all);
  // Releases whatever is allocated; safe to call twice.
  void release();

  int width = 0;
  int height = 0;
  Float4 *source = nullptr;
  float *depth = nullptr;
  std::int32_t *sizeMap = nullptr;
  Float4 *colourSums = nullptr;
  Float4 *weightSums = nullptr;
  Float4 *blockedWeights = nullptr;

 private:
  // The blocks as allocated, in the release order: size map, depth, source,
  // colour sums, weight sums, blocked weights.
  void *blocks_[6] = {};
};

}  // namespace lensfall
