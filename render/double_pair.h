// A double carried with the rounding error of its additions.
#pragma once

#include <cstring>

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

// Two channels at once, element by element as addPair forms them (so the
// same bits), on doubles at any alignment.
using Double2 = double __attribute__((vector_size(16)));

inline Double2 loadDouble2(const double *p) {
  Double2 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline void storeDouble2(double *p, Double2 v) { std::memcpy(p, &v, sizeof v); }

inline void addPair(double *sum, double *error, Double2 x) {
  const Double2 before = loadDouble2(sum);
  const Double2 next = before + x;
  const Double2 back = next - before;
  storeDouble2(error,
               loadDouble2(error) + ((before - (next - back)) + (x - back)));
  storeDouble2(sum, next);
}

inline Double2 magnitude(Double2 x) { return x < 0.0 ? -x : x; }

}  // namespace lensfall
