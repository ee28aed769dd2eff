#include "kernels/kernel_runs.h"

#include <cstddef>

namespace lensfall {

namespace {

constexpr double kCellScale = 1.0 / 255;
constexpr double kThird = 1.0 / 3;

}  // namespace

KernelRuns::KernelRuns(const KernelBank &bank, int mode) : mode_(mode) {
  const int count = bank.count > 0 ? bank.count : 0;
  const int stride = mode == 0 ? 1 : 3;
  entryFirstRow_.resize(count);
  usable_.assign(count, 0);
  scatterTable_.assign(static_cast<std::size_t>(count) * 3 * 256, 0.0f);
  rowFirst_.push_back(0);
  for (int e = 0; e < count; ++e) {
    const ApertureKernel &kernel = bank.entries[e];
    const int n = 2 * e + 1;
    entryFirstRow_[e] = static_cast<std::int32_t>(rowFirst_.size()) - 1;
    const bool ok = kernel.cells != nullptr && kernel.size == n;
    usable_[e] = ok ? 1 : 0;
    for (int k = 0; k < 3; ++k) {
      const std::int32_t sum = kernel.weightSum[k];
      for (int b = 0; b < 256; ++b) {
        scatterTable_[(static_cast<std::size_t>(e) * 3 + k) * 256 + b] =
            sum > 0 ? static_cast<float>(static_cast<double>(b) / sum) : 0.0f;
      }
    }
    for (int row = 0; row < n; ++row) {
      if (ok) {
        const std::uint8_t *cells =
            kernel.cells + static_cast<std::size_t>(row) * n * stride;
        int col = 0;
        while (col < n) {
          const std::uint8_t *first = cells + col * stride;
          int end = col;
          auto same = [&](int c) {
            for (int k = 0; k < stride; ++k) {
              if (cells[c * stride + k] != first[k]) return false;
            }
            return true;
          };
          while (end + 1 < n && same(end + 1)) ++end;
          bool zero = true;
          for (int k = 0; k < stride; ++k) zero = zero && first[k] == 0;
          if (!zero) {
            KernelRun run{static_cast<std::int16_t>(col),
                          static_cast<std::int16_t>(end),
                          {first[0], 0, 0}};
            if (stride == 3) {
              run.bytes[1] = first[1];
              run.bytes[2] = first[2];
            }
            runs_.push_back(run);
          }
          col = end + 1;
        }
      }
      rowFirst_.push_back(static_cast<std::int32_t>(runs_.size()));
    }
  }
}

void KernelRuns::scatterWeights(int entry, const KernelRun &run,
                                float w[4]) const {
  const float *table =
      scatterTable_.data() + static_cast<std::size_t>(entry) * 768;
  if (mode_ == 0) {
    w[0] = w[1] = w[2] = w[3] = table[run.bytes[0]];
    return;
  }
  w[0] = table[run.bytes[0]];
  w[1] = table[256 + run.bytes[1]];
  w[2] = table[512 + run.bytes[2]];
  w[3] = static_cast<float>((w[2] + w[1] + w[0]) * kThird);
}

void KernelRuns::gatherWeights(const KernelRun &run, float w[4]) const {
  if (mode_ == 0) {
    w[0] = w[1] = w[2] = w[3] = static_cast<float>(run.bytes[0] * kCellScale);
    return;
  }
  w[0] = static_cast<float>(run.bytes[0] / 255.0);
  w[1] = static_cast<float>(run.bytes[1] / 255.0);
  w[2] = static_cast<float>(run.bytes[2] / 255.0);
  w[3] = static_cast<float>((w[2] + w[1] + w[0]) * kThird);
}

}  // namespace lensfall
