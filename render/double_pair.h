// A double carried with the rounding error of its additions.
#pragma once

namespace lensfall {

// Adds x to the pair (sum, error) with the two-sum, whose error term is the
// rounding of the addition exactly.
inline void addPair(double *pair, double x) {
  const double sum = pair[0] + x;
  const double back = sum - pair[0];
  pair[1] += (pair[0] - (sum - back)) + (x - back);
  pair[0] = sum;
}

}  // namespace lensfall
