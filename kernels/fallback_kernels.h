// The kernels beyond the bank that one frame's occlusion tests ask for: only
// the central window of each that a scatter can reach, drawn once per size
// and kept for the frame within a memory budget.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <unordered_map>

#include "kernels/aperture.h"
#include "settings/filter_settings.h"

namespace lensfall {

class FallbackKernels {
 public:
  // Windows held at once are bounded by this many bytes; the oldest go first.
  static constexpr std::size_t kDefaultBudget = std::size_t{32} << 20;

  // `reach` is the largest offset from a kernel's centre that will be asked
  // for along either axis: half the bank's largest size for a scatter, whose
  // window never exceeds that size.
  explicit FallbackKernels(int reach, std::size_t budget = kDefaultBudget);
  ~FallbackKernels();
  FallbackKernels(const FallbackKernels &) = delete;
  FallbackKernels &operator=(const FallbackKernels &) = delete;

  // The bytes of cell (u, v) of the size-`size` kernel of `settings`, as the
  // whole kernel holds them (one byte for mode 0, R, G, B for mode 1). Null
  // when this store cannot answer: the cell lies beyond the reach, the
  // kernel's layout is not `mode`, or a window could not be held; the caller
  // then draws what it needs itself. All windows must come from one record
  // with unchanged aperture settings, as within one frame.
  const std::uint8_t *cell(int size, int u, int v, int mode,
                           const FilterSettings &settings);

  // filledHalf of the size-`size` kernel's window (within the reach), or -1
  // when this store holds no window of that kernel in layout `mode`.
  int filledHalf(int size, int mode, const FilterSettings &settings);

  std::size_t bytesHeld() const { return held_; }

 private:
  struct Window {
    CellWindow area;
    int mode;
    bool drawn;  // false: memory could not be had, and the kernel gives 0
    std::uint8_t *bytes;
    std::size_t byteCount;
    int filled = kUnknown;  // filledHalf, once asked for
  };
  static constexpr int kUnknown = -2;

  Window *windowFor(int size, const FilterSettings &settings);
  void evictOldest();

  int reach_;
  std::size_t budget_;
  std::size_t held_ = 0;
  std::unordered_map<int, Window> windows_;
  std::deque<int> order_;  // sizes, oldest first
  int lastSize_ = 0;
  Window *last_ = nullptr;
};

}  // namespace lensfall
