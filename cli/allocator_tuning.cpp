#include "cli/huge_pages.h"

#include <unistd.h>

#include <cstdlib>
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

}  // namespace lensfall::cli
