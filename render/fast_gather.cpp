#include "render/fast_gather.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "hostlink/check.h"

namespace lensfall {

namespace {

// The relative error a fast sum may carry before the float32 sums are
// formed; a sum whose rounding bound exceeds it is summed another way.
constexpr double kRelative = 1e-6;

const double kUnit = std::ldexp(1.0, -53);  // double's unit roundoff

// Four channels of one pixel, as one vector of the compiler's: lane k is
// channel k, and each lane takes the operations of the scalar form.
typedef double Double4 __attribute__((vector_size(32)));

// The colour part of addRuns for `Count` runs, with the runs' rows in
// locals and the runs unrolled, so that the loop reads no run record and
// keeps no count of its own per pixel.
template <int Count>
[[gnu::always_inline]] inline void addColourRuns(double *__restrict colour,
                                                 const RunSweep *runs,
                                                 const Double4 *w, int width) {
  const double *high[Count], *low[Count];
  for (int i = 0; i < Count; ++i) {
    high[i] = runs[i].high;
    low[i] = runs[i].low;
  }
  for (int x = 0; x < width; ++x) {
    Double4 c;
    std::memcpy(&c, colour + 4 * x, sizeof c);
#pragma GCC unroll 4
    for (int i = 0; i < Count; ++i) {
      Double4 h, l;
      std::memcpy(&h, high[i] + 4 * x, sizeof h);
      std::memcpy(&l, low[i] + 4 * x, sizeof l);
      c += w[i] * (h - l);
    }
    std::memcpy(colour + 4 * x, &c, sizeof c);
  }
}

// Adds `count` runs' sweeps to the row in one pass: pixel x takes, run after
// run, w x (the prefix at high[x] less the one at low[x]) per channel, and
// w x (countHigh[x] - countLow[x]) into its weights when `weights`. Each
// pixel takes the runs in the order given, as one pass per run would add
// them, so its sums are the same to the bit; one pass loads and stores them
// once for all the runs.
__attribute__((target_clones("avx2", "default"))) void addRuns(
    double *__restrict colour, double *__restrict weight, const RunSweep *runs,
    int count, int width, bool weights) {
  static_assert(FastGather::kRunsPerPass == 4);
  Double4 w[FastGather::kRunsPerPass];
  for (int i = 0; i < count; ++i) {
    w[i] = Double4{runs[i].w[0], runs[i].w[1], runs[i].w[2], runs[i].w[3]};
  }
  switch (count) {
    case 4:
      addColourRuns<4>(colour, runs, w, width);
      break;
    case 3:
      addColourRuns<3>(colour, runs, w, width);
      break;
    case 2:
      addColourRuns<2>(colour, runs, w, width);
      break;
    case 1:
      addColourRuns<1>(colour, runs, w, width);
      break;
    default:
      break;
  }
  if (!weights) return;
  for (int x = 0; x < width; ++x) {
    Double4 c;
    std::memcpy(&c, weight + 4 * x, sizeof c);
    for (int i = 0; i < count; ++i) {
      const double cells = runs[i].countHigh[x] - runs[i].countLow[x];
      c += w[i] * cells;
    }
    std::memcpy(weight + 4 * x, &c, sizeof c);
  }
}

// The same sweep from prefix pairs, over `span` pixels, with the sum of the
// magnitudes of what was added beside it.
void addRunPairs(double *__restrict colour, double *__restrict absolute,
                 const double *__restrict sumsHigh,
                 const double *__restrict sumsLow,
                 const double *__restrict errorsHigh,
                 const double *__restrict errorsLow, const double w[4],
                 int span) {
  for (int x = 0; x < span; ++x) {
    for (int k = 0; k < 4; ++k) {
      const std::size_t i = 4 * static_cast<std::size_t>(x) + k;
      const double d =
          (sumsHigh[i] - sumsLow[i]) + (errorsHigh[i] - errorsLow[i]);
      colour[i] += w[k] * d;
      absolute[i] += w[k] * std::fabs(d);
    }
  }
}

}  // namespace

FastGather::FastGather(const PassInputs &in, const KernelRuns &runs,
                       int largestHalf)
    : in_(in),
      runs_(runs),
      ring_(in.buffers, largestHalf, kBand - 1),
      band_(kBand) {
  for (BandRow &row : band_) {
    row.colour.resize(static_cast<std::size_t>(4) * in.buffers.width);
    row.weight.resize(static_cast<std::size_t>(4) * in.buffers.width);
  }
}

void FastGather::uniformRows(int y0, int count, int requested) {
  const FrameBuffers &b = in_.buffers;
  const int n = bankedSize(in_.bank, requested);
  const int half = n / 2;
  if (!runs_.usable(half)) return;
  count = std::clamp(count, 0, std::min(kBand, b.height - y0));
  const int width = b.width;
  const int pad = ring_.pad();
  const double *counts = ring_.counts();

  for (int j = 0; j < count; ++j) {
    BandRow &row = band_[j];
    const int y = y0 + j;
    // Kernel row r, read backwards, meets the sources of row y - r + half.
    row.first = std::max(0, y + half - (b.height - 1));
    row.last = std::min(n - 1, y + half);
    row.weights = n != row.weightSize || row.first != row.weightFirst ||
                  row.last != row.weightLast;
    if (row.weights) {
      std::fill(row.weight.begin(), row.weight.end(), 0.0);
      row.weightSize = n;
      row.weightFirst = row.first;
      row.weightLast = row.last;
    }
    std::fill(row.colour.begin(), row.colour.end(), 0.0);
    std::fill(row.magnitude, row.magnitude + 4, 0.0);
    row.nonNegative = true;
    row.runs = 0;
    row.rowWeights.assign(static_cast<std::size_t>(4) * n, 0.0);
  }

  // Each source row once for the whole band, while it is in cache.
  const int top = std::max(0, y0 - half);
  const int bottom = std::min(b.height - 1, y0 + count - 1 + half);
  for (int v = top; v <= bottom; ++v) {
    const double *sums = ring_.sums(v);
    const double *rowMagnitude = ring_.magnitudes(v);
    const bool nonNegative = ring_.nonNegative(v);
    for (int j = 0; j < count; ++j) {
      BandRow &row = band_[j];
      const int r = y0 + j - v + half;
      if (r < 0 || r >= n) continue;
      row.nonNegative = row.nonNegative && nonNegative;
      double *rowWeight = &row.rowWeights[4 * static_cast<std::size_t>(r)];
      for (const KernelRun *run = runs_.rowBegin(half, r);
           run != runs_.rowEnd(half, r); ++run) {
        float cell[4];
        runs_.gatherWeights(*run, cell);
        const double w[4] = {cell[0], cell[1], cell[2], cell[3]};
        // Output x takes sources x + half - end .. x + half - start.
        const int high = half - run->start + 1 + pad;
        const int low = half - run->end + pad;
        row.held[row.pending++] = RunSweep{sums + 4 * high,
                                           sums + 4 * low,
                                           counts + high,
                                           counts + low,
                                           {w[0], w[1], w[2], w[3]}};
        if (row.pending == kRunsPerPass) flush(row, width);
        for (int k = 0; k < 4; ++k) {
          row.magnitude[k] += w[k] * rowMagnitude[k];
          rowWeight[k] += w[k];
        }
        ++row.runs;
      }
    }
  }
  for (int j = 0; j < count; ++j) {
    flush(band_[j], width);
    finishRow(band_[j], y0 + j, half);
  }
}

void FastGather::flush(BandRow &row, int width) {
  LENSFALL_DCHECK_LE(row.pending, kRunsPerPass);
  if (row.pending == 0) return;
  addRuns(row.colour.data(), row.weight.data(), row.held, row.pending, width,
          row.weights);
  row.pending = 0;
}

void FastGather::finishRow(BandRow &row, int y, int half) {
  const int width = in_.buffers.width;
  const int pad = ring_.pad();
  // A plain sum up to element j is off by at most the row's error bound of
  // j's block, so a difference by twice that of the block of its upper end
  // (the bounds only grow along the row). The differences, products and the
  // sum over the runs add a rounding each, relative to what they add: the
  // sum itself where no source is negative, else the rows' magnitudes.
  // Pixels are first checked against the rows' largest bounds, and only
  // those that fail against the bounds of their block.
  const int block = SourcePrefixRing::kBlock;
  const int lastBlock = static_cast<int>((ring_.length() - 1) / block);
  auto errorUpTo = [&](int upper, double error[4]) {
    for (int k = 0; k < 4; ++k) error[k] = 0.0;
    for (int r = row.first; r <= row.last; ++r) {
      const double *bounds = ring_.errorBounds(y - r + half) + 4 * upper;
      const double *rowWeight =
          &row.rowWeights[4 * static_cast<std::size_t>(r)];
      for (int k = 0; k < 4; ++k) error[k] += 2.0 * rowWeight[k] * bounds[k];
    }
  };
  const double rounding = (row.runs + 3.0) * kUnit;
  auto within = [&](int x, const double error[4]) {
    for (int k = 0; k < 4; ++k) {
      const double c =
          std::fabs(row.colour[4 * static_cast<std::size_t>(x) + k]);
      const double added =
          row.nonNegative ? c + 2.0 * error[k] : row.magnitude[k];
      if (!(c * kRelative >= error[k] + rounding * added)) return false;
    }
    return true;
  };
  double rowError[4];
  errorUpTo(lastBlock, rowError);
  failing_.clear();
  int cachedUpper = -1;
  double blockError[4] = {};
  for (int x = 0; x < width; ++x) {
    if (within(x, rowError)) continue;
    const int x1 = std::min(width - 1, (x / block + 1) * block - 1);
    const int upper = std::min(lastBlock, (x1 + half + 1 + pad) / block);
    if (upper != cachedUpper) {
      errorUpTo(upper, blockError);
      cachedUpper = upper;
    }
    if (!within(x, blockError)) failing_.push_back(x);
  }
  if (!failing_.empty()) refine(row, y, half);
  for (int x = 0; x < width; ++x) {
    store(x, y, &row.colour[4 * static_cast<std::size_t>(x)],
          &row.weight[4 * static_cast<std::size_t>(x)]);
  }
}

void FastGather::refine(BandRow &row, int y, int half) {
  // Failing pixels come in clusters (the dark pixels beside a highlight): a
  // cluster of many is swept, a few are summed one by one.
  std::size_t begin = 0;
  while (begin < failing_.size()) {
    std::size_t end = begin + 1;
    while (end < failing_.size() &&
           failing_[end] - failing_[end - 1] <= kClusterGap) {
      ++end;
    }
    if (end - begin >= kSweepFrom) {
      sweep(row, y, half, begin, end);
    } else {
      // The row's weights stay as the sweep made them (later rows may
      // reuse them); these sums give the same weights anyway.
      double weight[4];
      for (std::size_t i = begin; i < end; ++i) {
        double *colour = &row.colour[4 * static_cast<std::size_t>(failing_[i])];
        if (fromPairs(failing_[i], y, half, colour, weight)) {
          ++refined_.paired;
        } else {
          direct(failing_[i], y, half, colour, weight);
          ++refined_.direct;
        }
      }
    }
    begin = end;
  }
}

void FastGather::sweep(BandRow &row, int y, int half, std::size_t begin,
                       std::size_t end) {
  const int first = failing_[begin];
  const int last = failing_[end - 1];
  const int span = last - first + 1;
  const int pad = ring_.pad();
  pairColour_.assign(static_cast<std::size_t>(4) * span, 0.0);
  pairAbsolute_.assign(static_cast<std::size_t>(4) * span, 0.0);
  int runs = 0;
  for (int r = row.first; r <= row.last; ++r) {
    const int v = y - r + half;
    const double *sums = ring_.sums(v);
    const double *errors = ring_.errors(v);
    for (const KernelRun *run = runs_.rowBegin(half, r);
         run != runs_.rowEnd(half, r); ++run) {
      float cell[4];
      runs_.gatherWeights(*run, cell);
      const double w[4] = {cell[0], cell[1], cell[2], cell[3]};
      const std::size_t high =
          4 * static_cast<std::size_t>(first + half - run->start + 1 + pad);
      const std::size_t low =
          4 * static_cast<std::size_t>(first + half - run->end + pad);
      addRunPairs(pairColour_.data(), pairAbsolute_.data(), sums + high,
                  sums + low, errors + high, errors + low, w, span);
      ++runs;
    }
  }
  for (std::size_t i = begin; i < end; ++i) {
    const int x = failing_[i];
    const std::size_t at = 4 * static_cast<std::size_t>(x - first);
    double *colour = &row.colour[4 * static_cast<std::size_t>(x)];
    if (pairsSuffice(&pairColour_[at], &pairAbsolute_[at], row.magnitude,
                     runs)) {
      std::copy(&pairColour_[at], &pairColour_[at] + 4, colour);
      ++refined_.swept;
    } else {
      double weight[4];
      direct(x, y, half, colour, weight);
      ++refined_.direct;
    }
  }
}

void FastGather::pixel(int x, int y, int requested) {
  const int n = bankedSize(in_.bank, requested);
  const int half = n / 2;
  if (!runs_.usable(half)) return;
  double colour[4], weight[4];
  if (fromPairs(x, y, half, colour, weight)) {
    ++refined_.paired;
  } else {
    direct(x, y, half, colour, weight);
    ++refined_.direct;
  }
  store(x, y, colour, weight);
}

bool FastGather::fromPairs(int x, int y, int half, double colour[4],
                           double weight[4]) {
  const FrameBuffers &b = in_.buffers;
  const int n = 2 * half + 1;
  const int pad = ring_.pad();
  const double *counts = ring_.counts();
  double absolute[4] = {}, magnitude[4] = {};
  int runs = 0;
  for (int k = 0; k < 4; ++k) colour[k] = weight[k] = 0.0;
  for (int r = 0; r < n; ++r) {
    const int v = y - r + half;
    if (v < 0 || v >= b.height) continue;
    const double *sums = ring_.sums(v);
    const double *errors = ring_.errors(v);
    const double *rowMagnitude = ring_.magnitudes(v);
    for (const KernelRun *run = runs_.rowBegin(half, r);
         run != runs_.rowEnd(half, r); ++run) {
      const int high = x + half - run->start + 1 + pad;
      const int low = x + half - run->end + pad;
      const double count = counts[high] - counts[low];
      if (count <= 0.0) continue;
      float cell[4];
      runs_.gatherWeights(*run, cell);
      for (int k = 0; k < 4; ++k) {
        const double w = cell[k];
        const double d = (sums[4 * high + k] - sums[4 * low + k]) +
                         (errors[4 * high + k] - errors[4 * low + k]);
        colour[k] += w * d;
        absolute[k] += w * std::fabs(d);
        weight[k] += w * count;
        magnitude[k] += w * rowMagnitude[k];
      }
      ++runs;
    }
  }
  return pairsSuffice(colour, absolute, magnitude, runs);
}

bool FastGather::pairsSuffice(const double colour[4], const double absolute[4],
                              const double magnitude[4], int runs) const {
  // A pair is exact to 2 x (width + 2)^2 x unit^2 of its row's magnitude;
  // each difference, product and addition rounds by a unit of what it forms.
  const double w2 = in_.buffers.width + 2.0;
  const double pairUnit = 2.0 * w2 * w2 * kUnit * kUnit;
  for (int k = 0; k < 4; ++k) {
    const double bound =
        (runs + 4.0) * kUnit * absolute[k] + pairUnit * magnitude[k];
    if (!(std::fabs(colour[k]) * kRelative >= bound)) return false;
  }
  return true;
}

void FastGather::direct(int x, int y, int half, double colour[4],
                        double weight[4]) {
  const FrameBuffers &b = in_.buffers;
  const int n = 2 * half + 1;
  for (int k = 0; k < 4; ++k) colour[k] = weight[k] = 0.0;
  for (int r = 0; r < n; ++r) {
    const int v = y - r + half;
    if (v < 0 || v >= b.height) continue;
    const Float4 *s = b.source + static_cast<std::size_t>(v) * b.width;
    for (const KernelRun *run = runs_.rowBegin(half, r);
         run != runs_.rowEnd(half, r); ++run) {
      const int lo = std::max(0, x + half - run->end);
      const int hi = std::min(b.width - 1, x + half - run->start);
      if (lo > hi) continue;
      float w[4];
      runs_.gatherWeights(*run, w);
      for (int k = 0; k < 4; ++k) {
        if (!(w[k] > 0.0f)) continue;
        double sum = 0.0;
        for (int u = lo; u <= hi; ++u) sum += s[u].c[k];
        colour[k] += w[k] * sum;
        weight[k] += static_cast<double>(w[k]) * (hi - lo + 1);
      }
    }
  }
}

void FastGather::store(int x, int y, const double colour[4],
                       const double weight[4]) {
  const FrameBuffers &b = in_.buffers;
  const std::size_t i = static_cast<std::size_t>(y) * b.width + x;
  Float4 &c = b.colourSums[i];
  Float4 &wt = b.weightSums[i];
  for (int k = 0; k < 4; ++k) c.c[k] += static_cast<float>(colour[k]);
  if (runs_.mode() == 0) {
    wt.c[0] += static_cast<float>(weight[0]);
    wt.c[1] = wt.c[2] = wt.c[3] = wt.c[0];
  } else {
    for (int k = 0; k < 4; ++k) wt.c[k] += static_cast<float>(weight[k]);
  }
}

}  // namespace lensfall
