#include "cli/allocator_tuning.h"

#include <malloc.h>
#include <unistd.h>

#include <cstdlib>
#include <limits>
#include <string>

namespace lensfall::cli {

void restartWithHugePages(char **argv) {
  constexpr char kName[] = "glibc.malloc.hugetlb";
  const char *current = std::getenv("GLIBC_TUNABLES");
  std::string tunables = current != nullptr ? current : "";
  if (tunables.find(kName) != std::string::npos) return;
  tunables += tunables.empty() ? "" : ":";
  tunables += std::string(kName) + "=1";
  if (setenv("GLIBC_TUNABLES", tunables.c_str(), 1) != 0) return;
  execv("/proc/self/exe", argv);
  // Still here: the program runs on as it is. Its children inherit the
  // setting.
}

void reuseFreedBlocks() {
  // The largest threshold glibc takes on a 64-bit system; a value it does
  // not take leaves its default in place.
  constexpr int kLargestKeptBlock = 32 * 1024 * 1024;
  mallopt(M_MMAP_THRESHOLD, kLargestKeptBlock);
  mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
}

}  // namespace lensfall::cli
