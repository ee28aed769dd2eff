// Debug checks of the invariants the fast cores rest on. They cost nothing
// unless LENSFALL_DEBUG_CHECKS is defined (the sanitizer build defines it);
// a failed check prints the condition and both values, then aborts.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#ifdef LENSFALL_DEBUG_CHECKS
#define LENSFALL_DCHECK(cond) \
  ((cond) ? void(0) : ::lensfall::checkFailed(__FILE__, __LINE__, #cond, ""))
#define LENSFALL_DCHECK_OP(a, op, b)                                           \
  (((a)op(b)) ? void(0)                                                        \
              : ::lensfall::checkFailed(__FILE__, __LINE__, #a " " #op " " #b, \
                                        ::lensfall::bothValues(a, b).c_str()))
#else
#define LENSFALL_DCHECK(cond) void(0)
#define LENSFALL_DCHECK_OP(a, op, b) void(0)
#endif
#define LENSFALL_DCHECK_EQ(a, b) LENSFALL_DCHECK_OP(a, ==, b)
#define LENSFALL_DCHECK_LE(a, b) LENSFALL_DCHECK_OP(a, <=, b)
#define LENSFALL_DCHECK_LT(a, b) LENSFALL_DCHECK_OP(a, <, b)

namespace lensfall {

[[noreturn]] inline void checkFailed(const char *file, int line,
                                     const char *condition,
                                     const char *values) {
  std::fprintf(stderr, "%s:%d: check failed: %s %s\n", file, line, condition,
               values);
  std::abort();
}

template <typename A, typename B>
std::string bothValues(const A &a, const B &b) {
  std::ostringstream text;
  text << "(" << a << " vs " << b << ")";
  return text.str();
}

}  // namespace lensfall
