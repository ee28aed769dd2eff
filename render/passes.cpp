#include "render/passes.h"

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>

#include "render/fast_gather.h"
#include "render/fast_scatter.h"
#include "render/gather.h"
#include "render/scatter.h"

namespace lensfall {

namespace {

bool flagged(const FrameBuffers &b, std::size_t i) {
  return b.blockedWeights[i].c[3] >= 0.1;
}

// The fast cores' shared state, or null when memory for it cannot be had: the
// literal cores then do the same work without it.
template <typename T, typename... Args>
std::unique_ptr<T> tryMake(Args &&...args) {
  try {
    return std::make_unique<T>(std::forward<Args>(args)...);
  } catch (const std::bad_alloc &) {
    return nullptr;
  }
}

// What a kernel row costs the fast cores, in the literal cores' cost of one
// kernel cell: a run's set-up, its two ends in the difference buffer and its
// occlusion check against a cell's product and sums (measured on the shared
// frames, where it breaks even near size 8).
constexpr double kRowCost = 8.0;

}  // namespace

Cores cheaperCores(const PassInputs &in, int uniformSize) {
  double cells = 0.0, rows = 0.0;
  if (uniformSize > 0) {
    const double n = bankedSize(in.bank, uniformSize);
    cells = n * n;
    rows = n;
  } else {
    const FrameBuffers &b = in.buffers;
    const std::size_t pixels = static_cast<std::size_t>(b.width) * b.height;
    for (std::size_t i = 0; i < pixels; ++i) {
      const double n = bankedSize(in.bank, std::abs(b.sizeMap[i]));
      cells += n * n;
      rows += n;
    }
  }
  return cells > kRowCost * rows ? Cores::fast : Cores::literal;
}

bool runUniformPass(const PassInputs &in, int size, Cores cores,
                    RowProgress progress) {
  if (cores == Cores::cheaper) cores = cheaperCores(in, size);
  const FrameBuffers &b = in.buffers;
  std::unique_ptr<KernelRuns> runs;
  std::unique_ptr<FastGather> gather;
  if (cores == Cores::fast) {
    runs = tryMake<KernelRuns>(in.bank, in.kernelIsColor);
    if (runs) {
      gather = tryMake<FastGather>(in, *runs, bankedSize(in.bank, size) / 2);
    }
  }
  if (gather) {
    // Rows in bands, each row still reported on its own.
    for (int y = 0; y < b.height; y += FastGather::kBand) {
      const int count = std::min(FastGather::kBand, b.height - y);
      gather->uniformRows(y, count, size);
      for (int j = 0; j < count; ++j) {
        if (progress.stop()) return false;
      }
    }
    return true;
  }
  for (int y = 0; y < b.height; ++y) {
    for (int x = 0; x < b.width; ++x) gatherPixel(in, x, y, size);
    if (progress.stop()) return false;
  }
  return true;
}

bool runDepthPasses(const PassInputs &in, Cores cores, RowProgress progress) {
  if (cores == Cores::cheaper) cores = cheaperCores(in, 0);
  const FrameBuffers &b = in.buffers;
  std::unique_ptr<KernelRuns> runs;
  if (cores == Cores::fast)
    runs = tryMake<KernelRuns>(in.bank, in.kernelIsColor);
  std::unique_ptr<FastScatter> scatter;
  if (runs) scatter = tryMake<FastScatter>(in, *runs);
  for (int y = 0; y < b.height; ++y) {
    if (scatter) {
      // Destination rows: row y of the sums is complete after this.
      scatter->row(y);
    } else {
      for (int x = 0; x < b.width; ++x) {
        scatterPixel(
            in, x, y,
            std::abs(b.sizeMap[static_cast<std::size_t>(y) * b.width + x]));
      }
    }
    if (progress.stop()) return false;
  }
  scatter.reset();

  // Pixels that stopped a tenth or more of some source's light were filled
  // only by what got past them; they are gathered afresh instead.
  std::unique_ptr<FastGather> gather;
  if (runs) {
    int largestHalf = -1;
    for (std::size_t i = 0; i < static_cast<std::size_t>(b.width) * b.height;
         ++i) {
      if (flagged(b, i)) {
        largestHalf = std::max(largestHalf,
                               bankedSize(in.bank, std::abs(b.sizeMap[i])) / 2);
      }
    }
    if (largestHalf >= 0) gather = tryMake<FastGather>(in, *runs, largestHalf);
  }
  for (int y = 0; y < b.height; ++y) {
    for (int x = 0; x < b.width; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * b.width + x;
      if (!flagged(b, i)) continue;
      b.colourSums[i] = Float4{};
      b.weightSums[i] = Float4{};
      if (gather) {
        gather->pixel(x, y, std::abs(b.sizeMap[i]));
      } else {
        gatherPixel(in, x, y, std::abs(b.sizeMap[i]));
      }
    }
    if (progress.stop()) return false;
  }
  return true;
}

}  // namespace lensfall
