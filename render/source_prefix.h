// Per-row prefix sums of the source in double, kept in a ring of the rows a
// gather window can reach.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "render/frame_buffers.h"

namespace lensfall {

// Element j of row v holds, for each channel k (R, G, B, A, interleaved so
// that one load serves all four), the sum of source[v][u].k over
// u < clamp(j - pad, 0, width). The padding turns every clipped window into a
// plain difference of two elements. Beside each sum the ring keeps its
// rounding error by the two-sum, so that a difference of two pairs keeps
// about twice double's digits where one double is not enough.
class SourcePrefixRing {
 public:
  // Elements per block of the error bounds.
  static constexpr int kBlock = 16;

  // Holds the 2 x pad + 1 rows one window reaches and `extraRows` more.
  // Throws std::bad_alloc.
  SourcePrefixRing(const FrameBuffers &buffers, int pad, int extraRows = 0);

  // The row's sums (4 x length doubles), filled on first use.
  const double *sums(int v) { return slot(v); }
  // The rounding errors of those sums, same layout.
  const double *errors(int v) { return slot(v) + 4 * length_; }
  // Per channel, the sum of |source| over row v: a bound on every prefix.
  const double *magnitudes(int v) { return slot(v) + 8 * length_; }
  // Whether every source value of row v is at least 0.
  bool nonNegative(int v) { return slot(v)[8 * length_ + 4] != 0.0; }
  // Per block b and channel k (at 4 b + k), a bound on how far each plain sum
  // up to the end of block b (elements below (b + 1) x kBlock) is from its
  // exact value: the largest rounding error recorded so far.
  const double *errorBounds(int v) { return slot(v) + 8 * length_ + 5; }

  // clamp(j - pad, 0, width): the pixels before element j.
  const double *counts() const { return counts_.data(); }
  int pad() const { return pad_; }
  std::size_t length() const { return length_; }

 private:
  double *slot(int v);

  const FrameBuffers &b_;
  int pad_;
  int rows_;
  std::size_t length_;
  std::size_t blocks_;
  std::size_t slotSize_;
  // Left unzeroed: a slot is written whole before it is first read.
  std::unique_ptr<double[]> data_;
  std::vector<int> held_;  // the source row each slot holds, or -1
  std::vector<double> counts_;
};

}  // namespace lensfall
