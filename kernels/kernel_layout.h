// How a kernel's cells hold their weights. The settings record and the
// host-facing code carry it as the number 0 (mono) or 1 (colour).
#pragma once

namespace lensfall {

// mono: one byte per cell, the same weight for R, G, B and A, one weight sum;
// the scatter carries four colour sums and one weight per pixel, and counts
// one kind of live run. colour: R, G, B bytes per cell, a weight sum per
// channel and alpha's weight their mean; the scatter carries four colour sums
// and four weights, and counts live runs per channel.
enum class KernelLayout { mono, colour };

constexpr KernelLayout layoutOfMode(int mode) {
  return mode == 0 ? KernelLayout::mono : KernelLayout::colour;
}

// The sums a scatter carries per pixel, and the channels whose live runs it
// counts, for each layout.
constexpr int sumChannels(KernelLayout layout) {
  return layout == KernelLayout::mono ? 5 : 8;
}
constexpr int countedChannels(KernelLayout layout) {
  return layout == KernelLayout::mono ? 1 : 4;
}

}  // namespace lensfall
