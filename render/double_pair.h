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

// The same for a sum and its error held apart.
inline void addPair(double &sum, double &error, double x) {
  const double next = sum + x;
  const double back = next - sum;
  error += (sum - (next - back)) + (x - back);
  sum = next;
}

}  // namespace lensfall
