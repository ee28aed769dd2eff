// Each kernel row of a bank as runs of equal cells, with the weights the
// scatter and the gather give each cell byte.
#pragma once

#include <cstdint>
#include <vector>

#include "kernels/kernel_bank.h"
#include "kernels/kernel_layout.h"

namespace lensfall {

// Columns [start, end] of one kernel row whose cells all hold `bytes` (one
// byte for mono kernels, R, G, B for colour ones); never all zero.
struct KernelRun {
  std::int16_t start;
  std::int16_t end;
  std::uint8_t bytes[3];
};

// Almost every geometric kernel row is one run (circle, polygon) or two
// (ring), so a whole row of cells is handled as a few values; kernels with
// gradients (images) simply have many short runs.
class KernelRuns {
 public:
  // Throws std::bad_alloc when memory cannot be had.
  KernelRuns(const KernelBank &bank, int mode);

  const KernelRun *rowBegin(int entry, int row) const {
    return runs_.data() + rowFirst_[entryFirstRow_[entry] + row];
  }
  const KernelRun *rowEnd(int entry, int row) const {
    return runs_.data() + rowFirst_[entryFirstRow_[entry] + row + 1];
  }
  // False for an entry without cells or of the wrong size: the cores skip it.
  bool usable(int entry) const { return usable_[entry] != 0; }

  // The scatter's weight of a run of entry `entry`, channel k (R, G, B, A);
  // mono kernels give the same weight on all four. Bit for bit the float the
  // direct loop computes: cell / weightSum as a double division, stored as
  // float, and A = (B + G + R) / 3 for colour kernels.
  void scatterWeights(int entry, const KernelRun &run, float w[4]) const;
  // The gather's weight of a run: cell / 255, likewise bit for bit.
  void gatherWeights(const KernelRun &run, float w[4]) const;

  int mode() const { return mode_; }
  KernelLayout layout() const { return layoutOfMode(mode_); }

 private:
  int mode_;
  std::vector<KernelRun> runs_;
  std::vector<std::int32_t> rowFirst_;       // per row of every entry, + 1
  std::vector<std::int32_t> entryFirstRow_;  // per entry
  std::vector<std::uint8_t> usable_;
  std::vector<float> scatterTable_;  // per entry, 3 x 256 bytes
};

}  // namespace lensfall
