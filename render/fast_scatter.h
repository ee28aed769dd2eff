// The fast scatter: the literal scatter reproduced over runs of equal kernel
// cells, with the occlusion test kept exact.
//
// Words for ranges of pixels, as used here and in scatter_spans.cpp:
// - run: columns of one kernel row whose cells all hold the same bytes
//   (KernelRun); laid on a destination row from one source, it covers a
//   range of destination pixels that all get the same values.
// - segment: the part of a run's range that is added to the row in one
//   piece: the whole range, or the pieces between surfaces that stop the
//   light. Short segments are added pixel by pixel (shortSegments_), longer
//   ones as two ends in the difference buffer.
// - stretch: neighbouring destination pixels of a row that are all
//   candidates to stop a source's light (the cross-section of a nearer
//   object); one that provably stops all of it is cut out whole.
// - span: neighbouring source pixels of one row with the same kernel
//   (SourceSpan); their runs on a destination row are the same run shifted
//   by one pixel each, so they can be added together as box sums.
// - difference buffer: per destination pixel, what starts there minus what
//   ends just before it; the row's prefix sum (flush) turns it into values.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "kernels/kernel_runs.h"
#include "render/occluder.h"
#include "render/pass_inputs.h"
#include "render/range_table.h"

namespace lensfall {

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

  // How many sources went through row() as spans (below), and how many of
  // those spans' sources were handled one by one after all.
  struct SpanCounts {
    long long spanned = 0, fellBack = 0;
  };
  SpanCounts spanCounts() const { return spanCounts_; }

 private:
  void prepareRow(int v);
  // Source (x, y), of kernel half `half`, scattered onto destination row v
  // run by run.
  void source(int x, int y, int half, int dy, int v);
  // One run of a source on the destination row: pixels u0 .. u1, the
  // source's depth and size, the candidate bound, the run's weights and the
  // values it adds (colour sums, then weights) with the channels it carries.
  struct RunOnRow {
    int x, y, half, dy, v, u0, u1;
    float ds;
    std::int32_t sj;
    float below;
    float w[4];
    double values[8];
    bool live[4];
  };
  // The values a run of weights w adds for source colour s; false when it
  // adds nothing.
  bool runValues(const float w[4], const Float4 &s, double values[8],
                 bool live[4]) const;
  // The run added around the surfaces on the row that stop its light.
  void addAroundStops(const RunOnRow &on);
  // Sources xs .. xe of row y, all of kernel half `half`, whose kernel row
  // on destination row v is one run: their light added together where every
  // nearer surface their runs cross provably stops all of it, as a box sum
  // of the source row with those surfaces cut out. False, with nothing
  // added, where that cannot be shown for the whole span.
  bool span(int xs, int xe, int y, int half, int dy, int v);
  // The sources xs .. xe of a span, the offsets a .. z of their one run from
  // each source, and the destination pixels lo .. hi the runs cover.
  struct SpanRuns {
    SpanRuns(int first, int last, int runStart, int runEnd, int width)
        : xs(first),
          xe(last),
          a(runStart),
          z(runEnd),
          lo(std::max(0, first + runStart)),
          hi(std::min(width - 1, last + runEnd)) {}
    int xs, xe, a, z, lo, hi;
    // The sources whose runs cover destination pixel u.
    int coveringFirst(int u) const { return std::max(xs, u - z); }
    int coveringLast(int u) const { return std::min(xe, u - a); }
  };
  // The span's steps: the stretches its runs cross, each proven to stop all
  // of the span's light (false where that cannot be shown); the run ends
  // streamed into the difference buffer; the stretches cut out.
  bool findSpanStops(const SpanRuns &runs, int y, int half, int dy, int v);
  void addSpanRunEnds(const SpanRuns &runs, int y, double weight);
  void cutSpanStretches(const SpanRuns &runs, float stopped);
  // The stretches of destination row v's pixels lo .. hi at depths up to
  // `lowest`, into stretches_; false if a pixel lies above `lowest` but not
  // above `highest` (a candidate for some sources and not others).
  bool findStretches(int v, int lo, int hi, float lowest, float highest);
  // Whether a stretch stops all light of sources of depths dsMin .. dsMax
  // whose kernels reach `reach` pixels, at up to `offset` pixels from each.
  bool stopsSpan(double nearest, double farthest, double dsMin, double dsMax,
                 int reach, int offset);
  void addSegment(int u0, int u1, const double *values, const bool *live);
  void flush(int v);
  // Pixel u of row v: its sums (colour, then weight) and stopped light into
  // the frame's buffers.
  void store(int u, int v, const double total[8]);
  // Whether every destination of a stretch of candidates, with depths from
  // `nearest` to `farthest` and at most `offset`
  // pixels from the source along either axis, stops the light of a source of
  // depth ds whose kernel reaches `reach` pixels; false where that cannot be
  // shown at once.
  bool stretchStops(double nearest, double farthest, double ds, int reach,
                    int offset);
  // filledHalf of the size-m kernel the occlusion test reads, or -1; known
  // sizes are kept.
  int filledHalf(int m);
  // Whether the kernel of every occluder size from `smallest` to `largest`
  // has a filledHalf of at least `offset`; false, too, where that range
  // spans more than kStretchSizes kernels.
  bool filledOver(int smallest, int largest, int offset);
  int kernelFilledHalf(int m);
  // Whether destination (u, v) of depth dd stops the light of source (x, y)
  // of depth ds, whose kernel reaches `reach` pixels from it.
  bool stops(int x, int y, int u, int v, double dd, double ds, int reach) const;
  // Colour and weight sums that the sources give pixel (u, v), summed
  // directly in double with the exact occlusion test.
  void direct(int u, int v, double sums[8]);
  float depthMin(int l, int r) const { return depthMin_.over(l, r); }
  float depthMax(int l, int r) const { return depthMax_.over(l, r); }
  std::int32_t sizeMin(int l, int r) const { return sizeMin_.over(l, r); }

  const PassInputs &in_;
  const KernelRuns &runs_;
  int width_, height_;
  KernelLayout layout_;
  bool mono() const { return layout_ == KernelLayout::mono; }
  int channels_;  // sumChannels(layout_): colour sums, then weights
  int counted_;   // countedChannels(layout_): live-run counts per pixel
  int largestHalf_ = 0;
  ConeGeometry cone_;  // the occlusion test's terms, shared with the literal
  // Per pixel of the destination row: its terms of the occluder size.
  std::vector<ConeGeometry::Destination> destinations_;
  static constexpr int kUnknown = -2;
  static constexpr int kFilledSizes = 1
                                      << 16;  // sizes whose filledHalf is kept
  std::vector<int> filled_;
  // The least filledHalf of each block of kFilledBlock odd sizes, once
  // asked for.
  static constexpr int kFilledBlock = 32;
  std::vector<int> blockFilled_;
  // Stretches whose occluder sizes span more kernels than this are tested
  // pixel by pixel.
  static constexpr int kStretchSizes = 512;
  // Neighbouring source pixels of a row that share one kernel half (-1:
  // a kernel the cores skip), row by row.
  struct SourceSpan {
    std::int32_t first, last, half;
  };
  std::vector<SourceSpan> sourceSpans_;
  std::vector<std::int32_t> rowSpans_;  // per row its first, then the end
  std::vector<int> rowHalf_;            // per row: largest half
  // Per pixel of the row and one beyond: each channel's difference as a
  // pair (sum, rounding error) added with the two-sum, so the prefix pass
  // carries about twice double's digits, and the magnitude of what was
  // added there; as channels sums, then channels errors, then channels
  // magnitudes.
  std::vector<double> diff_;
  // One pixel's difference cell: per channel its sum, the rounding error the
  // two-sum carried off it, and the magnitude of what was added there.
  struct Cell {
    double *sum, *error, *magnitude;
  };
  Cell cell(int u) {
    double *at = &diff_[static_cast<std::size_t>(u) * 3 * channels_];
    return {at, at + channels_, at + 2 * channels_};
  }
  std::vector<double> shortSegments_;  // channels x width, added in place
  long long adds_ = 0;                 // additions into the row's cells
  std::vector<std::int32_t> live_;     // counted x (width + 1)
  // The light the row's pixels stopped, added in float in the literal
  // order (one channel for mono kernels, four for colour ones): every
  // source that reaches a pixel of row v does so while row v is made, so
  // the row is written whole into the frame's (zeroed) blocked weights.
  std::vector<float> blocked_;
  // The span of the difference buffer this row's runs touched.
  int touchedFirst_ = 1 << 30, touchedLast_ = -1;
  double sharpWeights_[8];  // what a size-1 source adds per channel
  struct Stretch {
    int p, q;
    float nearest, farthest;
  };
  std::vector<Stretch> stretches_;
  std::vector<std::uint8_t> cut_;  // width + 1: run ends a span drops
  // Prefix sums of a span's values (spans are mono: R, G, B, A, weight)
  // where its boxes read them, at each count of sources in prefixAt_.
  struct SpanSums {
    double sum[5], error[5], magnitude[5];
  };
  std::vector<int> prefixAt_;
  std::vector<SpanSums> spanPrefix_;
  SpanCounts spanCounts_;
  int levels_;  // of the range tables: runs are below 2^levels_ wide
  // The destination row's depths, and its sizes for colour kernels.
  RangeTable<float, Least> depthMin_;
  RangeTable<float, Greatest> depthMax_;
  RangeTable<std::int32_t, Least> sizeMin_;
};

}  // namespace lensfall
