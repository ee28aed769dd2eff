#include "render/fast_scatter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <limits>

#include "hostlink/check.h"
#include "render/blur_size.h"
#include "render/double_pair.h"
#include "render/occluder.h"
#include "render/scatter.h"

namespace lensfall {

namespace {

int halfOf(const KernelBank &bank, std::int32_t signedSize) {
  return bankedSize(bank, std::abs(signedSize)) / 2;
}

// The relative error a row's sum may carry before the float32 sums are
// formed; a sum whose rounding bound exceeds it is summed directly.
constexpr double kRelative = 1e-7;

// Segments up to this many pixels long are added cell by cell.
constexpr int kShortRun = 3;

// Fewer neighbours with the same kernel than this go one by one.
constexpr int kShortSpan = 4;

template <typename T>
[[maybe_unused]] bool allZero(const std::vector<T> &values) {
  return std::all_of(values.begin(), values.end(),
                     [](T value) { return value == T{}; });
}

}  // namespace

FastScatter::FastScatter(const PassInputs &in, const KernelRuns &runs)
    : in_(in),
      runs_(runs),
      width_(in.buffers.width),
      height_(in.buffers.height),
      layout_(runs.layout()),
      channels_(sumChannels(layout_)),
      counted_(countedChannels(layout_)),
      cone_(in.settings) {
  destinations_.resize(width_);
  const FrameBuffers &b = in.buffers;
  rowHalf_.assign(height_, -1);
  rowSpans_.reserve(static_cast<std::size_t>(height_) + 1);
  for (int y = 0; y < height_; ++y) {
    rowSpans_.push_back(static_cast<std::int32_t>(sourceSpans_.size()));
    for (int x = 0; x < width_; ++x) {
      int h =
          halfOf(in.bank, b.sizeMap[static_cast<std::size_t>(y) * width_ + x]);
      if (!runs.usable(h)) h = -1;
      if (x > 0 && sourceSpans_.back().half == h) {
        sourceSpans_.back().last = x;
      } else {
        sourceSpans_.push_back({x, x, h});
      }
      rowHalf_[y] = std::max(rowHalf_[y], h);
    }
    largestHalf_ = std::max(largestHalf_, rowHalf_[y]);
  }
  rowSpans_.push_back(static_cast<std::int32_t>(sourceSpans_.size()));
  diff_.assign(static_cast<std::size_t>(channels_) * (width_ + 1) * 3, 0.0);
  shortSegments_.assign(static_cast<std::size_t>(channels_) * width_, 0.0);
  live_.assign(static_cast<std::size_t>(counted_) * (width_ + 1), 0);
  blocked_.assign(static_cast<std::size_t>(counted_) * width_, 0.0f);
  cut_.assign(static_cast<std::size_t>(width_) + 1, 0);
  // The size-1 kernel's weights as source() applies them: a channel whose
  // weight is not positive adds nothing.
  std::fill(sharpWeights_, sharpWeights_ + 8, 0.0);
  if (runs.usable(0) && runs.rowBegin(0, 0) != runs.rowEnd(0, 0)) {
    float w[4];
    runs.scatterWeights(0, *runs.rowBegin(0, 0), w);
    for (int k = 0; k < 4; ++k) {
      const float weight = mono() ? w[0] : w[k];
      if (weight > 0.0f) {
        sharpWeights_[k] = weight;
        sharpWeights_[mono() ? 4 : 4 + k] = weight;
      }
    }
  }
  // A run is at most 2 x largest half + 1 wide: the table needs no level
  // beyond that span.
  levels_ =
      floorLog2(static_cast<unsigned>(std::min(width_, 2 * largestHalf_ + 1))) +
      1;
  depthMin_.reserve(width_, levels_);
  depthMax_.reserve(width_, levels_);
  if (!mono()) sizeMin_.reserve(width_, levels_);
}

// The destination row's own terms: those of the occluder size, and the range
// tables of its depths (and sizes, for colour kernels).
void FastScatter::prepareRow(int v) {
  const FrameBuffers &b = in_.buffers;
  const std::size_t rowStart = static_cast<std::size_t>(v) * width_;
  // The terms of the occluder size that depend on the destination alone.
  if (cone_.castsCones()) {
    for (int u = 0; u < width_; ++u) {
      destinations_[u] = cone_.destination(b.depth[rowStart + u], u, v);
    }
  }
  depthMin_.build(b.depth + rowStart);
  depthMax_.build(b.depth + rowStart);
  if (!sizeMin_.empty()) sizeMin_.build(b.sizeMap + rowStart);
}

void FastScatter::row(int v) {
  prepareRow(v);
  // The flush of the previous row left the difference buffer cleared.
  LENSFALL_DCHECK(allZero(diff_) && allZero(shortSegments_) && allZero(live_) &&
                  allZero(blocked_));
  LENSFALL_DCHECK_EQ(touchedLast_, -1);
  adds_ = 0;
  const FrameBuffers &b = in_.buffers;
  const int top = std::max(0, v - largestHalf_);
  const int bottom = std::min(height_ - 1, v + largestHalf_);
  // Source rows, then columns, ascending: the literal order in which sources
  // reach any one destination.
  for (int y = top; y <= bottom; ++y) {
    const int dy = v - y;
    const int reach = std::abs(dy);
    if (rowHalf_[y] < reach) continue;
    const std::size_t rowStart = static_cast<std::size_t>(y) * width_;
    for (int i = rowSpans_[y]; i < rowSpans_[y + 1]; ++i) {
      const SourceSpan &k = sourceSpans_[i];
      if (k.half < reach) continue;
      if (k.half == 0) {
        // A sharp pixel gives only itself its own light, in the values
        // source() would form.
        for (int x = k.first; x <= k.last; ++x) {
          const Float4 &s = b.source[rowStart + x];
          for (int c = 0; c < 4; ++c) {
            shortSegments_[static_cast<std::size_t>(c) * width_ + x] +=
                sharpWeights_[c] * s.c[c];
          }
          for (int c = 4; c < channels_; ++c) {
            shortSegments_[static_cast<std::size_t>(c) * width_ + x] +=
                sharpWeights_[c];
          }
        }
        continue;
      }
      // Neighbours with the same kernel go together where they can.
      if (mono() && k.last - k.first + 1 >= kShortSpan &&
          span(k.first, k.last, y, k.half, dy, v)) {
        continue;
      }
      for (int x = k.first; x <= k.last; ++x) source(x, y, k.half, dy, v);
    }
  }
  flush(v);
}

void FastScatter::addSegment(int u0, int u1, const double *values,
                             const bool *live) {
  if (u0 > u1) return;
  if (u1 - u0 < kShortRun) {
    // A short segment costs less added cell by cell, with no cancellation.
    for (int c = 0; c < channels_; ++c) {
      double *near = &shortSegments_[static_cast<std::size_t>(c) * width_];
      for (int u = u0; u <= u1; ++u) near[u] += values[c];
    }
    return;
  }
  const std::size_t stride = static_cast<std::size_t>(width_) + 1;
  touchedFirst_ = std::min(touchedFirst_, u0);
  touchedLast_ = std::max(touchedLast_, u1 + 1);
  const Cell start = cell(u0), end = cell(u1 + 1);
  for (int c = 0; c < channels_; ++c) {
    addPair(start.sum[c], start.error[c], values[c]);
    addPair(end.sum[c], end.error[c], -values[c]);
    start.magnitude[c] += std::fabs(values[c]);
  }
  adds_ += 2;
  for (int k = 0; k < counted_; ++k) {
    if (!live[k]) continue;
    ++live_[k * stride + u0];
    --live_[k * stride + u1 + 1];
  }
}

void FastScatter::source(int x, int y, int half, int dy, int v) {
  const FrameBuffers &b = in_.buffers;
  const std::size_t j = static_cast<std::size_t>(y) * width_ + x;
  const Float4 &s = b.source[j];
  const float ds = b.depth[j];
  const std::int32_t sj = b.sizeMap[j];
  const int row = dy + half;
  // The candidate bound is formed only once some run holds a nearer pixel.
  float below = 0.0f;
  bool bounded = false;
  // A size-1 source reaches only itself, which is never a candidate.
  const bool occludable = cone_.castsCones() && half > 0;
  for (const KernelRun *run = runs_.rowBegin(half, row);
       run != runs_.rowEnd(half, row); ++run) {
    const int u0 = std::max(0, x - half + run->start);
    const int u1 = std::min(width_ - 1, x - half + run->end);
    if (u0 > u1) continue;
    RunOnRow on{x, y, half, dy, v, u0, u1, ds, sj, 0.0f, {}, {}, {}};
    runs_.scatterWeights(half, *run, on.w);
    if (!runValues(on.w, s, on.values, on.live)) continue;
    bool candidates = false;
    if (occludable) {
      const float nearest = depthMin(u0, u1);
      if (nearest < ds) {
        if (!bounded) below = cone_.candidateBound(ds, dy);
        bounded = true;
        // ConeGeometry::isCandidate over the run's range: the nearest depth
        // under the bound, and for colour kernels the least size.
        candidates = nearest <= below && (mono() || sizeMin(u0, u1) < sj);
      }
    }
    if (!candidates) {
      addSegment(u0, u1, on.values, on.live);
      continue;
    }
    on.below = below;
    addAroundStops(on);
  }
}

bool FastScatter::runValues(const float w[4], const Float4 &s, double values[8],
                            bool live[4]) const {
  if (mono()) {
    if (!(w[0] > 0.0f)) return false;
    for (int k = 0; k < 4; ++k) values[k] = static_cast<double>(w[0]) * s.c[k];
    values[4] = w[0];
    live[0] = true;
    return true;
  }
  bool any = false;
  for (int k = 0; k < 4; ++k) {
    live[k] = w[k] > 0.0f;
    any = any || live[k];
    values[k] = live[k] ? static_cast<double>(w[k]) * s.c[k] : 0.0;
    values[4 + k] = live[k] ? static_cast<double>(w[k]) : 0.0;
  }
  return any;
}

// Splits the run at each surface that stops the light. Candidates come in
// stretches (the cross-section of a nearer object); a stretch that provably
// stops the light everywhere is taken whole.
void FastScatter::addAroundStops(const RunOnRow &on) {
  const FrameBuffers &b = in_.buffers;
  const std::size_t destRow = static_cast<std::size_t>(on.v) * width_;
  const int u1 = on.u1;
  const float below = on.below;
  auto candidate = [&](int p) {
    return b.depth[destRow + p] <= below &&
           (mono() || b.sizeMap[destRow + p] < on.sj);
  };
  // The light stopped at destination pixels p .. q, into the row's blocked
  // weights; a channel with no weight adds 0, which changes nothing.
  float *blocked = blocked_.data();
  const float *w = on.w;
  const float stopped[4] = {
      w[0] > 0.0f ? w[0] : 0.0f, w[1] > 0.0f ? w[1] : 0.0f,
      w[2] > 0.0f ? w[2] : 0.0f, w[3] > 0.0f ? w[3] : 0.0f};
  auto stop = [&](int p, int q) {
    if (mono()) {
      const float add = stopped[0];
      for (int t = p; t <= q; ++t) blocked[t] += add;
    } else {
      for (int t = p; t <= q; ++t) {
        for (int k = 0; k < 4; ++k) blocked[4 * t + k] += stopped[k];
      }
    }
  };
  // Spans of 8 whose nearest depth is no candidate are passed at once, and
  // for mono kernels (whose candidates are told by depth alone) spans of 8
  // whose farthest depth is a candidate are taken at once into a stretch.
  const bool eights = levels_ > 3;
  int start = on.u0;
  int p = on.u0;
  while (p <= u1) {
    if (eights && p + 7 <= u1 && !(depthMin_.ofSpan(3, p) <= below)) {
      p += 8;
      continue;
    }
    if (!candidate(p)) {
      ++p;
      continue;
    }
    int q = p;
    if (mono() && eights) {
      while (q + 8 <= u1 && depthMax_.ofSpan(3, q + 1) <= below) q += 8;
    }
    while (q < u1 && candidate(q + 1)) ++q;
    const float low = depthMin(p, q), high = depthMax(p, q);
    const int offset =
        std::max({std::abs(on.dy), std::abs(p - on.x), std::abs(q - on.x)});
    if (stretchStops(low, high, on.ds, on.half, offset)) {
      addSegment(start, p - 1, on.values, on.live);
      stop(p, q);
      start = q + 1;
    } else {
      for (int t = p; t <= q; ++t) {
        if (!stops(on.x, on.y, t, on.v, b.depth[destRow + t], on.ds, on.half)) {
          continue;
        }
        addSegment(start, t - 1, on.values, on.live);
        start = t + 1;
        stop(t, t);
      }
    }
    p = q + 1;
  }
  addSegment(start, u1, on.values, on.live);
}

// lightBlocked for a candidate, with the occluder size formed by the cone
// geometry from the destination's precomputed terms, in another order:
// the size first, and the test that the destination lies in the source's
// cone only where the cone is not far wider than the source reaches (there
// it holds by pixels, far beyond any rounding). An occluder of size 1, or an
// offset beyond the occluder's kernel, gives no weight; a kernel the bank
// holds is read directly.
bool FastScatter::stops(int x, int y, int u, int v, double dd, double ds,
                        int reach) const {
  const ConeGeometry::Destination &d = destinations_[u];
  const double c = cone_.width(dd, ds);
  const int r = cone_.occluderCells(d, c);
  if (r < 2 * reach + 4 && !cone_.insideCone(d, c, x, y)) return false;
  if (r <= 1) return false;
  const int m = ConeGeometry::oddSize(r);
  const int half = m / 2;
  if (std::abs(u - x) > half || std::abs(v - y) > half) return false;
  const int mode = runs_.mode();
  const KernelBank &bank = in_.bank;
  if (half < bank.count && bank.entries[half].size == m &&
      bank.entries[half].cells != nullptr) {
    const std::size_t cell =
        static_cast<std::size_t>(v - y + half) * m + (u - x + half);
    return bank.entries[half].cells[(mode == 0 ? 1 : 3) * cell] > 0;
  }
  return SampleKernel(mode, x, y, u, v, bank, m, in_.settings,
                      in_.fallback)[0] > 0.0;
}

// Prefix pass over the difference buffer, carried as a pair (sum, error).
// Where no run of a channel covers a pixel, the channel's sums restart from
// exactly 0, so rounding left over from runs that ended never reaches a pixel
// that got no weight. A pixel whose sum is too small for the rounding bound
// of what passed through the row before it is summed directly.
void FastScatter::flush(int v) {
  const std::size_t stride = static_cast<std::size_t>(width_) + 1;
  double sums[8][2] = {};
  double reach[8] = {};
  std::int32_t live[4] = {};
  const double unit = static_cast<double>(width_ + adds_ + 2) *
                      std::ldexp(1.0, -100) / kRelative;
  for (int u = 0; u < width_; ++u) {
    double total[8];
    bool exact = true;
    if (u < touchedFirst_ || u > touchedLast_) {
      // No run of the row reaches here through the difference buffer.
      for (int c = 0; c < channels_; ++c) {
        double &near = shortSegments_[static_cast<std::size_t>(c) * width_ + u];
        total[c] = near;
        near = 0.0;
      }
      store(u, v, total);
      continue;
    }
    for (int k = 0; k < counted_; ++k) {
      live[k] += live_[k * stride + u];
      live_[k * stride + u] = 0;
    }
    const Cell here = cell(u);
    for (int c = 0; c < channels_; ++c) {
      addPair(sums[c], here.sum[c]);
      sums[c][1] += here.error[c];
      reach[c] += here.magnitude[c];
      here.sum[c] = here.error[c] = here.magnitude[c] = 0.0;
      const int k = mono() ? 0 : c % 4;
      if (live[k] == 0) sums[c][0] = sums[c][1] = reach[c] = 0.0;
      double &near = shortSegments_[static_cast<std::size_t>(c) * width_ + u];
      total[c] = (sums[c][0] + sums[c][1]) + near;
      near = 0.0;
      exact = exact && std::fabs(total[c]) >= reach[c] * unit;
    }
    if (!exact) direct(u, v, total);
    store(u, v, total);
  }
  // The ends of runs that reach the row's last pixel.
  const Cell last = cell(width_);
  std::fill(last.sum, last.sum + 3 * channels_, 0.0);
  for (int k = 0; k < counted_; ++k) live_[k * stride + width_] = 0;
  touchedFirst_ = width_ + 1;
  touchedLast_ = -1;
}

void FastScatter::store(int u, int v, const double total[8]) {
  const FrameBuffers &b = in_.buffers;
  const std::size_t i = static_cast<std::size_t>(v) * width_ + u;
  Float4 &stopped = b.blockedWeights[i];
  if (mono()) {
    stopped.c[0] = stopped.c[1] = stopped.c[2] = stopped.c[3] = blocked_[u];
    blocked_[u] = 0.0f;
  } else {
    for (int k = 0; k < 4; ++k) {
      stopped.c[k] = blocked_[4 * static_cast<std::size_t>(u) + k];
      blocked_[4 * static_cast<std::size_t>(u) + k] = 0.0f;
    }
  }
  Float4 &colour = b.colourSums[i];
  Float4 &weight = b.weightSums[i];
  if (mono()) {
    for (int k = 0; k < 4; ++k) colour.c[k] += static_cast<float>(total[k]);
    weight.c[0] += static_cast<float>(total[4]);
    weight.c[1] = weight.c[2] = weight.c[3] = weight.c[0];
  } else {
    for (int k = 0; k < 4; ++k) {
      colour.c[k] += static_cast<float>(total[k]);
      weight.c[k] += static_cast<float>(total[4 + k]);
    }
  }
}

void FastScatter::direct(int u, int v, double sums[8]) {
  const FrameBuffers &b = in_.buffers;
  const int stride = mono() ? 1 : 3;
  std::fill(sums, sums + 8, 0.0);
  const std::size_t i = static_cast<std::size_t>(v) * width_ + u;
  for (int y = std::max(0, v - largestHalf_);
       y <= std::min(height_ - 1, v + largestHalf_); ++y) {
    const int dy = v - y;
    for (int x = std::max(0, u - largestHalf_);
         x <= std::min(width_ - 1, u + largestHalf_); ++x) {
      const std::size_t j = static_cast<std::size_t>(y) * width_ + x;
      const int half = halfOf(in_.bank, b.sizeMap[j]);
      if (half < std::abs(dy) || half < std::abs(u - x) ||
          !runs_.usable(half)) {
        continue;
      }
      const int n = 2 * half + 1;
      const std::uint8_t *cell =
          in_.bank.entries[half].cells +
          stride * (static_cast<std::size_t>(dy + half) * n + (u - x + half));
      KernelRun one{0, 0, {cell[0], 0, 0}};
      if (!mono()) {
        one.bytes[1] = cell[1];
        one.bytes[2] = cell[2];
      }
      float w[4];
      runs_.scatterWeights(half, one, w);
      const Float4 &s = b.source[j];
      if (mono()) {
        if (!(w[0] > 0.0f)) continue;
        if (ConeGeometry::isCandidate(layout_, b.depth[i], b.depth[j],
                                      b.sizeMap[i], b.sizeMap[j]) &&
            lightBlocked(in_, 0, x, y, u, v)) {
          continue;
        }
        for (int k = 0; k < 4; ++k)
          sums[k] += static_cast<double>(w[0]) * s.c[k];
        sums[4] += w[0];
      } else {
        if (!(w[0] > 0.0f || w[1] > 0.0f || w[2] > 0.0f || w[3] > 0.0f))
          continue;
        if (ConeGeometry::isCandidate(layout_, b.depth[i], b.depth[j],
                                      b.sizeMap[i], b.sizeMap[j]) &&
            lightBlocked(in_, 1, x, y, u, v)) {
          continue;
        }
        for (int k = 0; k < 4; ++k) {
          if (!(w[k] > 0.0f)) continue;
          sums[k] += static_cast<double>(w[k]) * s.c[k];
          sums[4 + k] += w[k];
        }
      }
    }
  }
}

}  // namespace lensfall
