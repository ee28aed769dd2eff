// The fast cores: the literal gather and scatter reproduced over runs of
// equal kernel cells, with the occlusion test kept exact.
#pragma once

#include <cstdint>
#include <vector>

#include "kernels/kernel_runs.h"
#include "render/pass_inputs.h"

namespace lensfall {

// Padded per-row prefix sums of the source, in double, for the rows a gather
// window can reach: element j of row v, channel k, is the sum of
// source[v][u].k over u < clamp(j - pad, 0, width), held as a pair (sum, its
// rounding error by the two-sum) so that a difference of two keeps about
// twice double's digits. The padding turns every
// clipped window into a plain difference of two elements.
class SourcePrefixRing {
 public:
  // Throws std::bad_alloc.
  SourcePrefixRing(const FrameBuffers &buffers, int pad);
  const double *row(int v, int k);  // filled on first use
  const double *errors(int v, int k) { return row(v, k) + 4 * length_; }
  // The sum of |source| over row v, channel k: a bound on every prefix of it.
  double magnitude(int v, int k) {
    row(v, k);
    return magnitudes_[static_cast<std::size_t>(v % rows_) * 4 + k];
  }
  const double *counts() const { return counts_.data(); }
  int pad() const { return pad_; }

 private:
  const FrameBuffers &b_;
  int pad_;
  int rows_;
  std::size_t length_;
  std::vector<double> data_;
  std::vector<int> held_;           // the source row each slot holds, or -1
  std::vector<double> magnitudes_;  // per slot and channel
  std::vector<double> counts_;      // clamp(j - pad, 0, width): pixels before j
};

// Gathers by prefix sums over the runs of the point-reflected kernel: a run
// of equal cells applied to a row of sources is one difference of prefix
// sums. A difference of prefix sums loses the digits of everything left of
// the run (after the power, values span many orders of magnitude), so each
// pixel's sums are checked against the rounding bound of the prefixes they
// used, and a pixel whose sum is too small for that bound is summed directly.
class FastGather {
 public:
  // `largestHalf`: the largest half-size any gather of this pass will use.
  FastGather(const PassInputs &in, const KernelRuns &runs, int largestHalf);

  // Every pixel of row y with the same size n (the uniform path); the row's
  // sweep is a stream over x, one run at a time.
  void uniformRow(int y, int n);
  // One pixel with size n, as gatherPixel does.
  void pixel(int x, int y, int n);

 private:
  // Colour and weight sums of pixel (x, y) by direct summation in double.
  void direct(int x, int y, int half, double colour[4], double weight[4]);
  void store(int x, int y, const double colour[4], const double weight[4]);

  const PassInputs &in_;
  const KernelRuns &runs_;
  SourcePrefixRing ring_;
  std::vector<double> acc_;  // 8 x width: colour R, G, B, A, weight R, G, B, A
};

// Scatters destination row by destination row: every source run that lands
// on the row goes into a difference buffer in double, whole when the row
// holds no surface that could stop its light, split at each one that does
// (each tested exactly as the literal scatter tests it). Sources reach a
// destination in the literal order (source rows, then columns, ascending), so
// blockedWeights are added in the same order, bit for bit.
class FastScatter {
 public:
  FastScatter(const PassInputs &in, const KernelRuns &runs);
  void row(int v);

 private:
  void buildRangeMinima(int v);
  void source(int x, int y, int half, int dy, int v);
  void addSegment(int u0, int u1, const double *values, const bool *live);
  void flush(int v);
  bool stops(int x, int y, int u, int v, float dd, float ds) const;
  // Colour and weight sums that the sources give pixel (u, v), summed
  // directly in double with the exact occlusion test.
  void direct(int u, int v, double sums[8]);
  float depthMin(int l, int r) const;
  std::int32_t sizeMin(int l, int r) const;

  const PassInputs &in_;
  const KernelRuns &runs_;
  int width_, height_, channels_, counted_;
  int largestHalf_ = 0;
  bool lensOk_;
  bool refine_ = false;  // the cone bound can narrow the candidates
  double coneScale_;     // 2 x apertureRadius x focalLength x pixelsPerFilmUnit
  static constexpr int kTile = 32;
  int tiles_;
  std::vector<std::int16_t> tileHalf_;  // per row and tile: largest half
  std::vector<std::int16_t> rowHalf_;   // per row: largest half
  // Channels x (width + 1) cells, each a pair (sum, rounding error) added
  // with the two-sum, so the prefix pass carries about twice double's digits.
  std::vector<double> diff_;
  std::vector<double> reach_;       // channels x (width + 1): |added|
  std::vector<double> near_;        // channels x width: short segments
  long long adds_ = 0;              // additions into the row's cells
  std::vector<std::int32_t> live_;  // counted x (width + 1)
  int levels_;
  std::vector<float> depthMin_;        // levels x width, sparse table
  std::vector<std::int32_t> sizeMin_;  // levels x width (colour kernels)
};

}  // namespace lensfall
