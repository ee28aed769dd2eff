// Neighbouring sources with the same kernel, scattered together.
//
// Sources of one row with the same kernel lay the same run on a destination
// row, shifted by one pixel from each to the next. Without occlusion their
// light there is a box sum of the source row, and the run ends can be
// streamed into the difference buffer in one tight loop. A nearer surface
// on the destination row cuts each run that crosses it; where every surface
// the span's runs cross provably stops the light of every source in the
// span (the same proof the one-by-one path uses for a whole stretch, taken
// over the span's range of source depths), the span's light is the box sum
// with those surfaces cut out. In difference form: the run ends that fall on
// a cut surface or just after it are dropped, and the box sums just before
// and just after it are subtracted and added back.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <limits>

#include "render/double_pair.h"
#include "render/fast_scatter.h"

namespace lensfall {

namespace {

// Eight pixels' stopped light side by side, with how many sources add to
// each.
constexpr int kLanes = 8;
using Lanes = float __attribute__((vector_size(4 * kLanes)));
using LaneCounts = int __attribute__((vector_size(4 * kLanes)));

}  // namespace

bool FastScatter::span(int xs, int xe, int y, int half, int dy, int v) {
  const int row = dy + half;
  const KernelRun *run = runs_.rowBegin(half, row);
  if (runs_.rowEnd(half, row) - run != 1) return false;
  float w[4];
  runs_.scatterWeights(half, *run, w);
  spanCounts_.spanned += xe - xs + 1;
  // A run without weight adds nothing, as the one-by-one path skips it.
  if (!(w[0] > 0.0f)) return true;
  const int a = run->start - half, z = run->end - half;
  const int lo = std::max(0, xs + a), hi = std::min(width_ - 1, xe + z);
  if (lo > hi) return true;

  const FrameBuffers &b = in_.buffers;
  const std::size_t sourceRow = static_cast<std::size_t>(y) * width_;
  const float *ds = b.depth + sourceRow;
  float dsMin = std::numeric_limits<float>::infinity();
  float dsMax = -dsMin;
  for (int x = xs; x <= xe; ++x) {
    if (!std::isfinite(ds[x])) {
      spanCounts_.fellBack += xe - xs + 1;
      return false;
    }
    dsMin = std::min(dsMin, ds[x]);
    dsMax = std::max(dsMax, ds[x]);
  }
  stretches_.clear();
  // The tables answer for spans up to a run's width; a span's reach is
  // taken in pieces of that.
  float nearest = std::numeric_limits<float>::infinity();
  const int piece = 1 << (levels_ - 1);
  for (int l = lo; l <= hi && lensOk_; l += piece) {
    nearest = std::min(nearest, depthMin(l, std::min(hi, l + piece - 1)));
  }
  if (nearest < dsMax) {
    // The candidate bound grows with the source's depth; a float of margin
    // on either side covers rounding that need not follow it to the last
    // bit.
    const float lowest = std::nextafter(candidateBound(dsMin, dy),
                                        -std::numeric_limits<float>::max());
    const float highest = std::nextafter(candidateBound(dsMax, dy),
                                         std::numeric_limits<float>::max());
    // The farthest any run's cell lies from its source.
    const int offset = std::max({std::abs(dy), std::abs(a), std::abs(z)});
    bool proven = findStretches(v, lo, hi, lowest, highest);
    for (std::size_t i = 0; proven && i < stretches_.size(); ++i) {
      proven = stopsSpan(stretches_[i].nearest, stretches_[i].farthest, dsMin,
                         dsMax, half, offset);
    }
    if (!proven) {
      spanCounts_.fellBack += xe - xs + 1;
      return false;
    }
  }

  const std::size_t stride = static_cast<std::size_t>(width_) + 1;
  const float *source = &b.source[sourceRow].c[0];
  const double weight = w[0];
  auto valuesOf = [&](int x, double values[5]) {
    for (int k = 0; k < 4; ++k) values[k] = weight * source[4 * x + k];
    values[4] = weight;
  };
  for (const Stretch &s : stretches_) {
    std::fill(cut_.begin() + s.p, cut_.begin() + s.q + 2, 1);
  }
  // The run ends, except on a cut surface or just after one.
  for (int x = xs; x <= xe; ++x) {
    const int u0 = std::max(0, x + a), u1 = std::min(width_ - 1, x + z);
    if (u0 > u1) continue;
    double values[5];
    valuesOf(x, values);
    if (!cut_[u0]) {
      for (int c = 0; c < 5; ++c) {
        addPair(&diff_[2 * (c * stride + u0)], values[c]);
        reach_[c * stride + u0] += std::fabs(values[c]);
      }
      ++live_[u0];
    }
    if (!cut_[u1 + 1]) {
      for (int c = 0; c < 5; ++c) {
        addPair(&diff_[2 * (c * stride + u1 + 1)], -values[c]);
      }
      --live_[u1 + 1];
    }
  }
  adds_ += 2 * static_cast<long long>(xe - xs + 1);
  touchedFirst_ = std::min(touchedFirst_, lo);
  touchedLast_ = std::max(touchedLast_, hi + 1);

  if (stretches_.empty()) return true;

  // Prefix sums of the span's values as pairs, with their magnitudes, for
  // the box sums beside the cut surfaces.
  const int count = xe - xs + 1;
  spanPrefix_.resize(static_cast<std::size_t>(count + 1) * kPrefixStride);
  std::fill(spanPrefix_.begin(), spanPrefix_.begin() + kPrefixStride, 0.0);
  double running[kPrefixStride] = {};
  for (int i = 0; i < count; ++i) {
    double values[5];
    valuesOf(xs + i, values);
    for (int c = 0; c < 5; ++c) {
      addPair(&running[2 * c], values[c]);
      running[10 + c] += std::fabs(values[c]);
    }
    double *after =
        &spanPrefix_[static_cast<std::size_t>(i + 1) * kPrefixStride];
    for (int k = 0; k < kPrefixStride; ++k) after[k] = running[k];
  }
  // The sources whose runs cover destination pixel u.
  auto coveringFirst = [&](int u) { return std::max(xs, u - z); };
  auto coveringLast = [&](int u) { return std::min(xe, u - a); };
  // Adds the box sum at pixel `from`, times `sign`, into the difference
  // buffer at pixel `at`. The difference of two prefix pairs keeps the
  // digits a pair carries, so its rounding is bounded by the magnitude of
  // the prefix up to the box's end.
  auto addBox = [&](int from, int at, double sign) {
    const int first = coveringFirst(from), last = coveringLast(from);
    if (first > last) return;
    const double *high =
        &spanPrefix_[static_cast<std::size_t>(last - xs + 1) * kPrefixStride];
    const double *low =
        &spanPrefix_[static_cast<std::size_t>(first - xs) * kPrefixStride];
    for (int c = 0; c < 5; ++c) {
      double box[2] = {high[2 * c], high[2 * c + 1] - low[2 * c + 1]};
      addPair(box, -low[2 * c]);
      double *cell = &diff_[2 * (c * stride + at)];
      addPair(cell, sign * box[0]);
      cell[1] += sign * box[1];
      reach_[c * stride + at] += high[10 + c];
    }
    live_[at] += static_cast<int>(sign) * (last - first + 1);
    adds_ += last - first + 3;
  };
  const float stopped = w[0];
  for (const Stretch &s : stretches_) {
    std::fill(cut_.begin() + s.p, cut_.begin() + s.q + 2, 0);
    if (s.p - 1 >= lo) addBox(s.p - 1, s.p, -1.0);
    if (s.q + 1 <= hi) addBox(s.q + 1, s.q + 1, 1.0);
    // The stopped light, once per covering source, in float as the literal
    // cores add it: every source adds the same weight, so their order
    // within the span does not matter. Lanes of pixels go side by side;
    // adding 0 to a lane that is done leaves it as it is.
    for (int t0 = s.p; t0 <= s.q; t0 += kLanes) {
      Lanes sums{};
      LaneCounts counts{};
      int most = 0;
      const int lanes = std::min(kLanes, s.q - t0 + 1);
      for (int j = 0; j < lanes; ++j) {
        counts[j] = coveringLast(t0 + j) - coveringFirst(t0 + j) + 1;
        sums[j] = blocked_[t0 + j];
        most = std::max(most, counts[j]);
      }
      for (int i = 0; i < most; ++i) sums += i < counts ? stopped : 0.0f;
      for (int j = 0; j < lanes; ++j) blocked_[t0 + j] = sums[j];
    }
  }
  return true;
}

bool FastScatter::findStretches(int v, int lo, int hi, float lowest,
                                float highest) {
  const float *depth = in_.buffers.depth + static_cast<std::size_t>(v) * width_;
  const bool eights = levels_ > 3;
  const std::size_t at8 = 3 * static_cast<std::size_t>(width_);
  int u = lo;
  while (u <= hi) {
    if (eights && u + 7 <= hi && depthMin_[at8 + u] > highest) {
      u += 8;
      continue;
    }
    if (depth[u] > highest) {
      ++u;
      continue;
    }
    if (!(depth[u] <= lowest)) return false;
    Stretch s{u, u, depth[u], depth[u]};
    while (s.q < hi && depth[s.q + 1] <= lowest) {
      ++s.q;
      s.nearest = std::min(s.nearest, depth[s.q]);
      s.farthest = std::max(s.farthest, depth[s.q]);
    }
    stretches_.push_back(s);
    u = s.q + 1;
  }
  return true;
}

// As stretchStops, over a range of source depths. The occluder size grows
// with the source's depth as well, exactly, but its rounding need not follow
// to the last bit; a pixel of margin on either side covers that.
bool FastScatter::stopsSpan(double nearest, double farthest, double dsMin,
                            double dsMax, int reach, int offset) {
  const int smallest = occluderCells(farthest, dsMin) - 1;
  if (smallest < 2 * reach + 4) return false;
  const int largest = occluderCells(nearest, dsMax) + 1;
  const int first = smallest % 2 == 0 ? smallest + 1 : smallest;
  const int last = largest % 2 == 0 ? largest + 1 : largest;
  if (last - first > 2 * kStretchSizes) return false;
  for (int m = first; m <= last; m += 2) {
    if (filledHalf(m) < offset) return false;
  }
  return true;
}

}  // namespace lensfall
