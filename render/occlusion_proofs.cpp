// The proofs that let the fast scatter take a whole stretch or span of
// destinations at once: where they hold, every pixel they cover would stop
// the light under the literal test as well, so the light is cut out whole;
// where they cannot be shown, the pixels take the exact test one by one.
// The cone's own bound on candidates, and its proof, are in occluder.cpp.
#include <algorithm>
#include <cstddef>

#include "hostlink/check.h"
#include "kernels/filled_half.h"
#include "render/fast_scatter.h"

namespace lensfall {

// The occluder size grows as the destination's depth falls, in every
// operation (each is monotone, and rounds monotonically), so the stretch's
// farthest and nearest depths bound the sizes of all its pixels. Where even
// the smallest is 4 pixels wider than twice the source's reach, every pixel
// lies inside the cone and inside its occluder's kernel; the light is then
// stopped everywhere if each size in between has no empty cell as far out
// as the stretch reaches from the source.
bool FastScatter::stretchStops(double nearest, double farthest, double ds,
                               int reach, int offset) {
  const int smallest = cone_.occluderCells(farthest, ds);
  if (smallest < 2 * reach + 4) return false;
  return filledOver(smallest, cone_.occluderCells(nearest, ds), offset);
}

int FastScatter::filledHalf(int m) {
  if (m < 0) return -1;
  if (static_cast<std::size_t>(m) >= filled_.size()) {
    if (m >= kFilledSizes) return kernelFilledHalf(m);
    filled_.resize(static_cast<std::size_t>(m) + 1, kUnknown);
  }
  int &known = filled_[m];
  if (known == kUnknown) known = kernelFilledHalf(m);
  return known;
}

bool FastScatter::filledOver(int smallest, int largest, int offset) {
  // The test reads the odd size at or above each occluder size.
  const int first = smallest % 2 == 0 ? smallest + 1 : smallest;
  const int last = largest % 2 == 0 ? largest + 1 : largest;
  if (last - first > 2 * kStretchSizes) return false;
  constexpr int kBlockWidth = 2 * kFilledBlock;  // sizes, odd and even
  int m = first;
  while (m <= last) {
    const int block = m / kBlockWidth;
    const int blockLast = block * kBlockWidth + kBlockWidth - 1;
    if (m == block * kBlockWidth + 1 && blockLast <= last &&
        blockLast < kFilledSizes) {
      if (static_cast<std::size_t>(block) >= blockFilled_.size()) {
        blockFilled_.resize(static_cast<std::size_t>(block) + 1, kUnknown);
      }
      int &least = blockFilled_[block];
      if (least == kUnknown) {
        least = filledHalf(m);
        for (int k = m + 2; k <= blockLast; k += 2) {
          least = std::min(least, filledHalf(k));
        }
      }
      if (least < offset) return false;
      m = blockLast + 2;
      continue;
    }
    if (filledHalf(m) < offset) return false;
    m += 2;
  }
  return true;
}

int FastScatter::kernelFilledHalf(int m) {
  // Kernels have odd sizes: the test reads the odd size at or above each
  // occluder size.
  LENSFALL_DCHECK_EQ(m % 2, 1);
  const KernelBank &bank = in_.bank;
  const int half = m / 2;
  if (half < bank.count && bank.entries[half].size == m &&
      bank.entries[half].cells != nullptr) {
    return lensfall::filledHalf(bank.entries[half].cells, m, mono() ? 1 : 3,
                                CellWindow{0, 0, m, m});
  }
  return in_.fallback != nullptr
             ? in_.fallback->filledHalf(m, runs_.mode(), in_.settings)
             : -1;
}

// As stretchStops, over a range of source depths. The occluder size grows
// with the source's depth as well, exactly, but its rounding need not follow
// to the last bit; a pixel of margin on either side covers that.
bool FastScatter::stopsSpan(double nearest, double farthest, double dsMin,
                            double dsMax, int reach, int offset) {
  const int smallest = cone_.occluderCells(farthest, dsMin) - 1;
  if (smallest < 2 * reach + 4) return false;
  return filledOver(smallest, cone_.occluderCells(nearest, dsMax) + 1, offset);
}

}  // namespace lensfall
