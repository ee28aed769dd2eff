// The kernel bank: one aperture kernel for every odd size a frame can need,
// their weight sums, and the weight of one kernel cell at an offset.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "kernels/fallback_kernels.h"
#include "settings/filter_settings.h"

namespace lensfall {

// The largest kernel edge length a bank holds.
inline constexpr int kMaxKernelSize = 301;

struct ApertureKernel {
  std::int32_t size;  // odd edge length
  // Sums of the cell bytes: mono [0] all cells; colour [0] R, [1] G, [2] B.
  // The unused sums are 0.
  std::int32_t weightSum[4];
  std::uint8_t *cells;  // size x size x 3 bytes, owned by the bank
};

// Entry i holds the kernel of size 2i + 1, so size s is entry s / 2. An empty
// bank (no entries, count 0) means the bank could not be built.
struct KernelBank {
  ApertureKernel *entries;
  std::int32_t count;
};

// The zeroing allocation a bank is built with (std::calloc's contract); tests
// pass one that fails to exercise the failure path.
using ZeroedAllocation = void *(*)(std::size_t count, std::size_t size);

// The number of entries a frame needs: sizes 1, 3, ... up to the diameter
// that the aperture and the front and back maxima allow, capped at
// kMaxKernelSize. Never less than 1.
std::int32_t kernelBankCount(const FilterSettings &settings);

// Rasterises every kernel of the frame with the aperture of `settings` and
// sums its weights; the kernels' layout is settings.kernelIsColor afterwards.
// When memory cannot be had, nothing is left allocated and the bank is empty.
KernelBank BuildKernelBank(FilterSettings &settings,
                           ZeroedAllocation allocate = nullptr);

// Frees every entry's cells and the entries, leaving the bank empty.
void releaseKernelBank(KernelBank &bank);

// Fills weightSum from the cells: mode 0 mono, 1 colour; any other mode, or a
// kernel without cells, leaves all four sums 0.
void SumKernelWeights(ApertureKernel &kernel, int mode);

// The weight (R, G, B, A; each cell byte / 255) that the kernel of `size`
// centred on (cx, cy) gives to (x, y); zeros outside the kernel. A size the
// bank lacks is drawn with the aperture of `settings`, the record being
// processed, which is left as it is (drawing records the layout it drew in
// a copy): only the one cell asked for where
// rasterizeApertureWindow can give it alone, taken from `fallback` when one
// is passed (a frame's store of such kernels), and zeros when memory cannot
// be had. Mode 0 gives the mono cell four times, mode 1 R, G, B and their
// mean; any other mode gives zeros.
std::array<double, 4> SampleKernel(int mode, int cx, int cy, int x, int y,
                                   const KernelBank &bank, int size,
                                   const FilterSettings &settings,
                                   FallbackKernels *fallback = nullptr);

}  // namespace lensfall
