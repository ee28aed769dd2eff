// The fast gather: the literal gather reproduced over runs of equal cells of
// the point-reflected kernel, a run applied to a row of sources being one
// difference of prefix sums.
#pragma once

#include <vector>

#include "kernels/kernel_runs.h"
#include "render/pass_inputs.h"
#include "render/source_prefix.h"

namespace lensfall {

// A difference of prefix sums loses the digits of everything left of the run
// (after the power, values span many orders of magnitude), so every pixel's
// sums are checked against the rounding bound of what they used. A pixel
// whose sum is too small for the bound of plain double prefixes is summed
// again from the prefix pairs (sum and rounding error), and one too small
// even for those is summed directly.
// One run's sweep over a row of the uniform gather: pixel x takes w x (the
// prefix at high[x] less the one at low[x]) per channel, and w x (countHigh[x]
// - countLow[x]) into its weights.
struct RunSweep {
  const double *high, *low, *countHigh, *countLow;
  double w[4];
};

class FastGather {
 public:
  // Rows gathered together by uniformRows.
  static constexpr int kBand = 4;
  // Run sweeps a row takes in one pass over its sums.
  static constexpr int kRunsPerPass = 4;

  // `largestHalf`: the largest half-size any gather of this pass will use.
  // Throws std::bad_alloc.
  FastGather(const PassInputs &in, const KernelRuns &runs, int largestHalf);

  // Every pixel of rows y .. y + count - 1 (count at most kBand) with the
  // same size n (the uniform path): each run of the kernel is one sweep over
  // a row, and each source row is read once for all of them.
  void uniformRows(int y, int count, int n);
  // One pixel with size n, as gatherPixel does.
  void pixel(int x, int y, int n);

  // Pixels whose sums needed more than the plain double prefixes: summed from
  // the pairs in a sweep of their row, from the pairs one by one, directly.
  struct Refined {
    long swept = 0, paired = 0, direct = 0;
  };
  const Refined &refined() const { return refined_; }

 private:
  // One output row of a band being gathered.
  struct BandRow {
    std::vector<double> colour, weight;  // R, G, B, A per pixel
    // The weights depend on the row only through which kernel rows fall
    // inside the image: rows with the same span reuse them.
    int weightSize = -1, weightFirst = -1, weightLast = -1;
    bool weights = false;            // being summed afresh in this band
    int first = 0, last = -1;        // the kernel rows inside the image
    std::vector<double> rowWeights;  // per kernel row: its runs' weights
    double magnitude[4] = {};        // sum of weight x row magnitude
    bool nonNegative = true;         // no source it used is negative
    int runs = 0;                    // runs added
    // Runs' sweeps waiting to be added in one pass, in the order given.
    RunSweep held[kRunsPerPass] = {};
    int pending = 0;
  };

  // Adds the row's waiting sweeps.
  void flush(BandRow &row, int width);

  // Checks every pixel's sums against their rounding bound, refines those
  // that fail, and adds the row into the frame's sums.
  void finishRow(BandRow &row, int y, int half);
  // Pixels of row y (in failing_) whose sums failed the bound of plain
  // double prefixes: summed from the pairs, in one sweep where many cluster.
  void refine(BandRow &row, int y, int half);
  // Failing pixels [begin, end) of failing_ by one sweep of their span.
  void sweep(BandRow &row, int y, int half, std::size_t begin, std::size_t end);
  // Sums of pixel (x, y) from the prefix pairs; false when a sum is too small
  // for their rounding bound.
  bool fromPairs(int x, int y, int half, double colour[4], double weight[4]);
  bool pairsSuffice(const double colour[4], const double absolute[4],
                    const double magnitude[4], int runs) const;
  // Sums of pixel (x, y) by direct summation in double.
  void direct(int x, int y, int half, double colour[4], double weight[4]);
  void store(int x, int y, const double colour[4], const double weight[4]);

  // Failing pixels at most kClusterGap apart form a cluster; clusters of
  // kSweepFrom or more are refined by one sweep of their span.
  static constexpr int kClusterGap = 8;
  static constexpr std::size_t kSweepFrom = 8;

  const PassInputs &in_;
  const KernelRuns &runs_;
  SourcePrefixRing ring_;
  std::vector<BandRow> band_;
  std::vector<int> failing_;
  std::vector<double> pairColour_, pairAbsolute_;  // 4 per pixel of a span
  Refined refined_;
};

}  // namespace lensfall
