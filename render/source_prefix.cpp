#include "render/source_prefix.h"

#include <algorithm>
#include <cmath>

namespace lensfall {

SourcePrefixRing::SourcePrefixRing(const FrameBuffers &buffers, int pad,
                                   int extraRows)
    : b_(buffers),
      pad_(pad),
      rows_(std::min(2 * pad + 1 + extraRows, buffers.height)),
      length_(static_cast<std::size_t>(buffers.width) + 2 * pad + 1),
      blocks_((length_ + kBlock - 1) / kBlock),
      slotSize_(8 * length_ + 5 + 4 * blocks_),
      data_(new double[static_cast<std::size_t>(rows_) * slotSize_]),
      held_(rows_, -1),
      counts_(length_) {
  for (std::size_t j = 0; j < length_; ++j) {
    counts_[j] = std::clamp<long>(static_cast<long>(j) - pad_, 0, b_.width);
  }
}

double *SourcePrefixRing::slot(int v) {
  const int index = v % rows_;
  double *base = data_.get() + static_cast<std::size_t>(index) * slotSize_;
  if (held_[index] == v) return base;
  const Float4 *s = b_.source + static_cast<std::size_t>(v) * b_.width;
  double *sums = base;
  double *errors = base + 4 * length_;
  std::fill(sums, sums + 4 * (pad_ + 1), 0.0);
  std::fill(errors, errors + 4 * (pad_ + 1), 0.0);
  double running[4] = {}, error[4] = {}, magnitude[4] = {};
  bool nonNegative = true;
  for (int u = 0; u < b_.width; ++u) {
    const std::size_t at = 4 * (static_cast<std::size_t>(pad_) + u + 1);
    for (int k = 0; k < 4; ++k) {
      // The two-sum: the rounding of running + x, exactly.
      const double x = s[u].c[k];
      const double sum = running[k] + x;
      const double back = sum - running[k];
      error[k] += (running[k] - (sum - back)) + (x - back);
      running[k] = sum;
      magnitude[k] += std::fabs(x);
      nonNegative = nonNegative && x >= 0.0;
      sums[at + k] = running[k];
      errors[at + k] = error[k];
    }
  }
  for (std::size_t j = static_cast<std::size_t>(pad_) + b_.width + 1;
       j < length_; ++j) {
    for (int k = 0; k < 4; ++k) {
      sums[4 * j + k] = running[k];
      errors[4 * j + k] = error[k];
    }
  }
  double *tail = base + 8 * length_;
  std::copy(magnitude, magnitude + 4, tail);
  tail[4] = nonNegative ? 1.0 : 0.0;

  // The error terms are themselves summed in double: widen by their own
  // rounding, at most width units of the largest.
  const double widen = 1.0 + 2.0 * (b_.width + 1) * std::ldexp(1.0, -53);
  double *bounds = tail + 5;
  double largest[4] = {};
  for (std::size_t block = 0; block < blocks_; ++block) {
    const std::size_t end = std::min(length_, (block + 1) * kBlock);
    for (std::size_t j = block * kBlock; j < end; ++j) {
      for (int k = 0; k < 4; ++k) {
        largest[k] = std::max(largest[k], std::fabs(errors[4 * j + k]));
      }
    }
    for (int k = 0; k < 4; ++k) bounds[4 * block + k] = largest[k] * widen;
  }
  held_[index] = v;
  return base;
}

}  // namespace lensfall
