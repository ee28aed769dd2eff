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

#include "hostlink/check.h"
#include "render/double_pair.h"
#include "render/fast_scatter.h"

namespace lensfall {

namespace {

// Four pixels' stopped light side by side, with how many sources add to
// each; sixteen pixels go as four such lanes.
constexpr int kLanes = 4;
using Lanes = float __attribute__((vector_size(4 * kLanes)));
using LaneCounts = int __attribute__((vector_size(4 * kLanes)));

// Adds one source's values (R and G, B and A, then the weight, which is
// positive) into five sums, their errors and their magnitudes.
inline void addSource(double *sum, double *error, double *magnitudes,
                      Double2 rg, Double2 ba, double weight) {
  addPair(sum, error, rg);
  addPair(sum + 2, error + 2, ba);
  addPair(sum[4], error[4], weight);
  storeDouble2(magnitudes, loadDouble2(magnitudes) + magnitude(rg));
  storeDouble2(magnitudes + 2, loadDouble2(magnitudes + 2) + magnitude(ba));
  magnitudes[4] += weight;
}

// Adds `weight` to each of blocked[p .. q], covering(t) times to blocked[t],
// in float one addition after another, as the literal cores add a source's
// stopped light: every source of a span adds the same weight, so their order
// does not matter. Lanes of pixels go side by side; adding 0 to a lane that
// is done leaves it as it is.
template <typename Covering>
void addStopped(float *blocked, int p, int q, float weight, Covering covering) {
  for (int t0 = p; t0 <= q; t0 += 4 * kLanes) {
    Lanes sums[4] = {};
    LaneCounts counts[4] = {};
    int most = 0;
    const int lanes = std::min(4 * kLanes, q - t0 + 1);
    for (int j = 0; j < lanes; ++j) {
      const int n = covering(t0 + j);
      counts[j / kLanes][j % kLanes] = n;
      sums[j / kLanes][j % kLanes] = blocked[t0 + j];
      most = std::max(most, n);
    }
    Lanes s0 = sums[0], s1 = sums[1], s2 = sums[2], s3 = sums[3];
    for (int i = 0; i < most; ++i) {
      s0 += i < counts[0] ? weight : 0.0f;
      s1 += i < counts[1] ? weight : 0.0f;
      s2 += i < counts[2] ? weight : 0.0f;
      s3 += i < counts[3] ? weight : 0.0f;
    }
    sums[0] = s0, sums[1] = s1, sums[2] = s2, sums[3] = s3;
    for (int j = 0; j < lanes; ++j) {
      blocked[t0 + j] = sums[j / kLanes][j % kLanes];
    }
  }
}

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
  const SpanRuns runs{xs, xe, run->start - half, run->end - half, width_};
  if (runs.lo > runs.hi) return true;
  if (!findSpanStops(runs, y, half, dy, v)) {
    spanCounts_.fellBack += xe - xs + 1;
    return false;
  }
  addSpanRunEnds(runs, y, w[0]);
  cutSpanStretches(runs, w[0]);
  return true;
}

bool FastScatter::findSpanStops(const SpanRuns &runs, int y, int half, int dy,
                                int v) {
  const float *ds = in_.buffers.depth + static_cast<std::size_t>(y) * width_;
  float dsMin = std::numeric_limits<float>::infinity();
  float dsMax = -dsMin;
  for (int x = runs.xs; x <= runs.xe; ++x) {
    if (!std::isfinite(ds[x])) return false;
    dsMin = std::min(dsMin, ds[x]);
    dsMax = std::max(dsMax, ds[x]);
  }
  stretches_.clear();
  // The tables answer for spans up to a run's width; a span's reach is
  // taken in pieces of that.
  float nearest = std::numeric_limits<float>::infinity();
  const int piece = 1 << (levels_ - 1);
  for (int l = runs.lo; l <= runs.hi && cone_.castsCones(); l += piece) {
    nearest = std::min(nearest, depthMin(l, std::min(runs.hi, l + piece - 1)));
  }
  if (!(nearest < dsMax)) return true;
  // The candidate bound grows with the source's depth; a float of margin
  // on either side covers rounding that need not follow it to the last
  // bit.
  const float lowest = std::nextafter(cone_.candidateBound(dsMin, dy),
                                      -std::numeric_limits<float>::max());
  const float highest = std::nextafter(cone_.candidateBound(dsMax, dy),
                                       std::numeric_limits<float>::max());
  // The farthest any run's cell lies from its source.
  const int offset =
      std::max({std::abs(dy), std::abs(runs.a), std::abs(runs.z)});
  if (!findStretches(v, runs.lo, runs.hi, lowest, highest)) return false;
  for (const Stretch &stretch : stretches_) {
    if (!stopsSpan(stretch.nearest, stretch.farthest, dsMin, dsMax, half,
                   offset)) {
      return false;
    }
  }
  return true;
}

// Streams the run ends of every source of the span into the difference
// buffer, except on a cut surface or just after one, and takes the prefix
// sums the cut boxes will read.
void FastScatter::addSpanRunEnds(const SpanRuns &runs, int y, double weight) {
  const int xs = runs.xs, xe = runs.xe, a = runs.a, z = runs.z;
  const int lo = runs.lo, hi = runs.hi;
  const float *source =
      &in_.buffers.source[static_cast<std::size_t>(y) * width_].c[0];
  // The boxes beside each cut surface read prefix sums of the span's values
  // (prefix i: the first i sources), taken as the run ends stream past.
  prefixAt_.clear();
  for (const Stretch &s : stretches_) {
    std::fill(cut_.begin() + s.p, cut_.begin() + s.q + 2, 1);
    for (int u : {s.p - 1, s.q + 1}) {
      if (u < lo || u > hi) continue;
      prefixAt_.push_back(runs.coveringFirst(u) - xs);
      prefixAt_.push_back(runs.coveringLast(u) - xs + 1);
    }
  }
  std::sort(prefixAt_.begin(), prefixAt_.end());
  prefixAt_.erase(std::unique(prefixAt_.begin(), prefixAt_.end()),
                  prefixAt_.end());
  spanPrefix_.assign(prefixAt_.size(), SpanSums{});
  std::size_t taken = 0;
  if (taken < prefixAt_.size() && prefixAt_[taken] == 0) ++taken;
  SpanSums running{};
  // The run ends, except on a cut surface or just after one: R and G, B
  // and A, then the weight.
  const Double2 weights = {weight, weight};
  for (int x = xs; x <= xe; ++x) {
    const int u0 = std::max(0, x + a), u1 = std::min(width_ - 1, x + z);
    const float *s = source + 4 * x;
    const Double2 rg = Double2{s[0], s[1]} * weights;
    const Double2 ba = Double2{s[2], s[3]} * weights;
    if (u0 <= u1 && !cut_[u0]) {
      const Cell start = cell(u0);
      addSource(start.sum, start.error, start.magnitude, rg, ba, weight);
      ++live_[u0];
    }
    if (u0 <= u1 && !cut_[u1 + 1]) {
      const Cell end = cell(u1 + 1);
      addPair(end.sum, end.error, -rg);
      addPair(end.sum + 2, end.error + 2, -ba);
      addPair(end.sum[4], end.error[4], -weight);
      --live_[u1 + 1];
    }
    if (taken == prefixAt_.size()) continue;
    addSource(running.sum, running.error, running.magnitude, rg, ba, weight);
    if (prefixAt_[taken] == x - xs + 1) {
      spanPrefix_[taken] = running;
      ++taken;
    }
  }
  adds_ += 2 * static_cast<long long>(xe - xs + 1);
  touchedFirst_ = std::min(touchedFirst_, lo);
  touchedLast_ = std::max(touchedLast_, hi + 1);
}

// Cuts each stretch out of the span's light: the box sums just before and
// just after it are subtracted and added back, and the light it stopped is
// added once per covering source.
void FastScatter::cutSpanStretches(const SpanRuns &runs, float stopped) {
  if (stretches_.empty()) return;
  const int xs = runs.xs, lo = runs.lo, hi = runs.hi;
  auto prefix = [&](int i) {
    const std::size_t at =
        std::lower_bound(prefixAt_.begin(), prefixAt_.end(), i) -
        prefixAt_.begin();
    // Every prefix a box reads was taken as the run ends streamed past.
    LENSFALL_DCHECK(at < prefixAt_.size() && prefixAt_[at] == i);
    return &spanPrefix_[at];
  };
  // Adds the box sum at pixel `from`, times `sign`, into the difference
  // buffer at pixel `at`. The difference of two prefix pairs keeps the
  // digits a pair carries, so its rounding is bounded by the magnitude of
  // the prefix up to the box's end.
  auto addBox = [&](int from, int at, double sign) {
    const int first = runs.coveringFirst(from), last = runs.coveringLast(from);
    if (first > last) return;
    const SpanSums &high = *prefix(last - xs + 1);
    const SpanSums &low = *prefix(first - xs);
    const Cell there = cell(at);
    for (int c = 0; c < 5; ++c) {
      double box[2] = {high.sum[c], high.error[c] - low.error[c]};
      addPair(box, -low.sum[c]);
      addPair(there.sum[c], there.error[c], sign * box[0]);
      there.error[c] += sign * box[1];
      there.magnitude[c] += high.magnitude[c];
    }
    live_[at] += static_cast<int>(sign) * (last - first + 1);
    adds_ += last - first + 3;
  };
  for (const Stretch &s : stretches_) {
    std::fill(cut_.begin() + s.p, cut_.begin() + s.q + 2, 0);
    if (s.p - 1 >= lo) addBox(s.p - 1, s.p, -1.0);
    if (s.q + 1 <= hi) addBox(s.q + 1, s.q + 1, 1.0);
    // The stopped light, once per covering source, in float as the literal
    // cores add it.
    addStopped(blocked_.data(), s.p, s.q, stopped, [&](int t) {
      return runs.coveringLast(t) - runs.coveringFirst(t) + 1;
    });
  }
}

bool FastScatter::findStretches(int v, int lo, int hi, float lowest,
                                float highest) {
  const float *depth = in_.buffers.depth + static_cast<std::size_t>(v) * width_;
  const bool eights = levels_ > 3;
  int u = lo;
  while (u <= hi) {
    if (eights && u + 7 <= hi && depthMin_.ofSpan(3, u) > highest) {
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

}  // namespace lensfall
